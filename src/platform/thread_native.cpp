#include "platform/thread_native.hpp"

#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <memory>

namespace dpt {
namespace {

struct Start {
    std::string name;
    std::function<void()> body;
};

void* trampoline(void* arg) {
    std::unique_ptr<Start> start(static_cast<Start*>(arg));
    if (!start->name.empty()) {
        // The kernel refuses names longer than 15 bytes outright, so cut it; the full
        // name stays with the program for its reports.
        const std::string os_name = start->name.substr(0, 15);
        pthread_setname_np(pthread_self(), os_name.c_str());
    }
    start->body();
    return nullptr;
}

}  // namespace

std::uint64_t os_thread_id() noexcept { return static_cast<std::uint64_t>(::gettid()); }

bool is_main_thread() noexcept { return ::gettid() == ::getpid(); }

Result<pthread_t> start_native_thread(const std::string& name, std::size_t stack_size,
                                      std::function<void()> body) {
    pthread_attr_t attr;
    if (int rc = pthread_attr_init(&attr); rc != 0)
        return std::error_code(rc, std::system_category());
    if (stack_size != 0) {
        if (stack_size < static_cast<std::size_t>(PTHREAD_STACK_MIN))
            stack_size = PTHREAD_STACK_MIN;
        if (int rc = pthread_attr_setstacksize(&attr, stack_size); rc != 0) {
            pthread_attr_destroy(&attr);
            return std::error_code(rc, std::system_category());
        }
    }
    auto start = std::make_unique<Start>(Start{name, std::move(body)});
    pthread_t thread;
    const int rc = pthread_create(&thread, &attr, trampoline, start.get());
    pthread_attr_destroy(&attr);
    if (rc != 0) return std::error_code(rc, std::system_category());
    start.release();  // the new thread owns it now
    return thread;
}

std::error_code join_native_thread(pthread_t thread) noexcept {
    if (int rc = pthread_join(thread, nullptr); rc != 0) return {rc, std::system_category()};
    return {};
}

void detach_native_thread(pthread_t thread) noexcept { pthread_detach(thread); }

}  // namespace dpt
