#include "platform/syscalls.hpp"

#include <sys/wait.h>
#include <unistd.h>

namespace dpt::sys {
namespace {

const Table kReal{::read, ::write, ::poll, ::waitpid};
Table current = kReal;

}  // namespace

Table& table() noexcept { return current; }
const Table& real() noexcept { return kReal; }

}  // namespace dpt::sys
