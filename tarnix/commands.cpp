#include "commands.hpp"

#include <fcntl.h>
#include <fmt/format.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "io.hpp"

namespace tarnix {

namespace {

constexpr std::size_t max_body = 16 << 20;
constexpr std::size_t max_hook_input = 1 << 20;
// A hook runner that never closes our standard input must not hang us.
constexpr auto hook_input_wait = std::chrono::seconds(2);
constexpr auto stop_wait = std::chrono::seconds(5);

// The session named by the JSON object on standard input; a note on `problem` when the input is
// there but unusable.
std::optional<std::string> session_from_stdin(std::string& problem) {
    if (::isatty(STDIN_FILENO) || ::fcntl(STDIN_FILENO, F_GETFD) < 0) return std::nullopt;
    auto in = read_stdin(max_hook_input, std::chrono::steady_clock::now() + hook_input_wait);
    if (in.too_large) {
        problem = fmt::format("standard input is larger than {} bytes", max_hook_input);
        return std::nullopt;
    }
    if (in.error != 0) {
        problem = fmt::format("cannot read standard input: {}", std::strerror(in.error));
        return std::nullopt;
    }
    if (!in.complete) {
        problem = "standard input was not closed in time";
        if (in.data.empty()) return std::nullopt;
    }
    if (in.data.find_first_not_of(" \t\r\n") == std::string::npos) return std::nullopt;
    nlohmann::json doc;
    try {
        doc = nlohmann::json::parse(in.data);
    } catch (const nlohmann::json::parse_error& e) {
        problem = fmt::format("standard input is not valid JSON: {}", e.what());
        return std::nullopt;
    }
    if (!doc.is_object()) {
        problem = "standard input is not a JSON object";
        return std::nullopt;
    }
    auto it = doc.find("session_id");
    if (it == doc.end() || !it->is_string()) {
        problem = "standard input has no string member session_id";
        return std::nullopt;
    }
    return it->get<std::string>();
}

// A descriptor that becomes readable when the process whose id the lock file holds has ended;
// -1 when there is none to be had. Opened while the lock is held, so the id is the holder's
// (it writes it right after locking).
int open_holder_pidfd(int lock_fd) {
    char text[32] = {};
    const ssize_t n = ::pread(lock_fd, text, sizeof text - 1, 0);
    if (n <= 0) return -1;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    if (pid <= 0 || end == text || *end != '\n') return -1;
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
}

int hook_check_body() {
    std::string problem;
    auto from_input = session_from_stdin(problem);
    if (!problem.empty()) print_error("hook-check: " + problem);

    const char* env = std::getenv("TARNIX_SESSION_ID");
    std::optional<std::string> from_env;
    if (env && *env) from_env = env;
    if (from_input && from_env && *from_input != *from_env)
        print_error(
            "hook-check: TARNIX_SESSION_ID and standard input name different sessions; using "
            "the one from standard input");
    auto session = from_input ? from_input : from_env;
    if (!session) {
        print_error(
            "hook-check: no session: set TARNIX_SESSION_ID or pass {\"session_id\":\"...\"} on "
            "standard input");
        return 0;
    }
    if (!is_valid_session_id(*session)) {
        print_error(fmt::format("hook-check: malformed session id '{}'", escape_line(*session)));
        return 0;
    }

    Store store = Store::from_environment();
    auto agent = store.agent_of_session(*session);
    if (!agent) {
        print_error(fmt::format("hook-check: unknown session '{}'", *session));
        return 0;
    }
    auto result = store.claim_pending(
        *agent, [](const Message& m) { return write_stdout(format_delivery(m)); });
    for (const auto& path : result.damaged)
        print_error("hook-check: damaged message kept at " + path);
    if (result.output_failed)
        print_error("hook-check: standard output is closed; the message went back to the inbox");
    return 0;
}

}  // namespace

int run_send(const Store& store, const std::string& agent, const std::string& sender) {
    auto in = read_stdin(max_body);
    if (in.error != 0) return report_error("cannot read standard input", in.error);
    if (in.too_large) {
        print_error(fmt::format("the message is larger than {} bytes", max_body));
        return 1;
    }
    if (!in.data.empty() && in.data.back() == '\n') in.data.pop_back();
    try {
        store.publish(agent, Message{sender, std::move(in.data)});
    } catch (const std::exception& e) {
        print_error(e.what());
        return 1;
    }
    return 0;
}

int run_hook_check() {
    // A hook whose reader went away must see an error from write, not die of SIGPIPE mid-way.
    ::signal(SIGPIPE, SIG_IGN);
    try {
        return hook_check_body();
    } catch (const std::exception& e) {
        print_error(std::string("hook-check: ") + e.what());
    } catch (...) {
        print_error("hook-check: unexpected failure");
    }
    return 0;
}

int run_stop(const Store& store, const std::string& agent) {
    std::string name = escape_line(agent);
    auto lock_path = store.lock_path(agent);
    int fd = ::open(lock_path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            print_error(fmt::format("agent '{}' has no listener", name));
            return 1;
        }
        return report_error("cannot open " + lock_path.string(), errno);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        ::close(fd);
        print_error(fmt::format("agent '{}' has no listener", name));
        return 1;
    }
    if (errno != EWOULDBLOCK) {
        int err = errno;
        ::close(fd);
        return report_error("cannot lock " + lock_path.string(), err);
    }

    // The lock goes when the listener closes it on its way out, a moment before the process has
    // ended; whoever awaits the listener next must find it gone, so we also wait for the process.
    const int holder = open_holder_pidfd(fd);

    auto stop_path = store.stop_request_path(agent);
    int req = ::open(stop_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (req < 0) {
        int err = errno;
        ::close(fd);
        if (holder >= 0) ::close(holder);
        return report_error("cannot write " + stop_path.string(), err);
    }
    ::close(req);

    // The listener releases its lock when its last descriptor closes, that is when it has ended.
    // A blocking flock on a thread gives that moment without polling; the bounded wait is on the
    // future.
    auto done = std::make_shared<std::promise<int>>();
    auto result = done->get_future();
    std::thread([fd, done] {
        int rc;
        while ((rc = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        done->set_value(rc == 0 ? 0 : errno);
    }).detach();
    const auto deadline = std::chrono::steady_clock::now() + stop_wait;
    if (result.wait_until(deadline) != std::future_status::ready) {
        if (holder >= 0) ::close(holder);
        print_error(fmt::format("the listener of agent '{}' did not exit within {} s", name,
                                stop_wait.count()));
        return 1;
    }
    int err = result.get();
    if (holder >= 0) {
        // Bounded by the same deadline; a holder that has let go of its lock is not waited on
        // beyond it.
        pollfd gone{holder, POLLIN, 0};
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const int n = ::poll(&gone, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
            if (n >= 0 || errno != EINTR) break;
        }
        ::close(holder);
    }
    if (err != 0) {
        ::close(fd);
        return report_error("cannot lock " + lock_path.string(), err);
    }
    ::unlink(stop_path.c_str());
    ::close(fd);
    return 0;
}

}  // namespace tarnix
