#include "report/output.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace dpt {
namespace {

TEST(ReportOutput, ColourOnlyWhenOn) {
    std::string plain, colored;
    ReportOutput p(&plain, false), c(&colored, true);
    for (ReportOutput* out : {&p, &c}) {
        out->write("a ");
        out->write_colored("ok", Color::green);
        out->write_colored("bad", Color::red);
        out->write_colored("skip", Color::yellow);
    }
    EXPECT_EQ(plain, "a okbadskip");
    EXPECT_EQ(colored, "a \x1b[32mok\x1b[0m\x1b[31mbad\x1b[0m\x1b[33mskip\x1b[0m");
}

TEST(ReportOutput, WritesToTheDescriptorAtOnce) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ReportOutput out(fds[1], false);
    out.write("piece");
    char buf[16] = {};
    EXPECT_EQ(::read(fds[0], buf, sizeof buf), 5);
    EXPECT_STREQ(buf, "piece");
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(ReportOutput, FailedWriteThrowsItsError) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    ReportOutput out(fds[1], false);
    ::signal(SIGPIPE, SIG_IGN);
    try {
        out.write("lost");
        ADD_FAILURE() << "no error";
    } catch (const OutputError& failed) {
        EXPECT_EQ(failed.error.value(), EPIPE);
    }
    ::close(fds[1]);
}

}  // namespace
}  // namespace dpt
