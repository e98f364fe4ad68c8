#include "report/sections.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace dpt {
namespace {

TestDescriptor make_test(std::string name) {
    TestDescriptor test;
    test.name = std::move(name);
    return test;
}

TestResult result_of(const TestDescriptor& test, std::string captured) {
    TestResult result;
    result.test = &test;
    result.outcome.kind = OutcomeKind::failed;
    result.captured = std::move(captured);
    return result;
}

std::string summary_text(const RunSummary& summary) {
    std::string text;
    ReportOutput out(&text, false);
    write_summary(out, summary);
    return text;
}

TEST(Summary, RoundsTheElapsedTimeToTwoDecimals) {
    const struct {
        double seconds;
        const char* shown;
    } cases[] = {
        {0.004, "0.00s"}, {1.005, "1.00s"}, {75, "75.00s"}, {0.005001, "0.01s"}, {59.999, "60.00s"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        RunSummary summary;
        summary.elapsed = Seconds(c.seconds);
        EXPECT_EQ(summary_text(summary),
                  std::string("\ntest result: ok. 0 passed; 0 failed; 0 ignored; 0 measured; 0 "
                              "filtered out; finished in ") +
                      c.shown + "\n\n");
    }
}

TEST(Summary, CountsAndColouredVerdict) {
    RunSummary summary;
    summary.passed = 3;
    summary.failed = 1;
    summary.ignored = 2;
    summary.filtered_out = 4;
    summary.elapsed = Seconds(1.5);
    std::string text;
    ReportOutput out(&text, true);
    write_summary(out, summary);
    EXPECT_EQ(text,
              "\ntest result: \x1b[31mFAILED\x1b[0m. 3 passed; 1 failed; 2 ignored; 0 measured; "
              "4 filtered out; finished in 1.50s\n\n");
}

TEST(OutputsSection, BlocksInFinishingOrderNamesSorted) {
    const TestDescriptor zeta = make_test("zeta"), alpha = make_test("alpha"),
                         quiet = make_test("quiet");
    std::string text;
    ReportOutput out(&text, false);
    write_outputs_section(
        out, "failures", {result_of(zeta, "z out"), result_of(quiet, ""), result_of(alpha, "a\n")});
    EXPECT_EQ(text,
              "\nfailures:\n\n"
              "---- zeta stdout ----\nz out\n"
              "---- alpha stdout ----\na\n\n"
              "\nfailures:\n    alpha\n    quiet\n    zeta\n");
}

TEST(OutputsSection, WithoutOutputHasNoBlocks) {
    const TestDescriptor t = make_test("t");
    std::string text;
    ReportOutput out(&text, false);
    write_outputs_section(out, "failures", {result_of(t, "")});
    EXPECT_EQ(text, "\nfailures:\n\nfailures:\n    t\n");
}

TEST(OutputsSection, InvalidUtf8IsShownAsReplacementsAndTheBytesKept) {
    const TestDescriptor t = make_test("t");
    const std::vector<TestResult> results{result_of(t,
                                                    "a\xff"
                                                    "b\xe2\x82")};
    std::string text;
    ReportOutput out(&text, false);
    write_outputs_section(out, "failures", results);
    EXPECT_NE(text.find("---- t stdout ----\na\xEF\xBF\xBD"
                        "b\xEF\xBF\xBD\n"),
              std::string::npos);
    EXPECT_EQ(results[0].captured,
              "a\xff"
              "b\xe2\x82");
}

TEST(FinishSections, WhichSectionsAppear) {
    const TestDescriptor ok = make_test("ok"), bad = make_test("bad"), late = make_test("late");
    RunSummary summary;
    summary.passes = {result_of(ok, "fine")};
    summary.failures = {result_of(bad, "")};
    summary.time_failures = {result_of(late, "")};
    summary.failed = 2;
    const struct {
        bool show_output;
        bool time_failures;
        std::string text;
    } cases[] = {
        {false, false, "\nfailures:\n\nfailures:\n    bad\n"},
        {true, false,
         "\nsuccesses:\n\n---- ok stdout ----\nfine\n\nsuccesses:\n    ok\n"
         "\nfailures:\n\nfailures:\n    bad\n"},
        {false, true,
         "\nfailures:\n\nfailures:\n    bad\n"
         "\nfailures (time limit exceeded):\n\nfailures (time limit exceeded):\n    late\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text;
        ReportOutput out(&text, false);
        write_finish_sections(out, ReportSettings{.show_output = c.show_output, .time_limits = {}}, summary,
                              c.time_failures);
        EXPECT_EQ(text, c.text);
    }
}

}  // namespace
}  // namespace dpt
