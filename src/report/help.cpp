#include "report/help.hpp"

#include <array>

namespace dpt {

namespace {

constexpr std::size_t kRowWidth = 24;
constexpr std::size_t kDescriptionWidth = 54;

const std::array<OptionInfo, 24> kOptions{{
    {'\0', "include-ignored", "", false, false, {"Run ignored and not ignored tests"}},
    {'\0', "ignored", "", false, false, {"Run only ignored tests"}},
    {'\0',
     "force-run-in-process",
     "",
     false,
     false,
     {"Forces tests to run in-process when panic=abort"}},
    {'\0', "exclude-should-panic", "", false, false, {"Excludes tests marked as should_panic"}},
    {'\0', "test", "", false, false, {"Run tests and not benchmarks"}},
    {'\0', "bench", "", false, false, {"Run benchmarks instead of tests"}},
    {'\0', "list", "", false, false, {"List all tests and benchmarks"}},
    {'\0', "fail-fast", "", false, false, {"Don't start new tests after the first failure"}},
    {'h', "help", "", false, false, {"Display this message"}},
    {'\0', "logfile", "PATH", true, false, {"Write logs to the specified file (deprecated)"}},
    {'\0',
     "no-capture",
     "",
     false,
     false,
     {"don't capture stdout/stderr of each task, allow printing directly"}},
    {'\0',
     "test-threads",
     "n_threads",
     true,
     false,
     {"Number of threads used for running tests in parallel"}},
    {'\0',
     "skip",
     "FILTER",
     true,
     false,
     {"Skip tests whose names contain FILTER (this flag can be used multiple times)"}},
    {'q',
     "quiet",
     "",
     false,
     false,
     {"Display one character per test instead of one line. Alias to --format=terse"}},
    {'\0', "exact", "", false, false, {"Exactly match filters rather than by substring"}},
    {'\0',
     "color",
     "auto|always|never",
     true,
     false,
     {"Configure coloring of output:",
      "auto   = colorize if stdout is a tty and tests are run on serially (default);",
      "always = always colorize output;", "never  = never colorize output;"}},
    {'\0',
     "format",
     "pretty|terse|json|junit",
     true,
     false,
     {"Configure formatting of output:", "pretty = Print verbose output;",
      "terse  = Display one character per test;", "json   = Output a json document;",
      "junit  = Output a JUnit document"}},
    {'\0', "show-output", "", false, false, {"Show captured stdout of successful tests"}},
    {'Z',
     "",
     "unstable-options",
     true,
     false,
     {"Enable nightly-only flags:", "unstable-options = Allow use of experimental features"}},
    {'\0',
     "report-time",
     "",
     false,
     false,
     {"Show execution time of each test.",
      "Threshold values for colorized output can be configured via",
      "`DPT_TEST_TIME_UNIT`, `DPT_TEST_TIME_INTEGRATION` and",
      "`DPT_TEST_TIME_DOCEXAMPLE` environment variables.",
      "Expected format of environment variable is `VARIABLE=WARN_TIME,CRITICAL_TIME`.",
      "Durations must be specified in milliseconds, e.g. `500,2000` means that the warn time",
      "is 0.5 seconds, and the critical time is 2 seconds.", "Not available for --format=terse"}},
    {'\0',
     "ensure-time",
     "",
     false,
     false,
     {"Treat excess of the test execution time limit as error.",
      "Threshold values for this option can be configured via",
      "`DPT_TEST_TIME_UNIT`, `DPT_TEST_TIME_INTEGRATION` and",
      "`DPT_TEST_TIME_DOCEXAMPLE` environment variables.",
      "Expected format of environment variable is `VARIABLE=WARN_TIME,CRITICAL_TIME`.",
      "`CRITICAL_TIME` here means the limit that should not be exceeded by test."}},
    {'\0', "shuffle", "", false, false, {"Run tests in random order"}},
    {'\0',
     "shuffle-seed",
     "SEED",
     true,
     false,
     {"Run tests in random order; seed the random number generator with SEED"}},
    {'\0', "nocapture", "", false, true, {"Deprecated, use `--no-capture`"}},
}};

constexpr std::string_view kExplanation =
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
    "                       is given; an optional reason is shown beside it.";

std::string option_row(const OptionInfo& option) {
    std::string row = "    ";
    if (option.short_name != '\0') {
        row += '-';
        row += option.short_name;
        row += option.long_name.empty() ? " " : ", ";
    } else {
        row += "    ";
    }
    if (!option.long_name.empty()) {
        row += "--";
        row += option.long_name;
        row += ' ';
    }
    row += option.hint;
    const std::string indent(kRowWidth, ' ');
    if (row.size() < kRowWidth) {
        row.resize(kRowWidth, ' ');
    } else {
        row += '\n';
        row += indent;
    }
    bool first = true;
    for (const std::string_view line : option.description) {
        for (const std::string& piece : pack_words(line, kDescriptionWidth)) {
            if (!first) {
                row += '\n';
                row += indent;
            }
            row += piece;
            first = false;
        }
    }
    return row;
}

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

std::span<const OptionInfo> harness_options() { return kOptions; }

std::vector<std::string> pack_words(std::string_view line, std::size_t width) {
    std::vector<std::string> pieces;
    std::string piece;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && is_space(line[i])) ++i;
        const std::size_t start = i;
        while (i < line.size() && !is_space(line[i])) ++i;
        if (start == i) break;
        const std::string_view word = line.substr(start, i - start);
        if (piece.empty()) {
            piece = word;
        } else if (piece.size() + 1 + word.size() <= width) {
            piece += ' ';
            piece += word;
        } else {
            pieces.push_back(std::move(piece));
            piece = word;
        }
    }
    if (!piece.empty()) pieces.push_back(std::move(piece));
    return pieces;
}

std::string help_text(std::string_view program) {
    std::string text = "Usage: ";
    text += program;
    text += " [OPTIONS] [FILTERS...]\n\nOptions:\n";
    bool first = true;
    for (const OptionInfo& option : kOptions) {
        if (option.hidden) continue;
        if (!first) text += '\n';
        text += option_row(option);
        first = false;
    }
    text += "\n\n";
    text += kExplanation;
    text += '\n';
    return text;
}

}  // namespace dpt
