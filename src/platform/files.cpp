#include "platform/files.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "platform/error.hpp"
#include "platform/fd.hpp"
#include "platform/process.hpp"
#include "platform/syscalls.hpp"

namespace dpt {

std::error_code create_directory_tree(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return error;
}

std::error_code write_file(const std::filesystem::path& path, std::string_view bytes) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd) return last_error();
    if (auto error = write_all(fd.get(), bytes)) return error;
    // close reports a delayed write error on some filesystems.
    if (::close(fd.release()) != 0 && errno != EINTR) return last_error();
    return {};
}

Result<std::string> read_file(const std::filesystem::path& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return last_error();
    std::string content;
    std::array<char, 64 * 1024> buf;
    for (;;) {
        const ssize_t n = sys::read(fd.get(), buf.data(), buf.size());
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return last_error();
        }
        content.append(buf.data(), static_cast<std::size_t>(n));
    }
    return content;
}

}  // namespace dpt
