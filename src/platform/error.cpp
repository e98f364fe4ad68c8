#include "platform/error.hpp"

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

namespace dpt {
namespace {

// The kind of an operating-system error in a few plain words.
const char* error_kind(int code) {
    switch (code) {
        case ENOENT: return "not found";
        case EACCES:
        case EPERM: return "permission denied";
        case EEXIST: return "already exists";
        case EPIPE: return "broken pipe";
        case EINTR: return "interrupted";
        case EINVAL: return "invalid input";
        case EAGAIN: return "would block";
        case ENOEXEC: return "not an executable";
        case ENOTDIR: return "not a directory";
        case EISDIR: return "is a directory";
        case ENOTEMPTY: return "directory not empty";
        case ENOSPC: return "storage full";
        case ENOMEM: return "out of memory";
        case ECHILD: return "no such child";
        case ESRCH: return "no such process";
        case EMFILE:
        case ENFILE: return "too many open files";
        case ETIMEDOUT: return "timed out";
        case EBADF: return "bad file descriptor";
        case EROFS: return "read-only filesystem";
        case ELOOP: return "too many symbolic links";
        case ENAMETOOLONG: return "file name too long";
        case E2BIG: return "argument list too long";
        case EILSEQ: return "invalid data";
        default: return "uncategorized";
    }
}

}  // namespace

std::string describe_error(const std::error_code& error) {
    if (error.category() == std::system_category() || error.category() == std::generic_category()) {
        char buf[256];
        // The GNU strerror_r returns the text, which may or may not live in buf.
        const char* text = strerror_r(error.value(), buf, sizeof buf);
        return fmt::format("{} (os error {}): {}", error_kind(error.value()), error.value(), text);
    }
    return error.message();
}

}  // namespace dpt
