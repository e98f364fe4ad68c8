#include "report/help.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dpt {
namespace {

// Rows are 24 columns wide; descriptions are cut into pieces of at most 54 characters.
// The trailing spaces of the long rows (before their line feed) are part of the layout.
const std::string kExpectedHelp =
    "Usage: build/dual_path_trial [OPTIONS] [FILTERS...]\n"
    "\n"
    "Options:\n"
    "        --include-ignored \n"
    "                        Run ignored and not ignored tests\n"
    "        --ignored       Run only ignored tests\n"
    "        --force-run-in-process \n"
    "                        Forces tests to run in-process when panic=abort\n"
    "        --exclude-should-panic \n"
    "                        Excludes tests marked as should_panic\n"
    "        --test          Run tests and not benchmarks\n"
    "        --bench         Run benchmarks instead of tests\n"
    "        --list          List all tests and benchmarks\n"
    "        --fail-fast     Don't start new tests after the first failure\n"
    "    -h, --help          Display this message\n"
    "        --logfile PATH  Write logs to the specified file (deprecated)\n"
    "        --no-capture    don't capture stdout/stderr of each task, allow\n"
    "                        printing directly\n"
    "        --test-threads n_threads\n"
    "                        Number of threads used for running tests in parallel\n"
    "        --skip FILTER   Skip tests whose names contain FILTER (this flag can\n"
    "                        be used multiple times)\n"
    "    -q, --quiet         Display one character per test instead of one line.\n"
    "                        Alias to --format=terse\n"
    "        --exact         Exactly match filters rather than by substring\n"
    "        --color auto|always|never\n"
    "                        Configure coloring of output:\n"
    "                        auto = colorize if stdout is a tty and tests are run\n"
    "                        on serially (default);\n"
    "                        always = always colorize output;\n"
    "                        never = never colorize output;\n"
    "        --format pretty|terse|json|junit\n"
    "                        Configure formatting of output:\n"
    "                        pretty = Print verbose output;\n"
    "                        terse = Display one character per test;\n"
    "                        json = Output a json document;\n"
    "                        junit = Output a JUnit document\n"
    "        --show-output   Show captured stdout of successful tests\n"
    "    -Z unstable-options Enable nightly-only flags:\n"
    "                        unstable-options = Allow use of experimental features\n"
    "        --report-time   Show execution time of each test.\n"
    "                        Threshold values for colorized output can be\n"
    "                        configured via\n"
    "                        `DPT_TEST_TIME_UNIT`, `DPT_TEST_TIME_INTEGRATION` and\n"
    "                        `DPT_TEST_TIME_DOCEXAMPLE` environment variables.\n"
    "                        Expected format of environment variable is\n"
    "                        `VARIABLE=WARN_TIME,CRITICAL_TIME`.\n"
    "                        Durations must be specified in milliseconds, e.g.\n"
    "                        `500,2000` means that the warn time\n"
    "                        is 0.5 seconds, and the critical time is 2 seconds.\n"
    "                        Not available for --format=terse\n"
    "        --ensure-time   Treat excess of the test execution time limit as\n"
    "                        error.\n"
    "                        Threshold values for this option can be configured via\n"
    "                        `DPT_TEST_TIME_UNIT`, `DPT_TEST_TIME_INTEGRATION` and\n"
    "                        `DPT_TEST_TIME_DOCEXAMPLE` environment variables.\n"
    "                        Expected format of environment variable is\n"
    "                        `VARIABLE=WARN_TIME,CRITICAL_TIME`.\n"
    "                        `CRITICAL_TIME` here means the limit that should not\n"
    "                        be exceeded by test.\n"
    "        --shuffle       Run tests in random order\n"
    "        --shuffle-seed SEED\n"
    "                        Run tests in random order; seed the random number\n"
    "                        generator with SEED\n"
    "\n"
    "The FILTER string is tested against the name of all tests, and only those\n"
    "tests whose names contain the filter are run. Multiple filter strings may\n"
    "be passed, which will run all tests matching any of the filters.\n"
    "\n"
    "By default, all tests are run in parallel. This can be altered with the\n"
    "--test-threads flag when running tests (set it to 1).\n"
    "\n"
    "By default, the tests are run in alphabetical order. Use --shuffle to run\n"
    "the tests in random order. Pass the generated \"shuffle seed\" to\n"
    "--shuffle-seed to run the tests in the same order again. Note that\n"
    "--shuffle and --shuffle-seed do not affect whether the tests are run in\n"
    "parallel.\n"
    "\n"
    "All tests have their standard output and standard error captured by default.\n"
    "This can be overridden with the --no-capture flag or by setting the\n"
    "DPT_TEST_NOCAPTURE environment variable to a value other than \"0\".\n"
    "Logging is not captured by default.\n"
    "\n"
    "Test Attributes:\n"
    "    test             - the function is a test; it runs whenever it is selected.\n"
    "    bench            - the function is a benchmark; benchmarks run with --bench.\n"
    "    expected failure - the test passes only when it fails; when a text is given,\n"
    "                       the failure message must also contain that text.\n"
    "    ignored          - the test is not run unless --ignored or --include-ignored\n"
    "                       is given; an optional reason is shown beside it.\n";

TEST(HelpText, WholeHelp) { EXPECT_EQ(help_text("build/dual_path_trial"), kExpectedHelp); }

TEST(HelpText, HiddenOptionHasNoRow) {
    EXPECT_EQ(help_text("p").find("nocapture"), std::string::npos);
}

TEST(PackWords, Table) {
    struct Case {
        std::string line;
        std::size_t width;
        std::vector<std::string> pieces;
    };
    const std::string fifty_four(54, 'x');
    const std::vector<Case> cases = {
        {"", 54, {}},
        {"   \t ", 54, {}},
        {"one", 54, {"one"}},
        {"  spaced   out\twords  ", 54, {"spaced out words"}},
        {"aa bb cc", 5, {"aa bb", "cc"}},  // exactly the width fits
        {"aa bb cc", 4, {"aa", "bb", "cc"}},
        {"a " + fifty_four + "x b", 54, {"a", fifty_four + "x", "b"}},  // a long word stands alone
        {fifty_four + " y", 54, {fifty_four, "y"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("line: '" + c.line + "'");
        EXPECT_EQ(pack_words(c.line, c.width), c.pieces);
    }
}

}  // namespace
}  // namespace dpt
