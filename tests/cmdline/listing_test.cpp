#include "report/listing.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "report/formats.hpp"
#include "report/output.hpp"

namespace dpt {
namespace {

TestDescriptor make_test(std::string name, bool ignore = false) {
    TestDescriptor test;
    test.name = std::move(name);
    test.ignore = ignore;
    return test;
}

// Records the listing calls, with the ignore mark each test was shown with.
class RecordingReporter : public Reporter {
  public:
    std::vector<std::string> events;
    std::optional<ListingSummary> summary;
    bool fail_on_test = false;

    void run_start(const RunStart&) override { events.push_back("run_start"); }
    void test_result(const TestResult&) override { events.push_back("test_result"); }
    bool run_finish(const RunSummary&) override { return true; }
    void list_start() override { events.push_back("start"); }
    void list_test(const TestDescriptor& test) override {
        if (fail_on_test) throw OutputError{std::make_error_code(std::errc::broken_pipe)};
        events.push_back(test.name + (test.ignore ? " (ignored)" : ""));
    }
    void list_finish(const ListingSummary& s) override {
        events.push_back("finish");
        summary = s;
    }
};

const std::vector<TestDescriptor> kTests = {make_test("gamma"), make_test("alpha", true),
                                            make_test("beta")};

Selection select(const RunOptions& options) { return select_tests(options, kTests); }

TEST(ListTests, NameOrderAndCounts) {
    struct Case {
        const char* name;
        IgnoredMode mode;
        std::vector<std::string> events;
        std::size_t ignored;
    };
    const std::vector<Case> cases = {
        {"normal", IgnoredMode::normal, {"start", "alpha (ignored)", "beta", "gamma", "finish"}, 1},
        {"include: the ignore mark does not count",
         IgnoredMode::include,
         {"start", "alpha", "beta", "gamma", "finish"},
         0},
        {"only", IgnoredMode::only, {"start", "alpha", "finish"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunOptions options;
        options.list = true;
        options.ignored = c.mode;
        RecordingReporter reporter;
        EXPECT_FALSE(list_tests(options, select(options), reporter));
        EXPECT_EQ(reporter.events, c.events);
        ASSERT_TRUE(reporter.summary);
        EXPECT_EQ(reporter.summary->tests, c.events.size() - 2);
        EXPECT_EQ(reporter.summary->benchmarks, 0u);
        EXPECT_EQ(reporter.summary->ignored, c.ignored);
    }
}

TEST(ListTests, ShuffleDoesNotChangeTheListing) {
    RunOptions options;
    options.list = true;
    options.shuffle = true;
    options.shuffle_seed = 3;
    RecordingReporter reporter;
    EXPECT_FALSE(list_tests(options, select(options), reporter));
    EXPECT_EQ(reporter.events,
              (std::vector<std::string>{"start", "alpha (ignored)", "beta", "gamma", "finish"}));
}

TEST(ListTests, ReporterWriteErrorIsReturned) {
    RunOptions options;
    RecordingReporter reporter;
    reporter.fail_on_test = true;
    EXPECT_EQ(list_tests(options, select(options), reporter),
              std::make_error_code(std::errc::broken_pipe));
}

class ListTestsLog : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("cmdline_listing_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    static std::string read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::filesystem::path dir_;
};

TEST_F(ListTestsLog, OneLinePerListedTestAndOldContentGone) {
    const auto path = dir_ / "list.log";
    std::ofstream(path) << "left over from an earlier run\n";
    RunOptions options;
    options.list = true;
    options.logfile = path.string();
    options.filters = {"a"};  // gamma, alpha, beta all contain a
    options.skip = {"gamma"};
    RecordingReporter reporter;
    EXPECT_FALSE(list_tests(options, select(options), reporter));
    EXPECT_EQ(read(path), "test alpha\ntest beta\n");
}

TEST_F(ListTestsLog, LogThatCannotBeCreatedIsAnError) {
    RunOptions options;
    options.logfile = (dir_ / "missing" / "list.log").string();
    RecordingReporter reporter;
    EXPECT_EQ(list_tests(options, select(options), reporter),
              std::error_code(ENOENT, std::system_category()));
    EXPECT_TRUE(reporter.events.empty());
}

// The whole listing as the default and terse formats write it.
TEST(ListTests, DefaultAndTerseText) {
    const std::vector<TestDescriptor> one = {
        make_test("stream_and_hook_check_deliver_exactly_once")};
    struct Case {
        Format format;
        std::vector<TestDescriptor> tests;
        std::string text;
    };
    const std::vector<Case> cases = {
        {Format::pretty, one,
         "stream_and_hook_check_deliver_exactly_once: test\n\n1 test, 0 benchmarks\n"},
        {Format::pretty, kTests, "alpha: test\nbeta: test\ngamma: test\n\n3 tests, 0 benchmarks\n"},
        {Format::pretty, {}, "0 tests, 0 benchmarks\n"},
        {Format::junit, one,
         "stream_and_hook_check_deliver_exactly_once: test\n\n1 test, 0 benchmarks\n"},
        {Format::terse, one, "stream_and_hook_check_deliver_exactly_once: test\n"},
        {Format::terse, kTests, "alpha: test\nbeta: test\ngamma: test\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(format_info(c.format).name) + " of " +
                     std::to_string(c.tests.size()));
        RunOptions options;
        options.list = true;
        options.format = c.format;
        std::string text;
        ReportOutput out(&text, false);
        const ReportSettings settings;
        auto reporter = format_info(c.format).make(out, settings);
        EXPECT_FALSE(list_tests(options, select_tests(options, c.tests), *reporter));
        EXPECT_EQ(text, c.text);
    }
}

}  // namespace
}  // namespace dpt
