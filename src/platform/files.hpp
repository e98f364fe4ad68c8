#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/result.hpp"

namespace dpt {

// Creates `path` and its missing parents with mode 0777 (less the umask); an existing
// directory is no error, an existing file of another kind is (EEXIST / ENOTDIR).
std::error_code create_directory_tree(const std::filesystem::path& path);

// Creates or truncates the file at `path` (mode 0666 less the umask) and writes all of
// `bytes`. A partial file may remain on error.
std::error_code write_file(const std::filesystem::path& path, std::string_view bytes);

// The whole content of the file at `path`, as bytes.
Result<std::string> read_file(const std::filesystem::path& path);

}  // namespace dpt
