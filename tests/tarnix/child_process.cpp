#include "child_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace tarnix_test {

namespace {

[[noreturn]] void throw_errno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) throw_errno("pipe2");
        read = fds[0];
        write = fds[1];
    }
};

void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::vector<std::string> build_environment(const Env& env) {
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
        std::string_view entry(*e);
        std::string_view name = entry.substr(0, entry.find('='));
        bool replaced = std::any_of(env.set.begin(), env.set.end(),
                                    [&](const auto& kv) { return kv.first == name; }) ||
                        std::find(env.unset.begin(), env.unset.end(), name) != env.unset.end();
        if (!replaced) out.emplace_back(entry);
    }
    for (const auto& [name, value] : env.set) out.push_back(name + "=" + value);
    return out;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Starts tarnix with its three standard streams on the given descriptors (-1: null device).
pid_t spawn(const std::vector<std::string>& args, const Env& env, int in_fd, int out_fd, int err_fd,
            bool own_group) {
    std::vector<std::string> argv_strings{TARNIX_BIN};
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    auto envp_strings = build_environment(env);
    auto argv = pointers(argv_strings);
    auto envp = pointers(envp_strings);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int fds[3] = {in_fd, out_fd, err_fd};
    for (int target = 0; target < 3; ++target) {
        if (fds[target] >= 0)
            posix_spawn_file_actions_adddup2(&actions, fds[target], target);
        else
            posix_spawn_file_actions_addopen(&actions, target, "/dev/null",
                                             target == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (own_group) {
        flags |= POSIX_SPAWN_SETPGROUP;
        posix_spawnattr_setpgroup(&attr, 0);
    }
    posix_spawnattr_setflags(&attr, flags);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);

    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) throw std::system_error(rc, std::generic_category(), "posix_spawn tarnix");
    return pid;
}

int exit_code_of(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

int wait_blocking(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) throw_errno("waitpid");
    }
    return exit_code_of(status);
}

// Reads whatever is ready on `fd` into `sink`; false at end of stream.
bool read_some(int fd, std::string& sink) {
    char buf[65536];
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) return errno == EINTR || errno == EAGAIN;
    if (n == 0) return false;
    sink.append(buf, static_cast<std::size_t>(n));
    return true;
}

}  // namespace

Finished run_tarnix(const std::vector<std::string>& args, const Env& env,
                    const std::optional<std::string>& input) {
    ::signal(SIGPIPE, SIG_IGN);
    Pipe out, err;
    std::optional<Pipe> in;
    if (input) in.emplace();
    pid_t pid = spawn(args, env, in ? in->read : -1, out.write, err.write, false);
    close_fd(out.write);
    close_fd(err.write);
    if (in) {
        close_fd(in->read);
        ::fcntl(in->write, F_SETFL, O_NONBLOCK);
    }

    Finished result;
    std::string_view pending = input ? std::string_view(*input) : std::string_view();
    int in_fd = in ? in->write : -1;
    if (in_fd >= 0 && pending.empty()) close_fd(in_fd);
    while (out.read >= 0 || err.read >= 0) {
        pollfd fds[3] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}, {in_fd, POLLOUT, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            throw_errno("poll");
        }
        if (fds[0].revents && !read_some(out.read, result.out)) close_fd(out.read);
        if (fds[1].revents && !read_some(err.read, result.err)) close_fd(err.read);
        if (in_fd >= 0 && fds[2].revents) {
            ssize_t n = ::write(in_fd, pending.data(), pending.size());
            if (n > 0) pending.remove_prefix(static_cast<std::size_t>(n));
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || pending.empty()) close_fd(in_fd);
        }
    }
    close_fd(in_fd);
    result.exit_code = wait_blocking(pid);
    return result;
}

Sandbox::Sandbox() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnix-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw_errno("mkdtemp");
    home_ = pattern;
}

Sandbox::~Sandbox() {
    std::error_code ec;
    std::filesystem::remove_all(home_, ec);
}

Env Sandbox::env() const {
    return Env{{{"HOME", home_.string()}, {"QDX_HOME", qdx().string()}}, {"TARNIX_SESSION_ID"}};
}

std::optional<std::string> Sandbox::wait_for_session(std::string_view agent,
                                                     std::chrono::milliseconds timeout,
                                                     std::string_view previous) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::ifstream file(agent_dir(agent) / "info.json");
        if (file) {
            std::stringstream text;
            text << file.rdbuf();
            auto doc = nlohmann::json::parse(text.str(), nullptr, false);
            if (doc.is_object() && doc.contains("session_id") && doc["session_id"].is_string() &&
                doc["session_id"].get<std::string>() != previous)
                return doc["session_id"].get<std::string>();
        }
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

Listener::Listener(const std::vector<std::string>& args, const Env& env, bool close_output) {
    ::signal(SIGPIPE, SIG_IGN);
    Pipe out, err;
    pid_ = spawn(args, env, -1, out.write, err.write, true);
    close_fd(out.write);
    close_fd(err.write);
    if (close_output) close_fd(out.read);
    reader_ = std::thread([this, o = out.read, e = err.read] { collect(o, e); });
}

Listener::~Listener() {
    if (!exit_code_) {
        ::kill(-pid_, SIGKILL);
        wait_blocking(pid_);
    }
    if (reader_.joinable()) reader_.join();
}

void Listener::collect(int out_fd, int err_fd) {
    while (out_fd >= 0 || err_fd >= 0) {
        pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        std::string chunk_out, chunk_err;
        if (fds[0].revents && !read_some(out_fd, chunk_out)) close_fd(out_fd);
        if (fds[1].revents && !read_some(err_fd, chunk_err)) close_fd(err_fd);
        std::lock_guard lock(mutex_);
        out_ += chunk_out;
        err_ += chunk_err;
    }
    close_fd(out_fd);
    close_fd(err_fd);
}

std::string Listener::output() const {
    std::lock_guard lock(mutex_);
    return out_;
}

std::string Listener::errors() const {
    std::lock_guard lock(mutex_);
    return err_;
}

bool Listener::wait_for_output(std::string_view needle, std::chrono::milliseconds timeout) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (output().find(needle) != std::string::npos) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::optional<int> Listener::wait_exit(std::chrono::milliseconds timeout) {
    if (exit_code_) return exit_code_;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            exit_code_ = exit_code_of(status);
            // The pipes end with the process: collect the rest before anyone reads it.
            if (reader_.joinable()) reader_.join();
            return exit_code_;
        }
        if (r < 0 && errno != EINTR) throw_errno("waitpid");
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void Listener::send_signal(int sig) const { ::kill(pid_, sig); }

std::size_t count_occurrences(std::string_view text, std::string_view needle) {
    std::size_t count = 0;
    for (auto pos = text.find(needle); pos != std::string_view::npos;
         pos = text.find(needle, pos + needle.size()))
        ++count;
    return count;
}

}  // namespace tarnix_test
