#include "race/driver.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::chrono::milliseconds settle(const dpt::StreamBuffer& buffer, const char* hook_stdout) {
    const auto start = Clock::now();
    dpt::wait_for_delivery(buffer, hook_stdout, "TOK");
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

TEST(WaitForDelivery, EndsAtOnceWhenTheHookOutputHoldsTheToken) {
    dpt::StreamBuffer buffer;
    EXPECT_LT(settle(buffer, "delivered TOK\n"), 100ms);
}

TEST(WaitForDelivery, EndsAtThePollThatSeesTheTokenOnTheStream) {
    dpt::StreamBuffer buffer;
    std::thread listener([&] {
        std::this_thread::sleep_for(300ms);
        buffer.append_line("x TOK y");
    });
    const auto waited = settle(buffer, "");
    listener.join();
    EXPECT_GE(waited, 300ms);
    EXPECT_LT(waited, 1500ms);
}

TEST(WaitForDelivery, GivesUpAfterTheDeadlineWithoutFailing) {
    dpt::StreamBuffer buffer;
    buffer.append_line("TO");
    buffer.append_line("K");
    const auto waited = settle(buffer, "tok");
    EXPECT_GE(waited, 1900ms);
    EXPECT_LT(waited, 3000ms);
}

}  // namespace
