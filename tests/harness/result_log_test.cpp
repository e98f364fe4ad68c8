#include "report/result_log.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace dpt {
namespace {

TEST(ResultLogLine, OneLinePerOutcome) {
    TestDescriptor test;
    test.name = "t";
    const struct {
        OutcomeKind kind;
        std::optional<std::string> message;
        bool show_time;
        const char* line;
    } cases[] = {
        {OutcomeKind::passed, {}, false, "ok t\n"},
        {OutcomeKind::passed, {}, true, "ok t <1.250s>\n"},
        {OutcomeKind::failed, {}, false, "failed t\n"},
        {OutcomeKind::failed_with_text, "code 3", false, "failed: code 3 t\n"},
        {OutcomeKind::failed_time_limit, {}, true, "failed (time limit exceeded) t <1.250s>\n"},
        {OutcomeKind::ignored, {}, false, "ignored t\n"},
        {OutcomeKind::ignored, "later", false, "ignored: later t\n"},
    };
    for (const auto& c : cases) {
        TestResult result;
        result.test = &test;
        result.outcome = {c.kind, c.message};
        result.exec_time = Seconds(1.25);
        EXPECT_EQ(result_log_line(result, c.show_time), c.line);
    }
}

TEST(ResultLog, EmptiesTheFileAndAppendsLines) {
    char path[] = "/tmp/dpt_result_log_XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "stale\n", 6), 6);
    ::close(fd);
    {
        auto log = ResultLog::create(path);
        ASSERT_TRUE(log.ok());
        TestDescriptor test;
        test.name = "a";
        TestResult result;
        result.test = &test;
        EXPECT_FALSE(log.value().record(result, false));
        EXPECT_FALSE(log.value().record(result, false));
    }
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    ::unlink(path);
    EXPECT_EQ(text.str(), "ok a\nok a\n");
}

TEST(ResultLog, CreateReportsTheSystemError) {
    auto log = ResultLog::create("/nonexistent-dir/log");
    ASSERT_FALSE(log.ok());
    EXPECT_EQ(log.error().value(), ENOENT);
}

}  // namespace
}  // namespace dpt
