// Many senders, one listener and hook-checks in a loop for the same session, all at once: every
// message must come out exactly once across all their outputs.

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "child_process.hpp"

namespace {

using namespace std::chrono_literals;
using tarnix_test::Env;
using tarnix_test::Listener;
using tarnix_test::run_tarnix;
using tarnix_test::Sandbox;

// Counts every line of `text` into `counts`.
void tally(const std::string& text, std::map<std::string, int>& counts) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) ++counts[line];
}

TEST(TarnixStress, ConcurrentSendersListenerAndHookChecksDeliverEachMessageOnce) {
    constexpr int senders = 6;
    constexpr int per_sender = 50;
    constexpr int hook_loops = 2;
    const std::string agent = "stress_agent";

    Sandbox sandbox;
    Listener listener({"poll", agent, "listen", "--setup", "--pulse-interval", "10"},
                      sandbox.env());
    auto session = sandbox.wait_for_session(agent, 5s);
    ASSERT_TRUE(session.has_value());

    std::atomic<bool> sending{true};
    std::atomic<int> failed_sends{0};
    std::atomic<int> failed_hooks{0};
    std::mutex hook_mutex;
    std::string hook_output;

    auto run_hook = [&] {
        Env env = sandbox.env();
        env.set.emplace_back("TARNIX_SESSION_ID", *session);
        auto r = run_tarnix({"hook-check"}, env, R"({"session_id":")" + *session + R"("})");
        if (r.exit_code != 0 || !r.err.empty()) ++failed_hooks;
        std::lock_guard lock(hook_mutex);
        hook_output += r.out;
    };

    std::vector<std::thread> hooks;
    for (int h = 0; h < hook_loops; ++h)
        hooks.emplace_back([&] {
            while (sending) run_hook();
        });
    std::vector<std::thread> posts;
    for (int s = 0; s < senders; ++s)
        posts.emplace_back([&, s] {
            for (int i = 0; i < per_sender; ++i) {
                std::string body = "msg-" + std::to_string(s) + "-" + std::to_string(i);
                auto r = run_tarnix({"send", agent, "s" + std::to_string(s)}, sandbox.env(),
                                    body + "\n");
                if (r.exit_code != 0) ++failed_sends;
            }
        });
    for (auto& t : posts) t.join();
    sending = false;
    for (auto& t : hooks) t.join();
    run_hook();  // whatever the listener has not taken yet

    std::vector<std::string> expected;
    for (int s = 0; s < senders; ++s)
        for (int i = 0; i < per_sender; ++i)
            expected.push_back("[s" + std::to_string(s) + "] msg-" + std::to_string(s) + "-" +
                               std::to_string(i));
    auto all_seen = [&] {
        std::map<std::string, int> counts;
        tally(listener.output(), counts);
        tally(hook_output, counts);
        for (const auto& line : expected)
            if (counts[line] == 0) return false;
        return true;
    };
    for (auto deadline = std::chrono::steady_clock::now() + 10s;
         !all_seen() && std::chrono::steady_clock::now() < deadline;)
        std::this_thread::sleep_for(10ms);

    auto stopped = run_tarnix({"stop", agent}, sandbox.env(), std::nullopt);
    EXPECT_EQ(stopped.exit_code, 0) << stopped.err;
    EXPECT_EQ(listener.wait_exit(5s), 0);

    EXPECT_EQ(failed_sends, 0);
    EXPECT_EQ(failed_hooks, 0);
    std::map<std::string, int> counts;
    tally(listener.output(), counts);
    tally(hook_output, counts);
    for (const auto& line : expected) EXPECT_EQ(counts[line], 1) << line;
    EXPECT_EQ(counts.size(), expected.size()) << "no line other than the messages";
    EXPECT_EQ(listener.errors(), "");
    // Both paths took part; if one never did, the race was not exercised.
    EXPECT_FALSE(listener.output().empty());
}

}  // namespace
