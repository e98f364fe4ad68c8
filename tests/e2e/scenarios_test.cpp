// The test program run as a user runs it, against the fake CLI: its report, its exit
// status, what the fake saw, and that nothing of it is left behind afterwards.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.hpp"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using namespace std::chrono_literals;

constexpr std::int64_t kMs = 1'000'000;
const std::string kTest = "stream_and_hook_check_deliver_exactly_once";

std::int64_t monotonic_ns() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// A process that the fake recorded is alive when its pid still names a process with the
// same start time that is not a zombie.
bool still_running(const std::string& pid, const std::string& start_time) {
    const std::string stat = read_text("/proc/" + pid + "/stat");
    if (stat.empty()) return false;
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string state;
    fields >> state;
    std::string field;
    for (int i = 4; i <= 22; ++i) fields >> field;
    return field == start_time && state != "Z";
}

std::string input_of(const json& call) {
    std::string bytes;
    if (call.contains("stdin")) {
        for (const auto& b : call["stdin"]) bytes.push_back(static_cast<char>(b.get<int>()));
    }
    return bytes;
}

struct ProgramRun {
    int exit_code = -2;
    std::string out;
    std::string err;
    pid_t pid = -1;
    std::int64_t elapsed_ns = 0;
    std::vector<json> calls;  // in the order they started

    // The first call whose first argument is `name`.
    const json* call(const std::string& name) const {
        for (const json& c : calls) {
            if (!c["args"].empty() && c["args"][0] == name) return &c;
        }
        return nullptr;
    }
    std::string token() const {
        const json* send = call("send");
        if (send == nullptr) return {};
        std::string input = input_of(*send);
        if (!input.empty() && input.back() == '\n') input.pop_back();
        return input;
    }
    std::string agent() const {
        const json* poll = call("poll");
        return poll != nullptr ? poll->at("args")[1].get<std::string>() : std::string();
    }
};

// Each scenario has a directory of its own: `tmp` is the program's TMPDIR, where the
// sandbox home goes, and `log` is where the fake records its calls and pids.
class Scenario : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/dpt-e2e-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        base_ = pattern;
        fs::create_directory(base_ / "tmp");
        fs::create_directory(base_ / "log");
    }
    void TearDown() override { fs::remove_all(base_); }

    struct Options {
        const char* program = DPT_FAKE_PROGRAM;
        std::string mode = {};
        // Runs `script` so that the program's standard input is a terminal.
        bool under_terminal = false;
        // Called once the program runs, with it and the fake's log directory.
        std::function<void(dpt::Child&, const fs::path&)> during = {};
    };

    ProgramRun run(const Options& options) {
        dpt::Command command;
        if (options.under_terminal) {
            command.program = "/usr/bin/script";
            command.args = {"-qec", options.program, "/dev/null"};
            // Left open and silent: script must not see end of input while the program runs.
            command.in = dpt::Stdio::piped;
        } else {
            command.program = options.program;
            command.in = dpt::Stdio::null;
        }
        command.out = dpt::Stdio::piped;
        command.err = dpt::Stdio::piped;
        command.own_process_group = true;
        command.env = {{"TMPDIR", (base_ / "tmp").string()},
                       {"FAKE_TARNIX_MODE", options.mode},
                       {"FAKE_TARNIX_LOG", (base_ / "log").string()},
                       {"DPT_TEST_NOCAPTURE", "0"},
                       {"DPT_BACKTRACE", "0"},
                       {"NO_COLOR", "1"}};
        // A fresh log for each run of a scenario.
        fs::remove_all(base_ / "log");
        fs::create_directory(base_ / "log");
        ProgramRun result;
        const std::int64_t start = monotonic_ns();
        auto spawned = dpt::Child::spawn(command);
        EXPECT_TRUE(spawned.ok());
        if (!spawned.ok()) return result;
        dpt::Child& child = spawned.value();
        result.pid = child.pid();
        if (options.during) options.during(child, base_ / "log");
        auto output = child.collect();
        EXPECT_TRUE(output.ok());
        result.elapsed_ns = monotonic_ns() - start;
        if (output.ok()) {
            result.exit_code = output.value().exit_code;
            result.out = std::move(output.value().out);
            result.err = std::move(output.value().err);
        }
        result.calls = read_calls();
        return result;
    }

    std::vector<json> read_calls() const {
        std::vector<json> calls;
        if (!fs::exists(base_ / "log" / "calls")) return calls;
        for (const auto& entry : fs::directory_iterator(base_ / "log" / "calls")) {
            if (entry.path().extension() == ".json") {
                calls.push_back(json::parse(read_text(entry.path())));
            }
        }
        std::sort(calls.begin(), calls.end(), [](const json& a, const json& b) {
            return a["start_ns"].get<std::int64_t>() < b["start_ns"].get<std::int64_t>();
        });
        return calls;
    }

    // Nothing the run started is alive and its TMPDIR holds nothing.
    void expect_nothing_left() const {
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(base_ / "tmp")) {
            left.push_back(entry.path().filename().string());
        }
        EXPECT_EQ(left, std::vector<std::string>{}) << "left in TMPDIR";
        std::istringstream pids(read_text(base_ / "log" / "pids"));
        std::string pid;
        std::string start_time;
        while (pids >> pid >> start_time) {
            EXPECT_FALSE(still_running(pid, start_time)) << "process " << pid << " left running";
        }
    }

    fs::path base_;
};

std::string passing_report_pattern() {
    return "\nrunning 1 test\ntest " + kTest +
           " \\.\\.\\. ok\n\ntest result: ok\\. 1 passed; 0 failed; 0 ignored; 0 measured; 0 "
           "filtered out; finished in [0-9]+\\.[0-9]{2}s\n\n";
}

// The report of a failed run whose failure message matches `message` (a pattern).
std::string failing_report_pattern(const std::string& message) {
    return "\nrunning 1 test\ntest " + kTest + " \\.\\.\\. FAILED\n\nfailures:\n\n---- " + kTest +
           " stdout ----\n\nthread '" + kTest +
           "' \\([0-9]+\\) panicked at src/[a-z_/]+\\.[a-z]+:[0-9]+:[0-9]+:\n" + message +
           "\nnote: [^\n]*\n\n\nfailures:\n    " + kTest +
           "\n\ntest result: FAILED\\. 0 passed; 1 failed; 0 ignored; 0 measured; 0 filtered out; "
           "finished in [0-9]+\\.[0-9]{2}s\n\n";
}

// ---- Scenarios that run the whole race to its verdict or to an early failure ----

struct Case {
    const char* name;
    const char* mode;
    // Empty for a passing run; else the failure message as a pattern in which {token}
    // stands for the token that was sent.
    const char* failure;
};

const char* const kLost =
    "assertion `left == right` failed: exactly-once invariant violated: stream_count=0 "
    "hook_count=0 \\(expected total=1\\)\nstream stdout: \nhook stdout: \n  left: 0\n right: 1";

const Case kCases[] = {
    {"token_on_stream_only", "stream", ""},
    {"token_on_hook_only", "hook", ""},
    {"token_embedded_in_longer_line", "embedded", ""},
    {"last_line_without_line_feed", "no_final_lf", ""},
    {"listener_floods_stderr", "flood_stderr", ""},
    {"listener_exits_at_once", "exit_at_once", ""},
    {"empty_session_id_is_used", "session_empty_string", ""},
    {"listener_child_holds_output_open", "grandchild", ""},
    {"listener_reads_stdin", "read_stdin", ""},
    {"token_on_both_paths", "both",
     "assertion `left == right` failed: exactly-once invariant violated: stream_count=1 "
     "hook_count=1 \\(expected total=1\\)\nstream stdout: {token}\n\nhook stdout: delivered "
     "{token}\n\n  left: 2\n right: 1"},
    {"token_on_neither_path", "neither", kLost},
    {"token_twice_on_stream", "stream_twice",
     "assertion `left == right` failed: exactly-once invariant violated: stream_count=2 "
     "hook_count=0 \\(expected total=1\\)\nstream stdout: {token}\n{token}\n\nhook stdout: "
     "\n  left: 2\n right: 1"},
    {"crlf_lines_lose_their_carriage_return", "crlf",
     "assertion `left == right` failed: exactly-once invariant violated: stream_count=1 "
     "hook_count=1 \\(expected total=1\\)\nstream stdout: first\n{token}\n\nhook stdout: "
     "delivered {token}\n\n  left: 2\n right: 1"},
    {"invalid_utf8_line_ends_the_stream", "invalid_utf8_line", kLost},
    {"send_exits_3", "send_fail",
     "assertion `left == right` failed: send must exit 0; stderr: boom\n  left: 3\n right: 0"},
    {"send_killed_by_signal", "send_signal",
     "assertion `left == right` failed: send must exit 0; stderr: \n  left: -1\n right: 0"},
    {"hook_check_exits_2", "hook_exit2",
     "assertion `left == right` failed: hook-check must always exit 0\n  left: 2\n right: 0"},
    {"no_session_file", "no_session", "info.json missing: [^\n]*No such file or directory"},
    {"session_id_number", "session_number", "session_id field missing"},
    {"session_id_null", "session_null", "session_id field missing"},
    {"session_file_array", "session_array", "session_id field missing"},
    {"session_file_empty", "session_empty_file", "info.json parse: [^\n]*line 1, column 1[^\n]*"},
    {"session_file_invalid_utf8", "session_invalid_utf8", "info.json missing: [^\n]*UTF-8"},
};

class RaceScenario : public Scenario, public ::testing::WithParamInterface<Case> {};

TEST_P(RaceScenario, ReportExitStatusAndCleanUp) {
    const Case& c = GetParam();
    const ProgramRun r = run({.mode = c.mode});
    const std::string failure = c.failure;
    if (failure.empty()) {
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        EXPECT_TRUE(std::regex_match(r.out, std::regex(passing_report_pattern()))) << r.out;
    } else {
        EXPECT_EQ(r.exit_code, 101) << r.out << r.err;
        const std::string message = replace_all(failure, "{token}", r.token());
        EXPECT_TRUE(std::regex_match(r.out, std::regex(failing_report_pattern(message)))) << r.out;
    }
    expect_nothing_left();
}

INSTANTIATE_TEST_SUITE_P(Fake, RaceScenario, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- What the fake saw ----

TEST_F(Scenario, CallsCarryTheExactArgumentsInputAndEnvironment) {
    const ProgramRun r = run({.mode = "stream"});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    ASSERT_EQ(r.calls.size(), 4u);
    const json& poll = r.calls[0];
    const json& send = r.calls[1];
    const json& hook = r.calls[2];
    const json& stop = r.calls[3];

    const std::string agent = r.agent();
    EXPECT_TRUE(std::regex_match(
        agent, std::regex("dual_path_trial_" + std::to_string(r.pid) + "_[1-9][0-9]*")))
        << agent;
    EXPECT_EQ(poll["args"], json({"poll", agent, "listen", "--setup", "--pulse-interval", "10"}));
    EXPECT_EQ(send["args"], json({"send", agent, "racesender"}));
    EXPECT_EQ(hook["args"], json({"hook-check"}));
    EXPECT_EQ(stop["args"], json({"stop", agent}));

    EXPECT_TRUE(std::regex_match(
        input_of(send), std::regex("RACE_TOKEN_body_" + std::to_string(r.pid) + "_[1-9][0-9]*\n")))
        << input_of(send);
    const std::string session = "sess-" + agent;
    EXPECT_EQ(input_of(hook), "{\"session_id\":\"" + session + "\"}");
    EXPECT_EQ(input_of(stop), "");

    const std::string home = poll["env"]["HOME"];
    EXPECT_EQ(fs::path(home).parent_path(), base_ / "tmp");
    EXPECT_TRUE(
        std::regex_match(fs::path(home).filename().string(), std::regex("\\.tmp[A-Za-z0-9]{6}")));
    for (const json* call : {&poll, &send, &hook, &stop}) {
        const json& env = (*call)["env"];
        EXPECT_EQ(env["HOME"], home);
        EXPECT_EQ(env["USERPROFILE"], home);
        EXPECT_EQ(env["QDX_HOME"], home + "/.qdx");
        EXPECT_EQ(env["TARNIX_SESSION_ID"], call == &hook ? json(session) : json(nullptr));
    }
    expect_nothing_left();
}

std::int64_t gap_ms(const json& earlier, const char* earlier_field, const json& later) {
    return (later["start_ns"].get<std::int64_t>() - earlier[earlier_field].get<std::int64_t>()) /
           kMs;
}

// The pauses between the calls: the warm-up, the pause before the hook check, and the
// settle wait that ends at once on a delivery and after about 2 s without one.
TEST_F(Scenario, CallsComeInOrderWithTheirPauses) {
    for (const char* mode : {"stream", "hook", "neither"}) {
        SCOPED_TRACE(mode);
        const ProgramRun r = run({.mode = mode});
        ASSERT_EQ(r.calls.size(), 4u);
        const json& poll = r.calls[0];
        const json& send = r.calls[1];
        const json& hook = r.calls[2];
        const json& stop = r.calls[3];
        EXPECT_EQ(poll["args"][0], "poll");
        EXPECT_EQ(send["args"][0], "send");
        EXPECT_EQ(hook["args"][0], "hook-check");
        EXPECT_EQ(stop["args"][0], "stop");
        // The listener notes its start only once running, which under a sanitizer takes a
        // while after the program started it; the 500 ms warm-up begins at the start.
        EXPECT_GE(gap_ms(poll, "start_ns", send), 400);
        EXPECT_LT(gap_ms(poll, "start_ns", send), 1500);
        EXPECT_GE(gap_ms(send, "end_ns", hook), 50);
        EXPECT_LT(gap_ms(send, "end_ns", hook), 1000);
        const std::int64_t settle = gap_ms(hook, "end_ns", stop);
        if (std::string(mode) == "neither") {
            EXPECT_GE(settle, 1900);
            EXPECT_LT(settle, 3500);
        } else {
            EXPECT_GE(settle, 0);
            EXPECT_LT(settle, 1000);
        }
        expect_nothing_left();
    }
}

// A listener that never obeys `stop` is ended after the 12 s exit wait.
TEST_F(Scenario, ListenerIgnoringStopIsEndedAfterTheExitWait) {
    const ProgramRun r = run({.mode = "ignore_stop"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_TRUE(std::regex_match(r.out, std::regex(passing_report_pattern()))) << r.out;
    EXPECT_GE(r.elapsed_ns / kMs, 12'000);
    EXPECT_LT(r.elapsed_ns / kMs, 25'000);
    expect_nothing_left();
}

TEST_F(Scenario, MissingCliFailsToSpawn) {
    const ProgramRun r = run({.program = DPT_NOCLI_PROGRAM});
    EXPECT_EQ(r.exit_code, 101) << r.out << r.err;
    EXPECT_TRUE(std::regex_match(
        r.out, std::regex(failing_report_pattern("spawn failed: [^\n]*No such file or directory"))))
        << r.out;
    expect_nothing_left();
}

// With a terminal on standard input the listener, which leads a background group of the
// terminal's session, must not be stopped by reading it; the run still ends promptly.
TEST_F(Scenario, ListenerReadingATerminalDoesNotStopTheRun) {
    const ProgramRun r = run({.mode = "read_stdin", .under_terminal = true});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("test result: ok."), std::string::npos) << r.out;
    EXPECT_LT(r.elapsed_ns / kMs, 8'000);
    const json* poll = r.call("poll");
    ASSERT_NE(poll, nullptr);
    EXPECT_EQ(input_of(*poll), "");
    expect_nothing_left();
}

// ---- Interrupts ----

struct InterruptCase {
    const char* name;
    int signal;
    // Sent to the program's whole process group, as a terminal's Ctrl-C does.
    bool to_group;
    const char* mode;
    // The call whose record means the program has reached the moment to interrupt it.
    const char* after_call;
};

const InterruptCase kInterrupts[] = {
    {"sigterm_during_warm_up", SIGTERM, false, "grandchild", "poll"},
    {"sigint_to_group_during_exit_wait", SIGINT, true, "ignore_stop,grandchild", "stop"},
    {"sigterm_during_exit_wait", SIGTERM, false, "ignore_stop", "stop"},
};

class InterruptScenario : public Scenario, public ::testing::WithParamInterface<InterruptCase> {};

TEST_P(InterruptScenario, EndsTheListenerRemovesTheHomeAndExits101) {
    const InterruptCase& c = GetParam();
    const ProgramRun r =
        run({.mode = c.mode, .during = [&](dpt::Child& program, const fs::path& log) {
                 const auto deadline = std::chrono::steady_clock::now() + 20s;
                 auto reached = [&] {
                     if (!fs::exists(log / "calls")) return false;
                     for (const auto& e : fs::directory_iterator(log / "calls")) {
                         // A record being written (or cut short by the signal) is a temp file.
                         if (e.path().extension() != ".json") continue;
                         const json call = json::parse(read_text(e.path()));
                         if (call["args"][0] == c.after_call) return true;
                     }
                     return false;
                 };
                 while (!reached() && std::chrono::steady_clock::now() < deadline) {
                     std::this_thread::sleep_for(20ms);
                 }
                 // The home exists by now; let the listener settle in.
                 std::this_thread::sleep_for(100ms);
                 ::kill(c.to_group ? -program.pid() : program.pid(), c.signal);
             }});
    EXPECT_EQ(r.exit_code, 101) << r.out << r.err;
    EXPECT_NE(r.err.find(c.signal == SIGINT ? "interrupted by SIGINT" : "interrupted by SIGTERM"),
              std::string::npos)
        << r.err;
    EXPECT_LT(r.elapsed_ns / kMs, 10'000);
    expect_nothing_left();
}

INSTANTIATE_TEST_SUITE_P(Fake, InterruptScenario, ::testing::ValuesIn(kInterrupts),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
