#include "race/stream_buffer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

TEST(StreamBuffer, AppendsEachLineWithOneLineFeed) {
    dpt::StreamBuffer buffer;
    EXPECT_EQ(buffer.snapshot(), "");
    buffer.append_line("a");
    buffer.append_line("");
    buffer.append_line("b c");
    EXPECT_EQ(buffer.snapshot(), "a\n\nb c\n");
}

// A snapshot taken while lines are being appended holds whole lines only.
TEST(StreamBuffer, SnapshotsHoldWholeLinesWhileAppending) {
    dpt::StreamBuffer buffer;
    const std::string line(1000, 'x');
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) buffer.append_line(line);
    });
    for (int i = 0; i < 200; ++i) {
        const std::string text = buffer.snapshot();
        ASSERT_EQ(text.size() % (line.size() + 1), 0u);
        if (!text.empty()) {
            ASSERT_EQ(text.back(), '\n');
        }
    }
    writer.join();
    EXPECT_EQ(buffer.snapshot().size(), 2000 * (line.size() + 1));
}

}  // namespace
