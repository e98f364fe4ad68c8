#include "store.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

namespace {

namespace fs = std::filesystem;
using tarnix::Message;
using tarnix::Store;

class TempRoot : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tarnix-store-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
};

TEST(AgentName, RefusesNamesThatLeaveTheStore) {
    struct Case {
        std::string name;
        bool ok;
    };
    const Case cases[] = {
        {"dual_path_trial_123_456", true},
        {"agent-1.b", true},
        {"ünïcode", true},
        {"", false},
        {"a/b", false},
        {"/abs", false},
        {"..", false},
        {"../escape", false},
        {"x..y", false},
        {".", false},
        {".sessions", false},
        {"tab\there", false},
        {"nl\n", false},
        {std::string(200, 'a'), true},
        {std::string(201, 'a'), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(!tarnix::agent_name_problem(c.name).has_value(), c.ok) << "name: " << c.name;
}

TEST(AgentName, StoreRefusesABadNameBeforeTouchingTheDisk) {
    Store store("/nonexistent-root/tarnixhold");
    EXPECT_THROW(store.agent_dir("../x"), tarnix::StoreError);
    EXPECT_THROW(store.publish("a/b", Message{"s", "b"}), tarnix::StoreError);
}

TEST(SessionId, AcceptsOnlyFileNameSafeIds) {
    struct Case {
        std::string id;
        bool ok;
    };
    const Case cases[] = {
        {"0123abcdef", true},
        {"A-b_9", true},
        {"", false},
        {"..", false},
        {"a/b", false},
        {"a.b", false},
        {"a b", false},
        {std::string(128, 'x'), true},
        {std::string(129, 'x'), false},
    };
    for (const auto& c : cases) EXPECT_EQ(tarnix::is_valid_session_id(c.id), c.ok) << c.id;
    auto fresh = tarnix::new_session_id();
    EXPECT_EQ(fresh.size(), 32u);
    EXPECT_TRUE(tarnix::is_valid_session_id(fresh));
    EXPECT_NE(fresh, tarnix::new_session_id());
}

TEST(DeliveryLine, EscapesSoThatOneMessageIsOneLine) {
    struct Case {
        Message m;
        std::string line;
    };
    const Case cases[] = {
        {{"racesender", "RACE_TOKEN_body_1_2"}, "[racesender] RACE_TOKEN_body_1_2\n"},
        {{"s", ""}, "[s] \n"},
        {{"s", "two\nlines"}, "[s] two\\nlines\n"},
        {{"s", "crlf\r\n"}, "[s] crlf\\r\\n\n"},
        {{"s", "back\\n"}, "[s] back\\\\n\n"},
        {{"s", "tab\tbell\a del\x7f"}, "[s] tab\tbell\\x07 del\\x7f\n"},
        {{"s", "caf\xc3\xa9 \xff"}, "[s] caf\xc3\xa9 \xff\n"},
        {{"evil]\n[x", "b"}, "[evil]\\n[x] b\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(tarnix::format_delivery(c.m), c.line);
}

TEST(MessageFile, RoundTripsAnyBytes) {
    const Message cases[] = {
        {"", ""},
        {"sender", "body"},
        {"multi\nline", "body\nwith\nlines\n"},
        {"12", std::string("nul\0inside", 10)},
    };
    for (const auto& m : cases) {
        auto back = tarnix::decode_message(tarnix::encode_message(m));
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(back->sender, m.sender);
        EXPECT_EQ(back->body, m.body);
    }
}

TEST(MessageFile, RejectsDamagedData) {
    for (std::string_view bad :
         {"", "\n", "x\nabc", "5\nab", "-1\nab", "3", "99999999999999999999999\n"})
        EXPECT_FALSE(tarnix::decode_message(bad).has_value()) << bad;
}

TEST(StoreFromEnvironment, PrefersQdxHomeThenHome) {
    ::setenv("QDX_HOME", "/q", 1);
    ::setenv("HOME", "/h", 1);
    EXPECT_EQ(Store::from_environment().root(), fs::path("/q/tarnixhold"));
    ::unsetenv("QDX_HOME");
    EXPECT_EQ(Store::from_environment().root(), fs::path("/h/.qdx/tarnixhold"));
    ::unsetenv("HOME");
    EXPECT_THROW(Store::from_environment(), tarnix::StoreError);
}

using StoreTest = TempRoot;

TEST_F(StoreTest, ClaimsInSendOrderAndOnlyOnce) {
    Store store(dir_ / "tarnixhold");
    for (const char* body : {"one", "two", "three"}) store.publish("a", Message{"s", body});
    std::vector<std::string> seen;
    auto r = store.claim_pending("a", [&](const Message& m) {
        seen.push_back(m.body);
        return true;
    });
    EXPECT_EQ(r.delivered, 3);
    EXPECT_EQ(seen, (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(store.claim_pending("a", [](const Message&) { return true; }).delivered, 0);
    EXPECT_TRUE(fs::is_empty(dir_ / "tarnixhold" / "a" / "claimed"));
}

TEST_F(StoreTest, FailedDeliveryPutsTheMessageBack) {
    Store store(dir_ / "tarnixhold");
    store.publish("a", Message{"s", "first"});
    store.publish("a", Message{"s", "second"});
    auto r = store.claim_pending("a", [](const Message&) { return false; });
    EXPECT_TRUE(r.output_failed);
    EXPECT_EQ(r.delivered, 0);
    std::vector<std::string> seen;
    store.claim_pending("a", [&](const Message& m) {
        seen.push_back(m.body);
        return true;
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"first", "second"}));
}

TEST_F(StoreTest, DamagedFileIsSetAsideAndTheRestDelivered) {
    Store store(dir_ / "tarnixhold");
    store.publish("a", Message{"s", "good"});
    std::ofstream(dir_ / "tarnixhold" / "a" / "inbox" / "0-damaged") << "not a message";
    std::vector<std::string> seen;
    auto r = store.claim_pending("a", [&](const Message& m) {
        seen.push_back(m.body);
        return true;
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"good"}));
    ASSERT_EQ(r.damaged.size(), 1u);
    EXPECT_TRUE(fs::exists(r.damaged[0]));
}

TEST_F(StoreTest, MissingInboxIsAnError) {
    Store store(dir_ / "tarnixhold");
    EXPECT_THROW(store.claim_pending("never", [](const Message&) { return true; }),
                 tarnix::StoreError);
}

TEST_F(StoreTest, SessionsMapToTheirAgent) {
    Store store(dir_ / "tarnixhold");
    store.bind_session("s1", "agent");
    EXPECT_EQ(store.agent_of_session("s1"), "agent");
    EXPECT_EQ(store.agent_of_session("s2"), std::nullopt);
    EXPECT_EQ(store.agent_of_session("../agent"), std::nullopt);
    store.unbind_session("s1");
    EXPECT_EQ(store.agent_of_session("s1"), std::nullopt);
    EXPECT_THROW(store.bind_session("bad/id", "agent"), tarnix::StoreError);
    EXPECT_THROW(store.bind_session("ok", "../agent"), tarnix::StoreError);
}

TEST_F(StoreTest, RecordedSessionReadsInfoJson) {
    Store store(dir_ / "tarnixhold");
    EXPECT_EQ(store.recorded_session("a"), std::nullopt);
    store.write_info("a", R"({"session_id":"abc","pid":1})");
    EXPECT_EQ(store.recorded_session("a"), "abc");
    store.write_info("a", R"({"session_id":5})");
    EXPECT_EQ(store.recorded_session("a"), std::nullopt);
    store.write_info("a", "not json");
    EXPECT_EQ(store.recorded_session("a"), std::nullopt);
}

TEST_F(StoreTest, ConcurrentClaimersDeliverEachMessageOnce) {
    Store store(dir_ / "tarnixhold");
    constexpr int messages = 300;
    std::atomic<bool> publishing{true};
    std::mutex mutex;
    std::map<std::string, int> counts;
    auto claimer = [&] {
        auto deliver = [&](const Message& m) {
            std::lock_guard lock(mutex);
            ++counts[m.body];
            return true;
        };
        while (publishing) store.claim_pending("a", deliver);
        store.claim_pending("a", deliver);
    };
    store.ensure_agent("a");
    std::thread c1(claimer), c2(claimer), c3(claimer);
    for (int i = 0; i < messages; ++i) store.publish("a", Message{"s", "m" + std::to_string(i)});
    publishing = false;
    c1.join();
    c2.join();
    c3.join();
    store.claim_pending("a", [&](const Message& m) {
        ++counts[m.body];
        return true;
    });
    EXPECT_EQ(counts.size(), static_cast<std::size_t>(messages));
    for (const auto& [body, n] : counts) EXPECT_EQ(n, 1) << body;
}

}  // namespace
