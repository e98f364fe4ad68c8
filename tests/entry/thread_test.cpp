#include "entry/thread.hpp"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "entry/capture.hpp"
#include "entry/checks.hpp"
#include "entry/console.hpp"
#include "entry/thread_name.hpp"

namespace dpt {
namespace {

// Installs a fresh captured output on the test's thread for the test's duration.
class ThreadTest : public ::testing::Test {
  protected:
    void SetUp() override { previous_ = install_capture(capture_); }
    void TearDown() override { install_capture(std::move(previous_)); }

    std::shared_ptr<CapturedOutput> capture_ = std::make_shared<CapturedOutput>();
    std::shared_ptr<CapturedOutput> previous_;
};

TEST_F(ThreadTest, NamesTheThreadForReportsAndTheSystem) {
    const std::string name = "stream_and_hook_check_deliver_exactly_once";
    std::string report_name, os_name;
    auto thread = start_thread(name, [&] {
        report_name = report_thread_name();
        char buf[64] = {};
        pthread_getname_np(pthread_self(), buf, sizeof buf);
        os_name = buf;
    });
    ASSERT_TRUE(thread.ok());
    EXPECT_TRUE(thread.value().join());
    EXPECT_EQ(report_name, name);
    EXPECT_EQ(os_name, name.substr(0, 15));

    auto unnamed = start_thread("", [&] { report_name = report_thread_name(); });
    ASSERT_TRUE(unnamed.ok());
    unnamed.value().join();
    EXPECT_EQ(report_name, "<unnamed>");
}

TEST_F(ThreadTest, InheritsTheCaptureDownTheLineOfThreads) {
    auto outer = start_thread("outer", [] {
        print_out("outer;");
        auto inner = start_thread("inner", [] { print_err("inner;"); });
        if (inner.ok()) inner.value().join();
    });
    ASSERT_TRUE(outer.ok());
    outer.value().join();
    EXPECT_EQ(capture_->copy(), "outer;inner;");
}

TEST_F(ThreadTest, StopsAFailureAtItsBoundaryAndJoinTellsIt) {
    auto failing = start_thread("reader", [] { require_equal(1, 2, "mismatch"); });
    auto passing = start_thread("quiet", [] {});
    ASSERT_TRUE(failing.ok());
    ASSERT_TRUE(passing.ok());
    EXPECT_FALSE(failing.value().join());
    EXPECT_TRUE(passing.value().join());
    EXPECT_FALSE(passing.value().joinable());
    EXPECT_NE(capture_->copy().find("\nthread 'reader' ("), std::string::npos) << capture_->copy();
}

TEST_F(ThreadTest, GetsTheStackSizeItAsksFor) {
    std::size_t size = 0;
    auto thread = start_thread(
        "stack",
        [&] {
            pthread_attr_t attr;
            pthread_getattr_np(pthread_self(), &attr);
            pthread_attr_getstacksize(&attr, &size);
            pthread_attr_destroy(&attr);
        },
        2 * 1024 * 1024);
    ASSERT_TRUE(thread.ok());
    thread.value().join();
    EXPECT_GE(size, 2u * 1024 * 1024);
}

TEST_F(ThreadTest, AnUnjoinedThreadRunsOnAfterItsHandleIsGone) {
    std::atomic<bool> go{false};
    auto done = std::make_shared<std::atomic<bool>>(false);
    {
        auto thread = start_thread("detached", [&go, done] {
            while (!go.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            done->store(true);
        });
        ASSERT_TRUE(thread.ok());
    }
    go.store(true);
    for (int i = 0; i < 5000 && !done->load(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(done->load());
}

}  // namespace
}  // namespace dpt
