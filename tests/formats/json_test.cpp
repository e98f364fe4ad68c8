#include "report/json.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "platform/utf8.hpp"
#include "synthetic_run.hpp"

namespace dpt {
namespace {

using namespace dpt::testing;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(JsonReporter, PassingRunOfTheOneTest) {
    const auto [text, succeeded] =
        run_report(Format::json, {}, {passed("stream_and_hook_check_deliver_exactly_once")});
    EXPECT_TRUE(succeeded);
    EXPECT_EQ(text,
              "{ \"type\": \"suite\", \"event\": \"started\", \"test_count\": 1 }\n"
              "{ \"type\": \"test\", \"event\": \"started\", \"name\": "
              "\"stream_and_hook_check_deliver_exactly_once\" }\n"
              "{ \"type\": \"test\", \"name\": \"stream_and_hook_check_deliver_exactly_once\", "
              "\"event\": \"ok\" }\n"
              "{ \"type\": \"suite\", \"event\": \"ok\", \"passed\": 1, \"failed\": 0, "
              "\"ignored\": 0, \"measured\": 0, \"filtered_out\": 0, \"exec_time\": 0.5 }\n");
}

TEST(JsonReporter, FailingRunWithEveryOutcomeTimesAndSeed) {
    ReportSettings settings;
    settings.time_limits = TimeLimits{};
    RunShape shape;
    shape.shuffle_seed = 42;
    shape.filtered_out = 2;
    shape.elapsed = Seconds(1.25);
    const auto [text, succeeded] = run_report(Format::json, settings,
                                              {
                                                  passed("a_pass", "noise\n"),
                                                  failed("b_fail", "line one\nline two\n"),
                                                  failed_with_text("c_text", "status 3"),
                                                  failed_time_limit("d_slow"),
                                                  ignored("e_ign", "not today"),
                                                  ignored("f_ign"),
                                              },
                                              shape);
    EXPECT_FALSE(succeeded);
    // A passing test's output stays out without show output; an ignored test has no time.
    EXPECT_EQ(text,
              R"({ "type": "suite", "event": "started", "test_count": 6, "shuffle_seed": 42 }
{ "type": "test", "event": "started", "name": "a_pass" }
{ "type": "test", "name": "a_pass", "event": "ok", "exec_time": 0.25 }
{ "type": "test", "event": "started", "name": "b_fail" }
{ "type": "test", "name": "b_fail", "event": "failed", "exec_time": 0.25, "stdout": "line one\nline two\n" }
{ "type": "test", "event": "started", "name": "c_text" }
{ "type": "test", "name": "c_text", "event": "failed", "exec_time": 0.25, "stdout": "note: status 3\n", "message": "status 3" }
{ "type": "test", "event": "started", "name": "d_slow" }
{ "type": "test", "name": "d_slow", "event": "failed", "exec_time": 1.5, "reason": "time limit exceeded" }
{ "type": "test", "event": "started", "name": "e_ign" }
{ "type": "test", "name": "e_ign", "event": "ignored", "message": "not today" }
{ "type": "test", "event": "started", "name": "f_ign" }
{ "type": "test", "name": "f_ign", "event": "ignored" }
{ "type": "suite", "event": "failed", "passed": 1, "failed": 3, "ignored": 2, "measured": 0, "filtered_out": 2, "exec_time": 1.25 }
)");
}

TEST(JsonReporter, ShowOutputAddsAPassingTestsOutputAndTinyTimesStayDecimal) {
    ReportSettings settings;
    settings.show_output = true;
    settings.time_limits = TimeLimits{};
    SyntheticTest fast = passed("fast", "said \"hi\"\n");
    fast.seconds = 1e-7;
    RunShape shape;
    shape.elapsed.reset();
    const auto lines = lines_of(run_report(Format::json, settings, {fast}, shape).first);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(
        lines[2],
        R"({ "type": "test", "name": "fast", "event": "ok", "exec_time": 0.0000001, "stdout": "said \"hi\"\n" })");
    // Without a known elapsed time the finish has no exec_time.
    EXPECT_EQ(
        lines[3],
        R"({ "type": "suite", "event": "ok", "passed": 1, "failed": 0, "ignored": 0, "measured": 0, "filtered_out": 0 })");
}

TEST(JsonReporter, SlowTestWarning) {
    std::string text;
    ReportOutput out(&text, false);
    const ReportSettings settings;
    JsonReporter reporter(out, settings);
    reporter.slow_test(descriptor("long\"one"));
    EXPECT_EQ(text, "{ \"type\": \"test\", \"event\": \"timeout\", \"name\": \"long\\\"one\" }\n");
}

TEST(JsonReporter, ListingNamesPositionsAndCounts) {
    TestDescriptor one = descriptor("stream_and_hook_check_deliver_exactly_once");
    one.source_path = "tests\\dual_path_trial";
    one.start_line = 117;
    one.start_col = 4;
    one.end_line = 117;
    one.end_col = 46;
    TestDescriptor later = descriptor("later", TestKind::unit);
    later.ignore = true;
    later.ignore_message = "needs \"net\"";
    later.source_path = "src/x.cpp";
    later.start_line = 3;
    later.start_col = 1;
    later.end_line = 3;
    later.end_col = 43;
    EXPECT_EQ(list_report(Format::json, {one, later}),
              R"({ "type": "suite", "event": "discovery" }
{ "type": "test", "event": "discovered", "name": "stream_and_hook_check_deliver_exactly_once", "ignore": false, "ignore_message": "", "source_path": "tests\\dual_path_trial", "start_line": 117, "start_col": 4, "end_line": 117, "end_col": 46 }
{ "type": "test", "event": "discovered", "name": "later", "ignore": true, "ignore_message": "needs \"net\"", "source_path": "src/x.cpp", "start_line": 3, "start_col": 1, "end_line": 3, "end_col": 43 }
{ "type": "suite", "event": "completed", "tests": 2, "benchmarks": 0, "total": 2, "ignored": 1 }
)");
    EXPECT_EQ(list_report(Format::json, {}),
              "{ \"type\": \"suite\", \"event\": \"discovery\" }\n"
              "{ \"type\": \"suite\", \"event\": \"completed\", \"tests\": 0, \"benchmarks\": 0, "
              "\"total\": 0, \"ignored\": 0 }\n");
}

// Every line must stand alone for a strict parser and give back the texts (decoded).
TEST(JsonReporter, HostileNamesAndOutputReadBackThroughAStrictParser) {
    ReportSettings settings;
    settings.show_output = true;
    const auto tests = hostile_run();
    const auto [text, succeeded] = run_report(Format::json, settings, tests);
    EXPECT_FALSE(succeeded);
    const auto lines = lines_of(text);
    ASSERT_EQ(lines.size(), 2 + 2 * tests.size());
    std::vector<nlohmann::json> results;
    for (const auto& line : lines) {
        nlohmann::json event;
        ASSERT_NO_THROW(event = nlohmann::json::parse(line)) << line;
        if (event.contains("name") && event["event"] != "started") results.push_back(event);
    }
    ASSERT_EQ(results.size(), tests.size());
    for (std::size_t i = 0; i < tests.size(); ++i) {
        const auto& t = tests[i];
        EXPECT_EQ(results[i]["name"], decode_utf8_lossy(t.test.name));
        if (!t.captured.empty()) {
            EXPECT_EQ(results[i]["stdout"], decode_utf8_lossy(t.captured));
        }
        if (t.outcome.message) {
            EXPECT_EQ(results[i]["message"], decode_utf8_lossy(*t.outcome.message));
        }
    }
    // The escape of a colour sequence, spelled out once.
    EXPECT_NE(text.find(R"("name": "esc\u001b[31mred\u001b[0m")"), std::string::npos);
}

}  // namespace
}  // namespace dpt
