#pragma once

#include <poll.h>
#include <sys/types.h>

namespace dpt::sys {

// The system calls of the process layer that may be interrupted or cut short. They go
// through this table so a test can make them fail with EINTR or write less than asked;
// everything else calls the system directly.
struct Table {
    ssize_t (*read)(int fd, void* buf, size_t count);
    ssize_t (*write)(int fd, const void* buf, size_t count);
    int (*poll)(struct pollfd* fds, nfds_t nfds, int timeout);
    pid_t (*waitpid)(pid_t pid, int* status, int options);
};

// The table in use; starts with the real calls. Tests replace entries and restore them.
Table& table() noexcept;
// The real calls.
const Table& real() noexcept;

inline ssize_t read(int fd, void* buf, size_t count) { return table().read(fd, buf, count); }
inline ssize_t write(int fd, const void* buf, size_t count) {
    return table().write(fd, buf, count);
}
inline int poll(struct pollfd* fds, nfds_t nfds, int timeout) {
    return table().poll(fds, nfds, timeout);
}
inline pid_t waitpid(pid_t pid, int* status, int options) {
    return table().waitpid(pid, status, options);
}

}  // namespace dpt::sys
