#include "io.hpp"

#include <fmt/format.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarnix {

namespace {

bool write_fd(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

bool write_stdout(std::string_view text) { return write_fd(STDOUT_FILENO, text); }

void print_error(std::string_view message) {
    write_fd(STDERR_FILENO, fmt::format("tarnix: {}\n", message));
}

int report_error(std::string_view what, int err) {
    print_error(fmt::format("{}: {}", what, std::strerror(err)));
    return 1;
}

InputRead read_stdin(std::size_t limit,
                     std::optional<std::chrono::steady_clock::time_point> deadline) {
    using namespace std::chrono;
    InputRead in;
    char buf[65536];
    for (;;) {
        if (deadline) {
            auto left = duration_cast<milliseconds>(*deadline - steady_clock::now()).count();
            pollfd p{STDIN_FILENO, POLLIN, 0};
            int n = left > 0 ? ::poll(&p, 1, static_cast<int>(left)) : 0;
            if (n < 0 && errno == EINTR) continue;
            if (n == 0) {
                in.complete = false;
                return in;
            }
        }
        std::size_t room = std::min(sizeof buf, limit + 1 - in.data.size());
        ssize_t n = ::read(STDIN_FILENO, buf, room);
        if (n < 0) {
            if (errno == EINTR) continue;
            in.error = errno;
            in.complete = false;
            return in;
        }
        if (n == 0) return in;
        in.data.append(buf, static_cast<std::size_t>(n));
        if (in.data.size() > limit) {
            in.data.resize(limit);
            in.too_large = true;
            in.complete = false;
            return in;
        }
    }
}

}  // namespace tarnix
