#include "platform/fd.hpp"

#include <unistd.h>

namespace dpt {

void UniqueFd::reset(int fd) noexcept {
    const int old = std::exchange(fd_, fd);
    // Never retried: Linux releases the descriptor even when close reports EINTR.
    if (old >= 0) ::close(old);
}

}  // namespace dpt
