#include "report/terse.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "synthetic_run.hpp"

namespace dpt {
namespace {

using namespace dpt::testing;

std::string golden(const std::string& name) {
    std::ifstream in(std::string(DPT_FORMATS_GOLDEN_DIR) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(TerseReporter, TwoHundredPassingTestsFillTwoLinesOf87) {
    std::vector<SyntheticTest> tests;
    for (int i = 0; i < 200; ++i) tests.push_back(passed(fmt::format("t{:03}", i)));
    const auto [text, succeeded] = run_report(Format::terse, {}, tests);
    EXPECT_TRUE(succeeded);
    EXPECT_EQ(text, golden("terse_200_passing.txt"));
}

TEST(TerseReporter, FailureInTheMiddleOfALineEndsTheLineFirst) {
    const auto [text, succeeded] = run_report(
        Format::terse, {},
        {passed("a1"), passed("a2"), failed("b_fail", "line one\nline two\n"), passed("a3"),
         ignored("i"), failed_with_text("c_text", "status 3"), passed("a4")});
    EXPECT_FALSE(succeeded);
    EXPECT_EQ(text, golden("terse_failure_mid_line.txt"));
}

TEST(TerseReporter, FailureAtTheStartOfALineAddsNoEmptyNote) {
    std::vector<SyntheticTest> tests;
    tests.push_back(failed_time_limit("first"));
    for (int i = 0; i < 87; ++i) tests.push_back(passed(fmt::format("p{:02}", i)));
    tests.push_back(failed("last", ""));
    const std::string text = run_report(Format::terse, {}, tests).first;
    const std::string expected_start = "\nrunning 89 tests\nfirst --- FAILED\n" +
                                       std::string(87, '.') + " 88/89\nlast --- FAILED\n";
    EXPECT_EQ(text.substr(0, expected_start.size()), expected_start);
    // No time failures section, even though a test failed by its time limit.
    EXPECT_EQ(text.find("time limit"), std::string::npos);
}

TEST(TerseReporter, ColoursTheShortResultsAndTheFailure) {
    ReportSettings settings;
    settings.color = true;
    const std::string text =
        run_report(Format::terse, settings, {passed("p"), ignored("i"), failed("f", "")}).first;
    const std::string plain =
        run_report(Format::terse, {}, {passed("p"), ignored("i"), failed("f", "")}).first;
    EXPECT_NE(text, plain);
    EXPECT_NE(text.find('\x1b'), std::string::npos);
    EXPECT_EQ(plain.find('\x1b'), std::string::npos);
}

TEST(TerseReporter, SlowTestWarningAndPerTestListing) {
    std::string text;
    ReportOutput out(&text, false);
    const ReportSettings settings;
    TerseReporter reporter(out, settings);
    reporter.slow_test(descriptor("long"));
    EXPECT_EQ(text, "test long has been running for over 60 seconds\n");

    EXPECT_EQ(list_report(Format::terse, {descriptor("a"), descriptor("b")}), "a: test\nb: test\n");
}

}  // namespace
}  // namespace dpt
