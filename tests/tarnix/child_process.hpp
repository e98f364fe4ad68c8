#pragma once

// Starts the built tarnix as a child process for the tests: short calls that are run to their
// end, and listeners whose output is collected while they run.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace tarnix_test {

// Variables set on top of the inherited environment, and inherited ones to drop.
struct Env {
    std::vector<std::pair<std::string, std::string>> set;
    std::vector<std::string> unset;
};

struct Finished {
    int exit_code = -1;  // -1 when the child was ended by a signal
    std::string out;
    std::string err;
};

// Runs tarnix with `args`, feeding `input` on standard input (the null device when absent), and
// returns once it has exited.
Finished run_tarnix(const std::vector<std::string>& args, const Env& env,
                    const std::optional<std::string>& input);

// A throw-away home with QDX_HOME inside it; removed on destruction.
class Sandbox {
  public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::filesystem::path& home() const { return home_; }
    std::filesystem::path qdx() const { return home_ / ".qdx"; }
    std::filesystem::path agent_dir(std::string_view agent) const {
        return qdx() / "tarnixhold" / std::string(agent);
    }
    Env env() const;

    // The session id of the agent's info.json once it holds one other than `previous`, waiting
    // up to `timeout`.
    std::optional<std::string> wait_for_session(std::string_view agent,
                                                std::chrono::milliseconds timeout,
                                                std::string_view previous = {}) const;

  private:
    std::filesystem::path home_;
};

// A long-running tarnix child, leader of its own process group, with standard input on the null
// device and its standard output and error collected by a thread. Killed and reaped on
// destruction if still running.
class Listener {
  public:
    // With `close_output`, the read end of the output pipe is closed at once, so every write of
    // the child fails.
    Listener(const std::vector<std::string>& args, const Env& env, bool close_output = false);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    pid_t pid() const { return pid_; }
    std::string output() const;
    std::string errors() const;

    // Waits up to `timeout` for `needle` to appear on standard output.
    bool wait_for_output(std::string_view needle, std::chrono::milliseconds timeout) const;

    // Waits up to `timeout` for the child to exit, reaps it and collects the rest of its
    // output; its exit code (-1 for a signal), or nothing if it is still running.
    std::optional<int> wait_exit(std::chrono::milliseconds timeout);

    void send_signal(int sig) const;

  private:
    void collect(int out_fd, int err_fd);

    pid_t pid_ = -1;
    std::optional<int> exit_code_;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::string out_;
    std::string err_;
};

// How many times `needle` occurs in `text` (non-overlapping).
std::size_t count_occurrences(std::string_view text, std::string_view needle);

}  // namespace tarnix_test
