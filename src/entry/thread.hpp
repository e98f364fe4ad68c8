#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/result.hpp"

namespace dpt {

// A thread started through the project's thread helper. It inherits the captured output
// of the thread that started it, reports under its own name, and stops a TestFailure at
// its boundary (the report is already written by then). Destroying an unjoined handle
// lets the thread run on by itself.
class Thread {
  public:
    Thread() = default;
    Thread(Thread&&) noexcept;
    Thread& operator=(Thread&&) noexcept;
    ~Thread();

    bool joinable() const noexcept;
    // Waits without a deadline; true when the body ended without a failure.
    bool join();

    struct State;

  private:
    friend Result<Thread> start_thread(std::string name, std::function<void()> body,
                                       std::size_t stack_size);
    std::shared_ptr<State> state_;
};

// Starts `body` on a new thread named `name` (an empty name makes an unnamed thread).
// A stack_size of 0 means the system's default. Fails with the system's error.
Result<Thread> start_thread(std::string name, std::function<void()> body,
                            std::size_t stack_size = 0);

}  // namespace dpt
