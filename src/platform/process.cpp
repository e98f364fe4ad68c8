#include "platform/process.hpp"

#include "platform/growth.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "platform/error.hpp"
#include "platform/syscalls.hpp"

extern char** environ;

namespace dpt {
namespace {

std::error_code errno_code(int value) { return {value, std::system_category()}; }

// A pipe whose two ends are close-on-exec from the start, so a child started by another
// thread at the same moment never inherits them. Both ends are kept above the standard
// streams: when this program runs with 0, 1 or 2 closed, an end landing there would be
// overwritten by the child's own redirections.
std::error_code make_pipe(UniqueFd& read_end, UniqueFd& write_end) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return last_error();
    UniqueFd r(fds[0]), w(fds[1]);
    for (UniqueFd* end : {&r, &w}) {
        if (end->get() > 2) continue;
        const int moved = ::fcntl(end->get(), F_DUPFD_CLOEXEC, 3);
        if (moved < 0) return last_error();
        end->reset(moved);
    }
    read_end = std::move(r);
    write_end = std::move(w);
    return {};
}

// The inherited environment with `added` applied in order, each replacing a variable of
// the same name.
std::vector<std::string> build_environment(
    const std::vector<std::pair<std::string, std::string>>& added) {
    std::vector<std::string> entries;
    std::unordered_map<std::string, std::size_t> index;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        std::string_view entry(*e);
        const auto eq = entry.find('=');
        std::string name(entry.substr(0, eq == std::string_view::npos ? entry.size() : eq));
        if (index.count(name) != 0) {
            entries[index[name]] = std::string(entry);
        } else {
            index.emplace(std::move(name), entries.size());
            entries.emplace_back(entry);
        }
    }
    for (const auto& [name, value] : added) {
        std::string entry = name + "=" + value;
        if (auto it = index.find(name); it != index.end()) {
            entries[it->second] = std::move(entry);
        } else {
            index.emplace(name, entries.size());
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    out.reserve(texts.size() + 1);
    for (auto& t : texts) out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

class FileActions {
  public:
    FileActions() { ok_ = ::posix_spawn_file_actions_init(&a_) == 0; }
    ~FileActions() {
        if (ok_) ::posix_spawn_file_actions_destroy(&a_);
    }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &a_; }
    bool ok() const { return ok_; }

  private:
    posix_spawn_file_actions_t a_;
    bool ok_ = false;
};

class SpawnAttr {
  public:
    SpawnAttr() { ok_ = ::posix_spawnattr_init(&a_) == 0; }
    ~SpawnAttr() {
        if (ok_) ::posix_spawnattr_destroy(&a_);
    }
    SpawnAttr(const SpawnAttr&) = delete;
    SpawnAttr& operator=(const SpawnAttr&) = delete;
    posix_spawnattr_t* get() { return &a_; }
    bool ok() const { return ok_; }

  private:
    posix_spawnattr_t a_;
    bool ok_ = false;
};

// Connects the child's descriptor `target` as `mode` asks; `child_end` is the pipe end the
// child uses when piped.
int connect_stream(posix_spawn_file_actions_t* actions, Stdio mode, int target, int child_end) {
    switch (mode) {
        case Stdio::inherit:
            return 0;
        case Stdio::piped:
            return ::posix_spawn_file_actions_adddup2(actions, child_end, target);
        case Stdio::null:
            return ::posix_spawn_file_actions_addopen(actions, target, "/dev/null",
                                                      target == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    return EINVAL;
}

int exit_code_of(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

void ignore_sigpipe() {
    static std::once_flag once;
    std::call_once(once, [] { ::signal(SIGPIPE, SIG_IGN); });
}

std::error_code write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = sys::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return last_error();
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

std::error_code drain_two(int out_fd, std::string& out, int err_fd, std::string& err) {
    std::array<pollfd, 2> fds{pollfd{out_fd, POLLIN, 0}, pollfd{err_fd, POLLIN, 0}};
    std::array<std::string*, 2> sinks{&out, &err};
    std::array<char, 64 * 1024> buf;
    // A negative descriptor is skipped by poll, so a finished stream is marked with -1.
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        const int ready = sys::poll(fds.data(), fds.size(), -1);
        if (ready < 0) {
            // poll is never restarted after a signal handler, whatever SA_RESTART says.
            if (errno == EINTR) continue;
            return last_error();
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            if (fds[i].revents & POLLNVAL) return errno_code(EBADF);
            const ssize_t n = sys::read(fds[i].fd, buf.data(), buf.size());
            if (n > 0) {
                grow_for_append(*sinks[i], static_cast<std::size_t>(n));
                sinks[i]->append(buf.data(), static_cast<std::size_t>(n));
            } else if (n == 0) {
                fds[i].fd = -1;
            } else if (errno != EINTR && errno != EAGAIN) {
                return last_error();
            }
        }
    }
    return {};
}

Child::Child(Child&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      reaped_(std::exchange(other.reaped_, false)),
      exit_code_(std::exchange(other.exit_code_, -1)),
      in_(std::move(other.in_)),
      out_(std::move(other.out_)),
      err_(std::move(other.err_)),
      own_group_(std::exchange(other.own_group_, false)) {}

Child& Child::operator=(Child&& other) noexcept {
    if (this != &other) {
        pid_ = std::exchange(other.pid_, -1);
        reaped_ = std::exchange(other.reaped_, false);
        exit_code_ = std::exchange(other.exit_code_, -1);
        in_ = std::move(other.in_);
        out_ = std::move(other.out_);
        err_ = std::move(other.err_);
        own_group_ = std::exchange(other.own_group_, false);
    }
    return *this;
}

Child::~Child() = default;

Result<Child> Child::spawn(const Command& command) {
    ignore_sigpipe();

    // Parent ends stay with the Child; child ends close when this function returns.
    UniqueFd in_parent, in_child, out_parent, out_child, err_parent, err_child;
    if (command.in == Stdio::piped) {
        if (auto e = make_pipe(in_child, in_parent)) return e;
    }
    if (command.out == Stdio::piped) {
        if (auto e = make_pipe(out_parent, out_child)) return e;
    }
    if (command.err == Stdio::piped) {
        if (auto e = make_pipe(err_parent, err_child)) return e;
    }

    FileActions actions;
    if (!actions.ok()) return errno_code(ENOMEM);
    int rc = connect_stream(actions.get(), command.in, 0, in_child.get());
    if (rc == 0) rc = connect_stream(actions.get(), command.out, 1, out_child.get());
    if (rc == 0) rc = connect_stream(actions.get(), command.err, 2, err_child.get());
    // Closes everything above the three streams, including descriptors this program
    // inherited from its own parent without close-on-exec.
    if (rc == 0) rc = ::posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);
    if (rc != 0) return errno_code(rc);

    SpawnAttr attr;
    if (!attr.ok()) return errno_code(ENOMEM);
    // Signal dispositions survive exec when ignored, and the mask survives always: reset
    // both, so the child does not inherit this program's ignored SIGPIPE or a mask set by
    // the thread that spawns it.
    // sigfillset leaves out the C library's two internal real-time signals, and glibc's
    // posix_spawn sets those to ignored in the child unless they are in the default set;
    // the child would then exec with signals 32 and 33 ignored. Every bit set covers them.
    sigset_t all, none;
    std::memset(&all, 0xff, sizeof all);
    sigemptyset(&none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (command.own_process_group) flags |= POSIX_SPAWN_SETPGROUP;
    rc = ::posix_spawnattr_setsigdefault(attr.get(), &all);
    if (rc == 0) rc = ::posix_spawnattr_setsigmask(attr.get(), &none);
    if (rc == 0 && command.own_process_group) rc = ::posix_spawnattr_setpgroup(attr.get(), 0);
    if (rc == 0) rc = ::posix_spawnattr_setflags(attr.get(), flags);
    if (rc != 0) return errno_code(rc);

    std::vector<std::string> argv_texts;
    argv_texts.reserve(command.args.size() + 1);
    argv_texts.push_back(command.program);
    argv_texts.insert(argv_texts.end(), command.args.begin(), command.args.end());
    std::vector<std::string> env_texts = build_environment(command.env);
    std::vector<char*> argv = pointers(argv_texts);
    std::vector<char*> envp = pointers(env_texts);

    pid_t pid = -1;
    // glibc's posix_spawn reports a failed exec (missing file, no permission) here with
    // its errno, and the child it made is already reaped.
    rc = ::posix_spawn(&pid, command.program.c_str(), actions.get(), attr.get(), argv.data(),
                       envp.data());
    if (rc != 0) return errno_code(rc);

    Child child;
    child.pid_ = pid;
    child.own_group_ = command.own_process_group;
    child.in_ = std::move(in_parent);
    child.out_ = std::move(out_parent);
    child.err_ = std::move(err_parent);
    return child;
}

std::optional<UniqueFd> Child::take_stdin() {
    if (!in_) return std::nullopt;
    return std::move(in_);
}

std::optional<UniqueFd> Child::take_stdout() {
    if (!out_) return std::nullopt;
    return std::move(out_);
}

std::optional<UniqueFd> Child::take_stderr() {
    if (!err_) return std::nullopt;
    return std::move(err_);
}

std::error_code Child::write_stdin_and_close(std::string_view bytes) {
    if (!in_) return errno_code(EBADF);
    auto error = write_all(in_.get(), bytes);
    in_.reset();
    return error;
}

std::error_code Child::drain(std::string& out, std::string& err) {
    auto error = drain_two(out_.get(), out, err_.get(), err);
    out_.reset();
    err_.reset();
    return error;
}

Result<int> Child::wait() {
    if (reaped_) return exit_code_;
    if (pid_ < 0) return errno_code(ECHILD);
    int status = 0;
    for (;;) {
        const pid_t r = sys::waitpid(pid_, &status, 0);
        if (r == pid_) break;
        if (r < 0 && errno == EINTR) continue;
        return r < 0 ? last_error() : errno_code(ECHILD);
    }
    reaped_ = true;
    exit_code_ = exit_code_of(status);
    return exit_code_;
}

Result<std::optional<int>> Child::try_wait() {
    if (reaped_) return std::optional<int>(exit_code_);
    if (pid_ < 0) return errno_code(ECHILD);
    int status = 0;
    for (;;) {
        const pid_t r = sys::waitpid(pid_, &status, WNOHANG);
        if (r == 0) return std::optional<int>();
        if (r == pid_) break;
        if (r < 0 && errno == EINTR) continue;
        return r < 0 ? last_error() : errno_code(ECHILD);
    }
    reaped_ = true;
    exit_code_ = exit_code_of(status);
    return std::optional<int>(exit_code_);
}

std::error_code Child::kill() {
    // Once awaited, the pid (and the group id) may belong to someone else.
    if (reaped_) return {};
    if (pid_ < 0) return errno_code(ESRCH);
    // An unawaited child that has exited is a zombie and still takes the signal quietly.
    if (own_group_ && ::kill(-pid_, SIGKILL) == 0) return {};
    if (::kill(pid_, SIGKILL) != 0) return last_error();
    return {};
}

Result<ChildOutput> Child::collect() {
    ChildOutput output;
    if (auto e = drain(output.out, output.err)) return e;
    auto code = wait();
    if (!code) return code.error();
    output.exit_code = code.value();
    return output;
}

}  // namespace dpt
