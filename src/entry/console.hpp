#pragma once

#include <string_view>

namespace dpt {

// The program's own printing. On a thread with captured output installed the bytes go
// to that buffer; otherwise straight to the process's standard output or error.
// Output of child processes never passes through here.
void print_out(std::string_view text);
void print_err(std::string_view text);

}  // namespace dpt
