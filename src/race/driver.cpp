#include "race/driver.hpp"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/hook_check.hpp"
#include "cli/launcher.hpp"
#include "entry/checks.hpp"
#include "entry/thread.hpp"
#include "platform/interrupt.hpp"
#include "platform/utf8.hpp"
#include "race/listener.hpp"
#include "race/session.hpp"
#include "race/stream_reader.hpp"
#include "race/verdict.hpp"
#include "sandbox/sandbox_home.hpp"
#include "sandbox/unique_name.hpp"

namespace dpt {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kWarmUp = 500ms;
constexpr auto kSendToHook = 50ms;
constexpr auto kDeliveryDeadline = 2s;
constexpr auto kDeliveryPoll = 100ms;
constexpr auto kExitDeadline = 12s;
constexpr auto kExitPoll = 200ms;

bool contains(std::string_view text, std::string_view token) {
    return text.find(token) != std::string_view::npos;
}

// Reads and drops everything until the end of the stream or a read error, holding no
// more than one read's worth however much the listener writes.
void discard_until_end(int fd) {
    char scratch[16 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, scratch, sizeof scratch);
        if (got > 0 || (got < 0 && errno == EINTR)) continue;
        return;
    }
}

// Ends the listener's whole group. Unregistered in the same hold, before the wait that
// frees its id for reuse.
void kill_listener_group(Child& listener) {
    const auto hold = hold_interrupt_cleanup();
    (void)listener.kill();
    unregister_process_group(listener.pid());
}

// Awaits a short-lived child that a failed check leaves behind, killing it first if it is
// still running, so that no call of the CLI outlives the test body.
class ReapOnFailure {
  public:
    explicit ReapOnFailure(Child& child) : child_(&child) {}
    ReapOnFailure(const ReapOnFailure&) = delete;
    ReapOnFailure& operator=(const ReapOnFailure&) = delete;
    ~ReapOnFailure() {
        if (child_ == nullptr) return;
        const auto state = child_->try_wait();
        if (!state.ok() || !state.value().has_value()) (void)child_->kill();
        (void)child_->wait();
    }
    void release() noexcept { child_ = nullptr; }

  private:
    Child* child_;
};

// The sandbox home, registered for removal on an interrupt for as long as it exists.
class RegisteredHome {
  public:
    RegisteredHome() {
        const auto hold = hold_interrupt_cleanup();
        home_.emplace();
        register_cleanup_directory(home_->path());
    }
    RegisteredHome(const RegisteredHome&) = delete;
    RegisteredHome& operator=(const RegisteredHome&) = delete;
    ~RegisteredHome() {
        const auto hold = hold_interrupt_cleanup();
        unregister_cleanup_directory(home_->path());
        home_.reset();
    }
    const std::filesystem::path& path() const noexcept { return home_->path(); }

  private:
    std::optional<SandboxHome> home_;
};

// The listener, the reader thread that collects its output and the thread that drains
// its standard error. Left by a failed check, it ends the listener's group, awaits it and
// joins both threads, so that the sandbox home goes only after all of them.
class RaceStream {
  public:
    RaceStream() = default;
    RaceStream(const RaceStream&) = delete;
    RaceStream& operator=(const RaceStream&) = delete;
    ~RaceStream() {
        if (listener_ && !listener_gone_) {
            kill_listener_group(listener_->child);
            (void)listener_->child.wait();
        }
        join_threads();
    }

    void start(const std::filesystem::path& home, std::string_view agent) {
        listener_.emplace(start_listener(home, agent));
        // Nothing reads the listener's standard error; draining it keeps a chatty listener
        // from blocking on a full pipe.
        if (std::optional<UniqueFd> err = listener_->child.take_stderr()) {
            stderr_drain_ =
                require_ok(start_thread("stream_stderr_drain",
                                        [fd = std::make_shared<UniqueFd>(std::move(*err))] {
                                            discard_until_end(fd->get());
                                        }),
                           "failed to spawn thread");
        }
        reader_ = require_ok(
            start_thread("stream_reader",
                         [fd = std::make_shared<UniqueFd>(std::move(listener_->output)),
                          buffer = buffer_]() mutable { stream_reader(std::move(*fd), buffer); }),
            "failed to spawn thread");
    }

    const StreamBuffer& buffer() const noexcept { return *buffer_; }

    // The ordered shut-down of the success path; afterwards the buffer is final.
    void shut_down(const std::filesystem::path& home, std::string_view agent) {
        shut_down_listener(home, agent, listener_->child);
        listener_gone_ = true;
        join_threads();
    }

  private:
    void join_threads() {
        // Their results are ignored: a reader that stopped early only ends the stream early.
        if (reader_.joinable()) (void)reader_.join();
        if (stderr_drain_.joinable()) (void)stderr_drain_.join();
    }

    std::optional<Listener> listener_;
    bool listener_gone_ = false;
    std::shared_ptr<StreamBuffer> buffer_ = std::make_shared<StreamBuffer>();
    Thread stderr_drain_;
    Thread reader_;
};

}  // namespace

void deliver_token(const std::filesystem::path& home, std::string_view agent,
                   std::string_view token) {
    Command command = cli_command(home, {"send", std::string(agent), "racesender"});
    command.in = Stdio::piped;
    command.out = Stdio::piped;
    command.err = Stdio::piped;
    Child child = require_ok(Child::spawn(command), "spawn send failed");
    ReapOnFailure reap(child);

    UniqueFd input = require_present(child.take_stdin(), "deliver stdin missing");
    std::string line;
    line.reserve(token.size() + 1);
    line.append(token);
    line.push_back('\n');
    require_ok(write_all(input.get(), line), "write to deliver stdin failed");
    input.reset();

    std::string out;
    std::string err;
    require_ok(child.drain(out, err));
    const int exit_code = require_ok(child.wait(), "wait send failed");
    reap.release();
    require_equal(exit_code, 0,
                  [&] { return "send must exit 0; stderr: " + decode_utf8_lossy(err); });
}

void wait_for_delivery(const StreamBuffer& buffer, std::string_view hook_stdout,
                       std::string_view token) {
    const auto deadline = Clock::now() + kDeliveryDeadline;
    while (Clock::now() < deadline) {
        const std::string text = buffer.snapshot();
        if (contains(text, token) || contains(hook_stdout, token)) return;
        std::this_thread::sleep_for(kDeliveryPoll);
    }
}

void shut_down_listener(const std::filesystem::path& home, std::string_view agent,
                        Child& listener) {
    Command command = cli_command(home, {"stop", std::string(agent)});
    command.in = Stdio::null;
    command.out = Stdio::piped;
    command.err = Stdio::piped;
    if (auto started = Child::spawn(command); started.ok()) {
        Child& stop = started.value();
        ReapOnFailure reap(stop);
        std::string out;
        std::string err;
        require_ok(stop.drain(out, err));
        (void)stop.wait();
        reap.release();
    }

    const auto deadline = Clock::now() + kExitDeadline;
    while (Clock::now() < deadline) {
        if (listener_has_exited(listener)) break;
        std::this_thread::sleep_for(kExitPoll);
    }
    // Also when it has exited: what it started may still hold its output pipe open.
    kill_listener_group(listener);
    (void)listener.wait();
}

void race_test_driver() {
    const RegisteredHome home;
    const std::string agent = unique_name("dual_path_trial");
    RaceStream stream;
    stream.start(home.path(), agent);

    std::this_thread::sleep_for(kWarmUp);
    const std::string session_id = read_session_id(home.path(), agent);
    const std::string token = "RACE_TOKEN_" + unique_name("body");

    deliver_token(home.path(), agent, token);
    std::this_thread::sleep_for(kSendToHook);

    const HookCheckOutcome hook = run_hook_check(home.path(), session_id);
    require_equal(hook.exit_code, 0, "hook-check must always exit 0");

    wait_for_delivery(stream.buffer(), hook.stdout, token);
    stream.shut_down(home.path(), agent);

    const std::string stream_text = stream.buffer().snapshot();
    judge_exactly_once(token, stream_text, hook.stdout);
}

}  // namespace dpt
