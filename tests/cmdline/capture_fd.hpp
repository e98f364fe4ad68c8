#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace dpt::testing {

// A pipe whose write end stands in for standard output; read() drains what was written.
// Enough for texts smaller than the pipe's buffer.
class CapturedFd {
  public:
    CapturedFd() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            read_ = fds[0];
            write_ = fds[1];
        }
    }
    CapturedFd(const CapturedFd&) = delete;
    CapturedFd& operator=(const CapturedFd&) = delete;
    ~CapturedFd() {
        if (read_ >= 0) ::close(read_);
        if (write_ >= 0) ::close(write_);
    }

    int fd() const { return write_; }
    std::string read() {
        std::string text;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(read_, buf, sizeof buf);
            if (n <= 0) break;
            text.append(buf, static_cast<std::size_t>(n));
        }
        return text;
    }

  private:
    int read_ = -1;
    int write_ = -1;
};

}  // namespace dpt::testing
