// The four calls of tarnix as separate processes, the way the race makes them, in a throw-away
// home; then the inputs it must refuse or survive.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "child_process.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tarnix_test::count_occurrences;
using tarnix_test::Env;
using tarnix_test::Finished;
using tarnix_test::Listener;
using tarnix_test::run_tarnix;
using tarnix_test::Sandbox;

std::vector<std::string> listen_args(const std::string& agent, const std::string& pulse = "10") {
    return {"poll", agent, "listen", "--setup", "--pulse-interval", pulse};
}

std::string session_payload(const std::string& id) { return R"({"session_id":")" + id + R"("})"; }

class TarnixTest : public ::testing::Test {
  protected:
    Finished send(const std::string& agent, const std::string& body,
                  const std::string& sender = "racesender") {
        return run_tarnix({"send", agent, sender}, sandbox_.env(), body + "\n");
    }
    Finished hook_check(const std::optional<std::string>& env_session,
                        const std::optional<std::string>& input) {
        Env env = sandbox_.env();
        if (env_session) env.set.emplace_back("TARNIX_SESSION_ID", *env_session);
        return run_tarnix({"hook-check"}, env, input);
    }
    Finished stop(const std::string& agent) {
        return run_tarnix({"stop", agent}, sandbox_.env(), std::nullopt);
    }
    // Sets the agent up with a listener, stops it, and gives its session, so that messages sent
    // afterwards wait for a hook-check.
    std::string idle_agent(const std::string& agent, std::string_view previous = {}) {
        Listener listener(listen_args(agent), sandbox_.env());
        auto session = sandbox_.wait_for_session(agent, 5s, previous);
        EXPECT_TRUE(session.has_value());
        EXPECT_EQ(stop(agent).exit_code, 0);
        EXPECT_EQ(listener.wait_exit(5s), 0);
        return session.value_or("");
    }

    Sandbox sandbox_;
};

TEST_F(TarnixTest, ListenerWakesOnANewMessageWithoutWaitingForThePulse) {
    // A pulse of a minute: only the inbox watch can deliver within the test's bound.
    Listener listener(listen_args("agent", "60000"), sandbox_.env());
    auto session = sandbox_.wait_for_session("agent", 5s);
    ASSERT_TRUE(session.has_value());
    EXPECT_EQ(session->size(), 32u);
    ASSERT_EQ(send("agent", "hello there").exit_code, 0);
    EXPECT_TRUE(listener.wait_for_output("[racesender] hello there\n", 5s)) << listener.output();
    EXPECT_EQ(stop("agent").exit_code, 0);
    EXPECT_EQ(listener.wait_exit(5s), 0);
    EXPECT_EQ(listener.output(), "[racesender] hello there\n");
}

TEST_F(TarnixTest, StopReturnsOnceTheListenerIsGone) {
    Listener listener(listen_args("agent"), sandbox_.env());
    ASSERT_TRUE(sandbox_.wait_for_session("agent", 5s));
    auto stopped = stop("agent");
    EXPECT_EQ(stopped.exit_code, 0) << stopped.err;
    // The listener has closed its descriptors by now; only the reaping is left.
    EXPECT_EQ(listener.wait_exit(1s), 0);
    auto again = stop("agent");
    EXPECT_EQ(again.exit_code, 1);
    EXPECT_NE(again.err.find("has no listener"), std::string::npos) << again.err;
}

TEST_F(TarnixTest, AfterStopTheFirstLookFindsTheListenerExited) {
    // The lock is released on the listener's way out, a moment before the process ends; a
    // caller that polls for the exit right after stop must not find it still running. The
    // window is small, so it is tried a few times.
    for (int round = 0; round < 10; ++round) {
        const std::string agent = "agent" + std::to_string(round);
        Listener listener(listen_args(agent), sandbox_.env());
        ASSERT_TRUE(sandbox_.wait_for_session(agent, 5s));
        ASSERT_EQ(stop(agent).exit_code, 0);
        siginfo_t info{};
        ASSERT_EQ(
            ::waitid(P_PID, static_cast<id_t>(listener.pid()), &info, WEXITED | WNOHANG | WNOWAIT),
            0);
        EXPECT_EQ(info.si_pid, listener.pid()) << "still running after stop, round " << round;
        EXPECT_EQ(listener.wait_exit(5s), 0);
    }
}

TEST_F(TarnixTest, TerminationSignalsEndTheListenerWithStatusZero) {
    for (int sig : {SIGTERM, SIGINT}) {
        std::string agent = "agent" + std::to_string(sig);
        Listener listener(listen_args(agent), sandbox_.env());
        ASSERT_TRUE(sandbox_.wait_for_session(agent, 5s));
        listener.send_signal(sig);
        EXPECT_EQ(listener.wait_exit(5s), 0) << "signal " << sig;
    }
}

TEST_F(TarnixTest, MessagesSentBeforeTheListenerWaitInTheInbox) {
    ASSERT_EQ(send("agent", "first").exit_code, 0);
    ASSERT_EQ(send("agent", "second").exit_code, 0);
    Listener listener(listen_args("agent"), sandbox_.env());
    ASSERT_TRUE(listener.wait_for_output("second", 5s)) << listener.errors();
    EXPECT_EQ(listener.output(), "[racesender] first\n[racesender] second\n");
}

TEST_F(TarnixTest, EachSetupGivesAFreshSessionAndRetiresTheOldOne) {
    std::string first = idle_agent("agent");
    std::string second = idle_agent("agent", first);
    EXPECT_NE(first, second);
    ASSERT_EQ(send("agent", "for the new session").exit_code, 0);
    auto old = hook_check(first, std::nullopt);
    EXPECT_EQ(old.out, "");
    EXPECT_NE(old.err.find("unknown session"), std::string::npos);
    EXPECT_EQ(hook_check(second, std::nullopt).out, "[racesender] for the new session\n");
}

TEST_F(TarnixTest, ListenerWithoutSetupReusesTheRecordedSession) {
    std::string session = idle_agent("agent");
    ASSERT_EQ(send("agent", "queued").exit_code, 0);
    Listener listener({"poll", "agent", "listen"}, sandbox_.env());
    EXPECT_TRUE(listener.wait_for_output("[racesender] queued\n", 5s)) << listener.errors();
    EXPECT_EQ(sandbox_.wait_for_session("agent", 0ms), session);
}

TEST_F(TarnixTest, HookCheckFindsTheSessionInEitherPlace) {
    std::string session = idle_agent("agent");
    const std::string other = "0123456789abcdef0123456789abcdef";
    struct Case {
        const char* name;
        std::optional<std::string> env;
        std::optional<std::string> input;
        const char* note;
    };
    const Case cases[] = {
        {"both", session, session_payload(session), ""},
        {"env", session, std::nullopt, ""},
        {"stdin", std::nullopt, session_payload(session), ""},
        {"stdin wins", other, session_payload(session), "different sessions"},
    };
    for (const auto& c : cases) {
        std::string body = std::string("via ") + c.name;
        ASSERT_EQ(send("agent", body).exit_code, 0);
        auto r = hook_check(c.env, c.input);
        EXPECT_EQ(r.exit_code, 0) << c.name;
        EXPECT_EQ(r.out, "[racesender] " + body + "\n") << c.name << ": " << r.err;
        if (*c.note == '\0')
            EXPECT_EQ(r.err, "") << c.name;
        else
            EXPECT_NE(r.err.find(c.note), std::string::npos) << c.name << ": " << r.err;
    }
    EXPECT_EQ(hook_check(session, std::nullopt).out, "") << "each message is delivered once";
}

TEST_F(TarnixTest, BodyLosesOnlyOneTrailingLineFeed) {
    struct Case {
        std::string input;
        std::string line;
    };
    const Case cases[] = {
        {"plain\n", "[s] plain\n"},
        {"no line feed", "[s] no line feed\n"},
        {"two\n\n", "[s] two\\n\n"},
        {"a\nb\n", "[s] a\\nb\n"},
        {"dos\r\n", "[s] dos\\r\n"},
        {"\n", "[s] \n"},
        {"", "[s] \n"},
    };
    std::string session = idle_agent("agent");
    std::string expected;
    for (const auto& c : cases) {
        ASSERT_EQ(run_tarnix({"send", "agent", "s"}, sandbox_.env(), c.input).exit_code, 0);
        expected += c.line;
    }
    EXPECT_EQ(hook_check(session, std::nullopt).out, expected);
}

TEST_F(TarnixTest, RaceSequenceDeliversExactlyOnce) {
    Listener listener(listen_args("dual_path_trial_1_2"), sandbox_.env());
    auto session = sandbox_.wait_for_session("dual_path_trial_1_2", 5s);
    ASSERT_TRUE(session.has_value());
    const std::string token = "RACE_TOKEN_body_1_2";
    ASSERT_EQ(send("dual_path_trial_1_2", token).exit_code, 0);
    std::this_thread::sleep_for(50ms);
    auto hook = hook_check(*session, session_payload(*session));
    EXPECT_EQ(hook.exit_code, 0);
    if (hook.out.find(token) == std::string::npos) listener.wait_for_output(token, 2s);
    EXPECT_EQ(stop("dual_path_trial_1_2").exit_code, 0);
    EXPECT_EQ(listener.wait_exit(5s), 0);
    EXPECT_EQ(count_occurrences(listener.output(), token) + count_occurrences(hook.out, token), 1u)
        << "stream: " << listener.output() << "hook: " << hook.out;
}

TEST_F(TarnixTest, HelpAndUsageErrors) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* in_stdout;
        const char* in_stderr;
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: tarnix <command>", ""},
        {{"poll", "--help"}, 0, "Usage: tarnix poll", ""},
        {{"poll", "a", "listen", "--help"}, 0, "--pulse-interval", ""},
        {{"send", "--help"}, 0, "Usage: tarnix send", ""},
        {{"hook-check", "--help"}, 0, "Usage: tarnix hook-check", ""},
        {{"stop", "--help"}, 0, "Usage: tarnix stop", ""},
        {{}, 2, "", "no command"},
        {{"frobnicate"}, 2, "", "unknown command 'frobnicate'"},
        {{"--verbose"}, 2, "", "unknown command"},
        {{"poll", "a", "listen", "--bogus"}, 2, "", "unknown option '--bogus'"},
        {{"poll", "a", "watch"}, 2, "", "unknown poll mode"},
        {{"poll", "a"}, 2, "", "expected: poll <agent> listen"},
        {{"poll", "a", "listen", "--pulse-interval"}, 2, "", "needs a value"},
        {{"poll", "a", "listen", "--pulse-interval", "0"}, 2, "", "from 1 to"},
        {{"poll", "a", "listen", "--pulse-interval", "10ms"}, 2, "", "from 1 to"},
        {{"send", "a"}, 2, "", "expected: send <agent> <sender>"},
        {{"send", "a", "b", "c"}, 2, "", "expected: send"},
        {{"send", "a", "b", "-x"}, 2, "", "unknown option '-x'"},
        {{"hook-check", "extra"}, 2, "", "takes no arguments"},
        {{"hook-check", "--session", "x"}, 2, "", "unknown option"},
        {{"stop"}, 2, "", "expected: stop <agent>"},
    };
    for (const auto& c : cases) {
        std::string what = c.args.empty() ? "(none)" : c.args[0] + " ...";
        auto r = run_tarnix(c.args, sandbox_.env(), "");
        EXPECT_EQ(r.exit_code, c.status) << what << r.err;
        EXPECT_NE(r.out.find(c.in_stdout), std::string::npos) << what << ": " << r.out;
        EXPECT_NE(r.err.find(c.in_stderr), std::string::npos) << what << ": " << r.err;
        if (c.status == 2) {
            EXPECT_EQ(r.out, "") << what;
        }
    }
    EXPECT_FALSE(fs::exists(sandbox_.qdx())) << "a usage error must not touch the store";
}

// --- Bad input ---

TEST_F(TarnixTest, HookCheckSurvivesBadSessionInputAndLosesNothing) {
    std::string session = idle_agent("agent");
    ASSERT_EQ(send("agent", "precious").exit_code, 0);
    struct Case {
        std::optional<std::string> env;
        std::optional<std::string> input;
        const char* complaint;
    };
    const Case cases[] = {
        {std::nullopt, "garbage", "not valid JSON"},
        {std::nullopt, "{\"session_id\":", "not valid JSON"},
        {std::nullopt, "[1,2]", "not a JSON object"},
        {std::nullopt, R"({"session_id":5})", "no string member session_id"},
        {std::nullopt, R"({"other":"x"})", "no string member session_id"},
        {std::nullopt, R"({"session_id":"../../agent"})", "malformed session id"},
        {std::nullopt, R"({"session_id":""})", "malformed session id"},
        {std::nullopt, session_payload("0123456789abcdef0123456789abcdef"), "unknown session"},
        {"not/a/session", std::nullopt, "malformed session id"},
        {"deadbeef", std::nullopt, "unknown session"},
        {std::nullopt, std::nullopt, "no session"},
        {std::nullopt, std::string(2 << 20, ' '), "larger than"},
    };
    for (const auto& c : cases) {
        auto r = hook_check(c.env, c.input);
        EXPECT_EQ(r.exit_code, 0) << c.complaint;
        EXPECT_EQ(r.out, "") << c.complaint;
        EXPECT_NE(r.err.find(c.complaint), std::string::npos) << r.err;
    }
    EXPECT_EQ(hook_check(session, std::nullopt).out, "[racesender] precious\n");
}

TEST_F(TarnixTest, HookCheckFallsBackToTheEnvironmentWhenStdinIsUnusable) {
    std::string session = idle_agent("agent");
    ASSERT_EQ(send("agent", "still delivered").exit_code, 0);
    auto r = hook_check(session, "garbage");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "[racesender] still delivered\n");
    EXPECT_NE(r.err.find("not valid JSON"), std::string::npos);
}

TEST_F(TarnixTest, HookCheckWithoutAnyStateExitsZero) {
    auto r = hook_check("deadbeef", session_payload("deadbeef"));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("unknown session"), std::string::npos);
    Env no_home{{}, {"HOME", "QDX_HOME", "TARNIX_SESSION_ID"}};
    auto homeless = run_tarnix({"hook-check"}, no_home, session_payload("deadbeef"));
    EXPECT_EQ(homeless.exit_code, 0);
    EXPECT_NE(homeless.err.find("QDX_HOME"), std::string::npos) << homeless.err;
}

TEST_F(TarnixTest, StopWithoutAListenerFails) {
    auto never = stop("never-started");
    EXPECT_EQ(never.exit_code, 1);
    EXPECT_NE(never.err.find("'never-started' has no listener"), std::string::npos) << never.err;
    idle_agent("agent");
    EXPECT_EQ(stop("agent").exit_code, 1);
    // A stop that found nobody leaves no request behind for the next listener.
    Listener listener(listen_args("agent"), sandbox_.env());
    ASSERT_TRUE(sandbox_.wait_for_session("agent", 5s));
    EXPECT_EQ(listener.wait_exit(200ms), std::nullopt);
}

TEST_F(TarnixTest, AgentNamesThatWouldEscapeTheStoreAreRefused) {
    const std::string names[] = {"../escape",      "a/b",      "..",      ".",
                                 "x/../../escape", "..escape", ".hidden", ""};
    for (const auto& name : names) {
        std::vector<std::vector<std::string>> calls = {
            {"send", name, "s"}, {"stop", name}, {"poll", name, "listen", "--setup"}};
        for (const auto& args : calls) {
            auto r = run_tarnix(args, sandbox_.env(), "body\n");
            EXPECT_EQ(r.exit_code, 2) << args[0] << " '" << name << "'";
            EXPECT_NE(r.err.find("agent name"), std::string::npos) << r.err;
        }
    }
    EXPECT_FALSE(fs::exists(sandbox_.qdx()));
    EXPECT_FALSE(fs::exists(sandbox_.home() / "escape"));
}

TEST_F(TarnixTest, SecondListenerForTheSameAgentIsRefused) {
    Listener first(listen_args("agent"), sandbox_.env());
    auto session = sandbox_.wait_for_session("agent", 5s);
    ASSERT_TRUE(session.has_value());
    Listener second(listen_args("agent"), sandbox_.env());
    EXPECT_EQ(second.wait_exit(5s), 1);
    EXPECT_NE(second.errors().find("already has a listener"), std::string::npos);
    EXPECT_EQ(sandbox_.wait_for_session("agent", 0ms), session) << "the session was kept";
    ASSERT_EQ(send("agent", "to the first").exit_code, 0);
    EXPECT_TRUE(first.wait_for_output("to the first", 5s));
}

TEST_F(TarnixTest, ListenerWhoseOutputIsGoneReturnsTheMessage) {
    std::string session = idle_agent("agent");
    Listener listener({"poll", "agent", "listen"}, sandbox_.env(), /*close_output=*/true);
    ASSERT_EQ(send("agent", "not lost").exit_code, 0);
    EXPECT_EQ(listener.wait_exit(5s), 1);
    EXPECT_NE(listener.errors().find("went back to the inbox"), std::string::npos)
        << listener.errors();
    EXPECT_EQ(hook_check(session, std::nullopt).out, "[racesender] not lost\n");
}

TEST_F(TarnixTest, ListenerEndsWhenItsStateIsRemoved) {
    Listener listener(listen_args("agent"), sandbox_.env());
    ASSERT_TRUE(sandbox_.wait_for_session("agent", 5s));
    fs::remove_all(sandbox_.qdx());
    EXPECT_EQ(listener.wait_exit(5s), 1);
}

TEST_F(TarnixTest, ListenerWithoutStateNeedsSetup) {
    Listener listener({"poll", "agent", "listen"}, sandbox_.env());
    EXPECT_EQ(listener.wait_exit(5s), 1);
    EXPECT_NE(listener.errors().find("--setup"), std::string::npos);
}

}  // namespace
