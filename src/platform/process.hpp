#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/fd.hpp"
#include "platform/result.hpp"

namespace dpt {

enum class Stdio { inherit, piped, null };

// What to start: the executable, its arguments (after the program name), variables
// added on top of the inherited environment (in order; a later one replaces an earlier
// one of the same name), and how each standard stream is connected.
struct Command {
    std::string program;
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> env;
    Stdio in = Stdio::inherit;
    Stdio out = Stdio::inherit;
    Stdio err = Stdio::inherit;
    // The child leads a new process group, so kill() also ends what it started.
    bool own_process_group = false;
};

// Everything a finished child printed, and how it ended.
struct ChildOutput {
    int exit_code = -1;  // -1 when a signal ended it
    std::string out;
    std::string err;
};

// A started child. Owns the parent's ends of its pipes; destroying it closes them and
// nothing else (the process is neither signalled nor awaited).
class Child {
  public:
    Child(Child&&) noexcept;
    Child& operator=(Child&&) noexcept;
    ~Child();

    // Starts the child. An exec failure (missing file, no permission) is reported here
    // with the real errno. Every pipe is close-on-exec and the child gets exactly its
    // three standard streams, default signal dispositions and an empty signal mask.
    static Result<Child> spawn(const Command& command);

    pid_t pid() const noexcept { return pid_; }

    // The parent's pipe ends; empty when the stream was not piped or was taken already.
    std::optional<UniqueFd> take_stdin();
    std::optional<UniqueFd> take_stdout();
    std::optional<UniqueFd> take_stderr();
    bool has_stdin() const noexcept { return static_cast<bool>(in_); }

    // Writes all of `bytes` to the child's input (EPIPE is an error value, never a
    // signal), then closes the input.
    std::error_code write_stdin_and_close(std::string_view bytes);

    // Reads standard output and error to their ends at once (no deadlock whichever fills
    // first), then waits for the exit without a deadline. Unpiped streams read as empty.
    Result<ChildOutput> collect();
    // collect() split in two, for callers that check the reads and the wait apart.
    std::error_code drain(std::string& out, std::string& err);
    Result<int> wait();  // exit code, -1 when a signal ended it

    // The exit code if the child has exited, without blocking.
    Result<std::optional<int>> try_wait();
    // SIGKILL to the child (to its whole group when it leads one). Harmless after exit
    // as long as it has not been awaited.
    std::error_code kill();

  private:
    Child() = default;
    pid_t pid_ = -1;
    bool reaped_ = false;
    int exit_code_ = -1;
    UniqueFd in_, out_, err_;
    bool own_group_ = false;
};

// Makes this process ignore SIGPIPE (done once; Child::spawn calls it too), so a write to
// a pipe whose reader has gone fails with EPIPE instead of ending the program. Children
// still start with every signal at its default.
void ignore_sigpipe();

// Writes all of `bytes`, resuming after EINTR and partial writes.
std::error_code write_all(int fd, std::string_view bytes);

// Reads two descriptors to their ends at once with poll, appending to the sinks.
// Either descriptor may be -1 (nothing to read).
std::error_code drain_two(int out_fd, std::string& out, int err_fd, std::string& err);

}  // namespace dpt
