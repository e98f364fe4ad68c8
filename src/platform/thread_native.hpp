#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <system_error>

#include "platform/result.hpp"

namespace dpt {

// The operating system's id of the calling thread.
std::uint64_t os_thread_id() noexcept;

// Whether the calling thread is the process's initial thread.
bool is_main_thread() noexcept;

// Starts `body` on a new joinable POSIX thread. The system keeps at most 15 bytes of
// `name` (an empty name leaves the thread unnamed); a stack_size of 0 keeps the system's
// default, a smaller one than the system allows is raised to its minimum. Fails with
// the system's error: EAGAIN when a limit on threads is reached.
Result<pthread_t> start_native_thread(const std::string& name, std::size_t stack_size,
                                      std::function<void()> body);

std::error_code join_native_thread(pthread_t thread) noexcept;
void detach_native_thread(pthread_t thread) noexcept;

}  // namespace dpt
