// A stand-in for the CLI that misbehaves on request, so the end-to-end scenarios can show
// that the test program catches each fault. FAKE_TARNIX_MODE picks the behaviours (a
// comma-separated list; by default the listener delivers on its output);
// FAKE_TARNIX_LOG names a directory where every call records what it saw (arguments,
// standard input, the sandbox variables, its start and end on the monotonic clock) and
// every process appends "<pid> <start time>" to the file `pids`.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string env_or(const char* name, const char* fallback = "") {
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

const std::string kMode = env_or("FAKE_TARNIX_MODE", "stream");
const std::string kLog = env_or("FAKE_TARNIX_LOG");

bool mode_is(std::string_view mode) {
    std::string_view rest = kMode;
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        if (rest.substr(0, comma) == mode) return true;
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    return false;
}

std::int64_t monotonic_ns() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

// Field 22 of /proc/self/stat: with the pid it names this process even after pid reuse.
std::string start_time_of_self() {
    std::ifstream in("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = stat.rfind(')');
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22; ++i) fields >> field;
    return field;
}

void write_fully(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void record_pid() {
    if (kLog.empty()) return;
    const int fd =
        ::open((kLog + "/pids").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    write_fully(fd, std::to_string(::getpid()) + " " + start_time_of_self() + "\n");
    ::close(fd);
}

// Writes `text` to `path` through a temporary file and a rename, so readers see it whole.
void publish(const fs::path& path, std::string_view text) {
    fs::create_directories(path.parent_path());
    const fs::path tmp = path.string() + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::binary);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    fs::rename(tmp, path);
}

std::optional<std::string> read_whole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string read_stdin() {
    std::string text;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    return text;
}

struct Call {
    std::vector<std::string> args;
    std::int64_t start_ns = monotonic_ns();
    std::optional<std::string> input;
};

void record_call(const Call& call) {
    if (kLog.empty()) return;
    nlohmann::json env;
    for (const char* name : {"HOME", "USERPROFILE", "QDX_HOME", "TARNIX_SESSION_ID"}) {
        const char* value = std::getenv(name);
        env[name] = value != nullptr ? nlohmann::json(value) : nlohmann::json(nullptr);
    }
    nlohmann::json record = {{"args", call.args},
                             {"env", env},
                             {"pid", ::getpid()},
                             {"start_ns", call.start_ns},
                             {"end_ns", monotonic_ns()}};
    // Bytes that are not UTF-8 would not survive as JSON text; keep them as numbers.
    if (call.input) {
        record["stdin"] = std::vector<int>(call.input->begin(), call.input->end());
    }
    const std::string name = std::to_string(call.start_ns) + "-" + std::to_string(::getpid());
    publish(fs::path(kLog) / "calls" / (name + ".json"), record.dump());
}

fs::path qdx_home() { return env_or("QDX_HOME"); }
fs::path fake_state() { return qdx_home() / "fake"; }

void say(std::string_view text) { write_fully(STDOUT_FILENO, text); }

void write_session_file(const std::string& agent) {
    const fs::path file = qdx_home() / "tarnixhold" / agent / "info.json";
    if (mode_is("no_session")) return;
    if (mode_is("session_number")) return publish(file, R"({"session_id": 5})");
    if (mode_is("session_null")) return publish(file, R"({"session_id": null})");
    if (mode_is("session_array")) return publish(file, R"(["session_id", "abc"])");
    if (mode_is("session_empty_file")) return publish(file, "");
    if (mode_is("session_invalid_utf8")) return publish(file, "{\"session_id\": \"a\xff\"}");
    if (mode_is("session_empty_string")) return publish(file, R"({"session_id": ""})");
    publish(file, R"({"agent": ")" + agent + R"(", "session_id": "sess-)" + agent + R"("})");
}

bool stream_delivers() {
    return !mode_is("hook") && !mode_is("neither") && !mode_is("hook_exit2") &&
           !mode_is("exit_at_once");
}

void deliver_on_stream(const std::string& body) {
    if (mode_is("stream_twice")) return say(body + "\n" + body + "\n");
    if (mode_is("embedded")) return say("delivered: <" + body + "> from racesender\n");
    if (mode_is("crlf")) return say("first\r\n" + body + "\r\n");
    if (mode_is("invalid_utf8_line")) return say("bad \xff\xfe line\n" + body + "\n");
    if (mode_is("no_final_lf")) return say("first\n" + body);
    say(body + "\n");
}

int listener(const std::string& agent, Call& call) {
    // Outside the terminal's foreground group, a read of the terminal would stop it here.
    if (mode_is("read_stdin")) call.input = read_stdin();
    record_call(call);
    write_session_file(agent);
    if (mode_is("exit_at_once")) return 0;
    if (mode_is("grandchild")) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            record_pid();
            // Holds the output pipe open for as long as it lives.
            for (;;) ::pause();
        }
    }
    if (mode_is("flood_stderr")) {
        // Far more than a pipe holds: nobody draining it would block the listener here.
        const std::string chunk(64 * 1024, 'e');
        for (int i = 0; i < 64; ++i) write_fully(STDERR_FILENO, chunk);
    }
    const fs::path inbox = fake_state() / "inbox";
    const fs::path stop = fake_state() / "stop";
    bool delivered = false;
    for (;;) {
        if (!delivered && stream_delivers()) {
            if (auto body = read_whole(inbox)) {
                deliver_on_stream(*body);
                delivered = true;
            }
        }
        if (fs::exists(stop) && !mode_is("ignore_stop")) return 0;
        std::this_thread::sleep_for(10ms);
    }
}

int send(Call& call) {
    call.input = read_stdin();
    std::string body = *call.input;
    if (!body.empty() && body.back() == '\n') body.pop_back();
    publish(fake_state() / "inbox", body);
    record_call(call);
    if (mode_is("send_fail")) {
        std::fputs("boom", stderr);
        return 3;
    }
    if (mode_is("send_signal")) ::raise(SIGKILL);
    return 0;
}

int hook_check(Call& call) {
    call.input = read_stdin();
    int code = 0;
    if (mode_is("hook") || mode_is("both") || mode_is("crlf") || mode_is("exit_at_once") ||
        mode_is("hook_exit2")) {
        if (auto body = read_whole(fake_state() / "inbox")) say("delivered " + *body + "\n");
    }
    if (mode_is("hook_exit2")) code = 2;
    record_call(call);
    return code;
}

int stop(Call& call) {
    call.input = read_stdin();
    publish(fake_state() / "stop", "");
    record_call(call);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    record_pid();
    Call call;
    call.args.assign(argv + 1, argv + argc);
    const auto& a = call.args;
    if (a.size() >= 2 && a[0] == "poll") return listener(a[1], call);
    if (a.size() >= 2 && a[0] == "send") return send(call);
    if (!a.empty() && a[0] == "hook-check") return hook_check(call);
    if (a.size() >= 2 && a[0] == "stop") return stop(call);
    record_call(call);
    std::fputs("fake tarnix: unknown call\n", stderr);
    return 64;
}
