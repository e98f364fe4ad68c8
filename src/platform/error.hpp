#pragma once

#include <string>
#include <system_error>

namespace dpt {

// Describes an error for a person: the kind, the number and the system's text, for
// example "not found (os error 2): No such file or directory". An error of a category
// other than the system's is described by its category's message alone.
std::string describe_error(const std::error_code& error);

// The error code for the current errno.
inline std::error_code last_error() noexcept { return {errno, std::system_category()}; }

}  // namespace dpt
