#include "race/stream_reader.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct Pipe {
    dpt::UniqueFd read_end;
    dpt::UniqueFd write_end;
};

Pipe make_pipe() {
    int fds[2];
    EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    return {dpt::UniqueFd(fds[0]), dpt::UniqueFd(fds[1])};
}

// Writes what the reader takes; once it has stopped, the rest fails with EPIPE.
void write_bytes(int fd, const std::string& bytes) {
    ::signal(SIGPIPE, SIG_IGN);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// Feeds `pieces` to a reader with a pause after each, so each piece tends to arrive in a
// read of its own, then closes the stream and returns what was collected.
std::string collect(const std::vector<std::string>& pieces) {
    Pipe pipe = make_pipe();
    auto buffer = std::make_shared<dpt::StreamBuffer>();
    std::thread reader(dpt::stream_reader, std::move(pipe.read_end), buffer);
    for (const auto& piece : pieces) {
        write_bytes(pipe.write_end.get(), piece);
        std::this_thread::sleep_for(5ms);
    }
    pipe.write_end.reset();
    reader.join();
    return buffer->snapshot();
}

struct Case {
    const char* name;
    std::vector<std::string> pieces;
    std::string expected;
};

TEST(StreamReader, CollectsWholeLines) {
    const std::string long_line(200 * 1024, 'L');
    const Case cases[] = {
        {"nothing", {}, ""},
        {"lf lines", {"a\nb\n"}, "a\nb\n"},
        {"crlf lines", {"a\r\nb\n"}, "a\nb\n"},
        {"only the cr before the lf goes", {"a\r\r\n"}, "a\r\n"},
        {"cr inside a line stays", {"a\rb\n"}, "a\rb\n"},
        {"empty line", {"\n"}, "\n"},
        {"last line without lf", {"a\nb"}, "a\nb\n"},
        {"last line without lf keeps its cr", {"a\r"}, "a\r\n"},
        {"line split across reads", {"ab", "c", "\n"}, "abc\n"},
        {"crlf split across reads", {"a\r", "\nb\n"}, "a\nb\n"},
        {"character split across reads", {"\xe2\x82", "\xac\n"}, "\xe2\x82\xac\n"},
        {"invalid line ends the stream", {"x\n\xff\nTOKEN\n"}, "x\n"},
        {"invalid line in a later read", {"x\n", "bad \xc3\x28\n", "TOKEN\n"}, "x\n"},
        {"invalid last line without lf", {"ok\n\xff"}, "ok\n"},
        {"line longer than a read", {long_line + "\n", "end\n"}, long_line + "\nend\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(collect(c.pieces), c.expected) << c.name;
}

TEST(StreamReader, HalfWrittenLineIsNotCollectedUntilItsLineFeed) {
    Pipe pipe = make_pipe();
    auto buffer = std::make_shared<dpt::StreamBuffer>();
    std::thread reader(dpt::stream_reader, std::move(pipe.read_end), buffer);
    write_bytes(pipe.write_end.get(), "first\nhalf");
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (buffer->snapshot().empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(buffer->snapshot(), "first\n");
    write_bytes(pipe.write_end.get(), " line\n");
    pipe.write_end.reset();
    reader.join();
    EXPECT_EQ(buffer->snapshot(), "first\nhalf line\n");
}

TEST(StreamReader, StopsOnAReadErrorKeepingWhatItHas) {
    Pipe pipe = make_pipe();
    auto buffer = std::make_shared<dpt::StreamBuffer>();
    buffer->append_line("kept");
    // A write end cannot be read: the first read fails.
    dpt::stream_reader(std::move(pipe.write_end), buffer);
    EXPECT_EQ(buffer->snapshot(), "kept\n");
}

// After an invalid line the reader lets go of the pipe, so the writer sees it gone
// instead of filling it forever.
TEST(StreamReader, ClosesThePipeWhenItStops) {
    Pipe pipe = make_pipe();
    auto buffer = std::make_shared<dpt::StreamBuffer>();
    std::thread reader(dpt::stream_reader, std::move(pipe.read_end), buffer);
    write_bytes(pipe.write_end.get(), "\xff\n");
    reader.join();
    errno = 0;
    EXPECT_EQ(::write(pipe.write_end.get(), "x\n", 2), -1);
    EXPECT_EQ(errno, EPIPE);
    EXPECT_EQ(buffer->snapshot(), "");
}

}  // namespace
