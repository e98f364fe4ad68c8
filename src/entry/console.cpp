#include "entry/console.hpp"

#include <unistd.h>

#include "entry/capture.hpp"
#include "platform/process.hpp"

namespace dpt {
namespace {

void print_to(int fd, std::string_view text) {
    if (auto capture = current_capture()) {
        capture->append(text);
        return;
    }
    // Console output has nowhere to report its own failure; a closed stream loses it.
    (void)write_all(fd, text);
}

}  // namespace

void print_out(std::string_view text) { print_to(STDOUT_FILENO, text); }
void print_err(std::string_view text) { print_to(STDERR_FILENO, text); }

}  // namespace dpt
