#include "entry/thread.hpp"

#include <atomic>
#include <optional>
#include <utility>

#include "entry/capture.hpp"
#include "entry/failure_report.hpp"
#include "entry/thread_name.hpp"
#include "platform/thread_native.hpp"

namespace dpt {

struct Thread::State {
    pthread_t handle{};
    bool joinable = false;            // touched by the owning handle only
    std::atomic<bool> failed{false};  // written by the thread before it ends
};

Thread::Thread(Thread&&) noexcept = default;

Thread& Thread::operator=(Thread&& other) noexcept {
    if (this != &other) {
        if (joinable()) detach_native_thread(state_->handle);
        state_ = std::move(other.state_);
    }
    return *this;
}

Thread::~Thread() {
    // An unjoined thread runs on by itself; it keeps its own share of the state.
    if (joinable()) detach_native_thread(state_->handle);
}

bool Thread::joinable() const noexcept { return state_ && state_->joinable; }

bool Thread::join() {
    if (!joinable()) return false;
    state_->joinable = false;
    if (join_native_thread(state_->handle)) return false;
    return !state_->failed.load();
}

Result<Thread> start_thread(std::string name, std::function<void()> body, std::size_t stack_size) {
    auto state = std::make_shared<Thread::State>();
    std::optional<std::string> report_name;
    if (!name.empty()) report_name = name;
    auto run = [state, capture = current_capture(), report_name = std::move(report_name),
                body = std::move(body)]() mutable {
        install_capture(std::move(capture));
        set_report_thread_name(std::move(report_name));
        if (!run_inside_boundary(body)) state->failed.store(true);
        // Dropping the share here, not at thread exit, lets the last holder free it
        // while this thread's locals are still valid.
        install_capture(nullptr);
        body = nullptr;
    };
    auto handle = start_native_thread(name, stack_size, std::move(run));
    if (!handle) return handle.error();
    state->handle = handle.value();
    state->joinable = true;
    Thread thread;
    thread.state_ = std::move(state);
    return thread;
}

}  // namespace dpt
