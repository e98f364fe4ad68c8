#include <fcntl.h>
#include <fmt/format.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "commands.hpp"
#include "io.hpp"

namespace tarnix {

namespace {

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

long long unix_ms() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string info_json(const Store& store, const ListenOptions& o, const std::string& session) {
    nlohmann::json doc = {
        {"session_id", session},
        {"agent", o.agent},
        {"pid", static_cast<long>(::getpid())},
        {"pulse_interval_ms", o.pulse_ms},
        {"started_at_unix_ms", unix_ms()},
        {"inbox", store.inbox_dir(o.agent).string()},
    };
    return doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// Gives the listener its session: a fresh one with --setup (the previous session of the agent is
// retired), otherwise the one its info.json records.
std::optional<std::string> take_session(const Store& store, const ListenOptions& o) {
    if (!o.setup) {
        auto id = store.recorded_session(o.agent);
        if (!id || !is_valid_session_id(*id)) return std::nullopt;
        store.bind_session(*id, o.agent);
        return id;
    }
    auto old = store.recorded_session(o.agent);
    std::string id = new_session_id();
    store.bind_session(id, o.agent);
    store.write_info(o.agent, info_json(store, o, id));
    if (old && *old != id && store.agent_of_session(*old) == o.agent) store.unbind_session(*old);
    return id;
}

void drain(int fd) {
    alignas(inotify_event) char buf[4096];
    while (::read(fd, buf, sizeof buf) > 0) {
    }
}

}  // namespace

int run_listener(const Store& store, const ListenOptions& o) {
    // Termination signals are taken through a descriptor so that they end the loop cleanly with
    // status 0 instead of killing the process in the middle of a delivery.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    ::sigprocmask(SIG_BLOCK, &stop_signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    Fd sig(::signalfd(-1, &stop_signals, SFD_CLOEXEC | SFD_NONBLOCK));
    if (sig.get() < 0) return report_error("cannot watch signals", errno);

    try {
        if (o.setup) {
            store.ensure_agent(o.agent);
        } else if (::access(store.info_path(o.agent).c_str(), F_OK) != 0) {
            print_error(fmt::format("agent '{}' has no state; start its listener with --setup",
                                    escape_line(o.agent)));
            return 1;
        }

        // The lock lives exactly as long as this process's descriptors, which is what `stop`
        // waits on: a finished listener that its parent has not reaped yet no longer holds it.
        auto lock_path = store.lock_path(o.agent);
        Fd lock(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        if (lock.get() < 0) return report_error("cannot open " + lock_path.string(), errno);
        if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) {
                print_error(fmt::format("agent '{}' already has a listener", escape_line(o.agent)));
                return 1;
            }
            return report_error("cannot lock " + lock_path.string(), errno);
        }
        std::string pid = std::to_string(static_cast<long>(::getpid())) + "\n";
        if (::ftruncate(lock.get(), 0) != 0 || ::pwrite(lock.get(), pid.data(), pid.size(), 0) < 0)
            return report_error("cannot write " + lock_path.string(), errno);

        // A request left by a stop that found no listener to wait for is not meant for us.
        auto stop_path = store.stop_request_path(o.agent);
        ::unlink(stop_path.c_str());

        if (!take_session(store, o)) {
            print_error(
                fmt::format("agent '{}' has no valid session_id in its info.json; start "
                            "its listener with --setup",
                            escape_line(o.agent)));
            return 1;
        }

        // Watches are in place before the first scan, so no message falls between the two.
        Fd notify(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
        if (notify.get() < 0) return report_error("cannot watch the inbox", errno);
        const uint32_t gone = IN_DELETE_SELF | IN_MOVE_SELF;
        if (::inotify_add_watch(notify.get(), store.inbox_dir(o.agent).c_str(),
                                IN_MOVED_TO | IN_CREATE | gone) < 0 ||
            ::inotify_add_watch(notify.get(), store.agent_dir(o.agent).c_str(),
                                IN_MOVED_TO | IN_CREATE | gone) < 0)
            return report_error("cannot watch the inbox", errno);

        for (;;) {
            if (::access(stop_path.c_str(), F_OK) == 0) return 0;
            auto result = store.claim_pending(
                o.agent, [](const Message& m) { return write_stdout(format_delivery(m)); });
            for (const auto& path : result.damaged) print_error("damaged message kept at " + path);
            if (result.output_failed) {
                print_error("standard output is closed; the message went back to the inbox");
                return 1;
            }

            pollfd fds[2] = {{sig.get(), POLLIN, 0}, {notify.get(), POLLIN, 0}};
            int n = ::poll(fds, 2, o.pulse_ms);
            if (n < 0 && errno != EINTR) return report_error("cannot wait for messages", errno);
            if (n > 0 && (fds[0].revents & POLLIN)) return 0;
            if (n > 0 && (fds[1].revents & POLLIN)) drain(notify.get());
        }
    } catch (const std::exception& e) {
        // Also the way out when the agent's state is removed under a running listener.
        print_error(e.what());
        return 1;
    }
}

}  // namespace tarnix
