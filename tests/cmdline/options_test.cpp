#include "report/options.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "capture_fd.hpp"
#include "report/help.hpp"
#include "scoped_env.hpp"

namespace dpt {
namespace {

using testing::CapturedFd;
using testing::ScopedEnv;

using Words = std::vector<std::string>;

Words with_program(const Words& words) {
    Words args{"prog"};
    args.insert(args.end(), words.begin(), words.end());
    return args;
}

struct Parsed {
    std::variant<RunOptions, HelpShown, UsageError> result;
    std::string out;  // what the parse wrote on its standard output
};

Parsed parse(const Words& words, const std::vector<ScopedEnv::Setting>& env = {}) {
    ScopedEnv scoped(env);
    CapturedFd out;
    auto result = parse_command_line(with_program(words), out.fd());
    return {std::move(result), out.read()};
}

const std::string kLogfileWarning = "warning: `--logfile` is deprecated";

struct Accepted {
    const char* name;
    Words words;
    std::vector<ScopedEnv::Setting> env;
    std::function<void(const RunOptions&)> check;
    std::string out = "";
};

const std::vector<ScopedEnv::Setting> kBootstrap = {{"DPT_BOOTSTRAP", "1"}};
const Words kUnstable = {"-Z", "unstable-options"};

Words unstable(Words words) {
    words.insert(words.begin(), kUnstable.begin(), kUnstable.end());
    return words;
}

std::vector<ScopedEnv::Setting> plus(std::vector<ScopedEnv::Setting> a,
                                     const std::vector<ScopedEnv::Setting>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(ParseCommandLine, AcceptedForms) {
    using std::chrono::milliseconds;
    const std::vector<Accepted> cases = {
        {"no words: defaults",
         {},
         {},
         [](const RunOptions& o) {
             EXPECT_FALSE(o.list);
             EXPECT_TRUE(o.filters.empty());
             EXPECT_FALSE(o.exact);
             EXPECT_TRUE(o.skip.empty());
             EXPECT_FALSE(o.exclude_should_panic);
             EXPECT_EQ(o.ignored, IgnoredMode::normal);
             EXPECT_TRUE(o.run_tests);
             EXPECT_FALSE(o.bench);
             EXPECT_FALSE(o.force_run_in_process);
             EXPECT_FALSE(o.fail_fast);
             EXPECT_FALSE(o.logfile);
             EXPECT_FALSE(o.nocapture);
             EXPECT_FALSE(o.test_threads);
             EXPECT_EQ(o.color, ColorChoice::auto_);
             EXPECT_EQ(o.format, Format::pretty);
             EXPECT_FALSE(o.show_output);
             EXPECT_FALSE(o.shuffle);
             EXPECT_FALSE(o.shuffle_seed);
             EXPECT_FALSE(o.time_limits);
         }},
        {"-q alone is terse",
         {"-q"},
         {},
         [](const RunOptions& o) { EXPECT_EQ(o.format, Format::terse); }},
        {"--quiet alone is terse",
         {"--quiet"},
         {},
         [](const RunOptions& o) { EXPECT_EQ(o.format, Format::terse); }},
        {"-q with --format pretty",
         {"-q", "--format", "pretty"},
         {},
         [](const RunOptions& o) { EXPECT_EQ(o.format, Format::pretty); }},
        {"--format=terse",
         {"--format=terse"},
         {},
         [](const RunOptions& o) { EXPECT_EQ(o.format, Format::terse); }},
        {"filters in order, before and after options",
         {"hook", "--exact", "race"},
         {},
         [](const RunOptions& o) {
             EXPECT_EQ(o.filters, (Words{"hook", "race"}));
             EXPECT_TRUE(o.exact);
         }},
        {"a filter after options",
         {"--list", "--test-threads", "1", "exactly_once"},
         {},
         [](const RunOptions& o) {
             EXPECT_TRUE(o.list);
             EXPECT_EQ(o.test_threads, 1u);
             EXPECT_EQ(o.filters, (Words{"exactly_once"}));
         }},
        {"--skip twice, both forms",
         {"--skip", "hook", "--skip=race"},
         {},
         [](const RunOptions& o) {
             EXPECT_EQ(o.skip, (Words{"hook", "race"}));
         }},
        {"a value that looks like an option",
         {"--skip", "--list"},
         {},
         [](const RunOptions& o) {
             EXPECT_EQ(o.skip, (Words{"--list"}));
             EXPECT_FALSE(o.list);
         }},
        {"an empty attached value",
         {"--skip="},
         {},
         [](const RunOptions& o) { EXPECT_EQ(o.skip, (Words{""})); }},
        {"words after -- are filters",
         {"--", "--list", "-q"},
         {},
         [](const RunOptions& o) {
             EXPECT_EQ(o.filters, (Words{"--list", "-q"}));
             EXPECT_FALSE(o.list);
             EXPECT_EQ(o.format, Format::pretty);
         }},
        {"a lone dash is a filter",
         {"-"},
         {},
         [](const RunOptions& o) { EXPECT_EQ(o.filters, (Words{"-"})); }},
        {"--test-threads next word",
         {"--test-threads", "4"},
         {},
         [](const RunOptions& o) { EXPECT_EQ(o.test_threads, 4u); }},
        {"--test-threads=value",
         {"--test-threads=+8"},
         {},
         [](const RunOptions& o) { EXPECT_EQ(o.test_threads, 8u); }},
        {"--color never",
         {"--color", "never"},
         {},
         [](const RunOptions& o) { EXPECT_EQ(o.color, ColorChoice::never); }},
        {"--color=always",
         {"--color=always"},
         {},
         [](const RunOptions& o) { EXPECT_EQ(o.color, ColorChoice::always); }},
        {"--color auto",
         {"--color", "auto"},
         {},
         [](const RunOptions& o) { EXPECT_EQ(o.color, ColorChoice::auto_); }},
        {"--logfile warns without a line feed",
         {"--logfile", "/tmp/x.log"},
         {},
         [](const RunOptions& o) { EXPECT_EQ(o.logfile, "/tmp/x.log"); },
         kLogfileWarning},
        {"--no-capture",
         {"--no-capture"},
         {},
         [](const RunOptions& o) { EXPECT_TRUE(o.nocapture); }},
        {"hidden --nocapture",
         {"--nocapture"},
         {},
         [](const RunOptions& o) { EXPECT_TRUE(o.nocapture); }},
        {"capture variable 0 keeps capture",
         {},
         {{"DPT_TEST_NOCAPTURE", "0"}},
         [](const RunOptions& o) { EXPECT_FALSE(o.nocapture); }},
        {"capture variable 1 turns it off",
         {},
         {{"DPT_TEST_NOCAPTURE", "1"}},
         [](const RunOptions& o) { EXPECT_TRUE(o.nocapture); }},
        {"capture variable empty turns it off",
         {},
         {{"DPT_TEST_NOCAPTURE", ""}},
         [](const RunOptions& o) { EXPECT_TRUE(o.nocapture); }},
        {"capture variable not UTF-8 counts as unset",
         {},
         {{"DPT_TEST_NOCAPTURE", "\xff"}},
         [](const RunOptions& o) { EXPECT_FALSE(o.nocapture); }},
        {"--include-ignored",
         {"--include-ignored"},
         {},
         [](const RunOptions& o) { EXPECT_EQ(o.ignored, IgnoredMode::include); }},
        {"--ignored",
         {"--ignored"},
         {},
         [](const RunOptions& o) { EXPECT_EQ(o.ignored, IgnoredMode::only); }},
        {"--bench stops running tests",
         {"--bench"},
         {},
         [](const RunOptions& o) {
             EXPECT_TRUE(o.bench);
             EXPECT_FALSE(o.run_tests);
         }},
        {"--bench --test runs them",
         {"--bench", "--test"},
         {},
         [](const RunOptions& o) {
             EXPECT_TRUE(o.bench);
             EXPECT_TRUE(o.run_tests);
         }},
        {"--show-output",
         {"--show-output"},
         {},
         [](const RunOptions& o) { EXPECT_TRUE(o.show_output); }},
        {"shuffle variables are not read without unstable options",
         {},
         {{"DPT_TEST_SHUFFLE", "1"}, {"DPT_TEST_SHUFFLE_SEED", "not a number"}},
         [](const RunOptions& o) {
             EXPECT_FALSE(o.shuffle);
             EXPECT_FALSE(o.shuffle_seed);
         }},
        {"threshold variables are not read without a time option",
         {},
         {{"DPT_TEST_TIME_UNIT", "garbage"}},
         [](const RunOptions& o) { EXPECT_FALSE(o.time_limits); }},
        {"-Z with a separate word", unstable({"--format", "json"}), kBootstrap,
         [](const RunOptions& o) { EXPECT_EQ(o.format, Format::json); }},
        {"-Z attached",
         {"-Zunstable-options", "--format=junit"},
         kBootstrap,
         [](const RunOptions& o) { EXPECT_EQ(o.format, Format::junit); }},
        {"-Z with =",
         {"-Z=unstable-options"},
         kBootstrap,
         [](const RunOptions& o) { EXPECT_EQ(o.format, Format::pretty); }},
        {"unstable flags",
         unstable({"--force-run-in-process", "--exclude-should-panic", "--fail-fast"}), kBootstrap,
         [](const RunOptions& o) {
             EXPECT_TRUE(o.force_run_in_process);
             EXPECT_TRUE(o.exclude_should_panic);
             EXPECT_TRUE(o.fail_fast);
         }},
        {"--report-time with default limits", unstable({"--report-time"}), kBootstrap,
         [](const RunOptions& o) {
             ASSERT_TRUE(o.time_limits);
             EXPECT_FALSE(o.time_limits->limits_are_errors);
             EXPECT_EQ(o.time_limits->unit.warn, milliseconds(50));
             EXPECT_EQ(o.time_limits->unit.critical, milliseconds(100));
             EXPECT_EQ(o.time_limits->integration.warn, milliseconds(500));
             EXPECT_EQ(o.time_limits->integration.critical, milliseconds(1000));
             EXPECT_EQ(o.time_limits->documentation_example.critical, milliseconds(1000));
             EXPECT_EQ(o.time_limits->unspecified.warn, milliseconds(60000));
             EXPECT_EQ(o.time_limits->unspecified.critical, milliseconds(120000));
         }},
        {"--ensure-time with threshold variables", unstable({"--ensure-time"}),
         plus(kBootstrap, {{"DPT_TEST_TIME_UNIT", "10,20"},
                           {"DPT_TEST_TIME_INTEGRATION", "7,7"},
                           {"DPT_TEST_TIME_DOCEXAMPLE", "0,+3000"}}),
         [](const RunOptions& o) {
             ASSERT_TRUE(o.time_limits);
             EXPECT_TRUE(o.time_limits->limits_are_errors);
             EXPECT_EQ(o.time_limits->unit.warn, milliseconds(10));
             EXPECT_EQ(o.time_limits->unit.critical, milliseconds(20));
             EXPECT_EQ(o.time_limits->integration.warn, milliseconds(7));
             EXPECT_EQ(o.time_limits->integration.critical, milliseconds(7));
             EXPECT_EQ(o.time_limits->documentation_example.warn, milliseconds(0));
             EXPECT_EQ(o.time_limits->documentation_example.critical, milliseconds(3000));
         }},
        {"--shuffle", unstable({"--shuffle"}), kBootstrap,
         [](const RunOptions& o) {
             EXPECT_TRUE(o.shuffle);
             EXPECT_FALSE(o.shuffle_seed);
         }},
        {"--shuffle-seed implies shuffle", unstable({"--shuffle-seed", "18446744073709551615"}),
         kBootstrap,
         [](const RunOptions& o) {
             EXPECT_TRUE(o.shuffle);
             EXPECT_EQ(o.shuffle_seed, UINT64_MAX);
         }},
        {"shuffle variable turns shuffling on", kUnstable,
         plus(kBootstrap, {{"DPT_TEST_SHUFFLE", "yes"}}),
         [](const RunOptions& o) { EXPECT_TRUE(o.shuffle); }},
        {"shuffle variable 0 leaves it off", kUnstable,
         plus(kBootstrap, {{"DPT_TEST_SHUFFLE", "0"}}),
         [](const RunOptions& o) { EXPECT_FALSE(o.shuffle); }},
        {"seed variable gives the seed", kUnstable,
         plus(kBootstrap, {{"DPT_TEST_SHUFFLE_SEED", "77"}}),
         [](const RunOptions& o) {
             EXPECT_TRUE(o.shuffle);
             EXPECT_EQ(o.shuffle_seed, 77u);
         }},
        {"--shuffle-seed wins over the seed variable", unstable({"--shuffle-seed=5"}),
         plus(kBootstrap, {{"DPT_TEST_SHUFFLE_SEED", "77"}}),
         [](const RunOptions& o) { EXPECT_EQ(o.shuffle_seed, 5u); }},
    };
    for (const Accepted& c : cases) {
        SCOPED_TRACE(c.name);
        const Parsed parsed = parse(c.words, c.env);
        const auto* options = std::get_if<RunOptions>(&parsed.result);
        if (const auto* error = std::get_if<UsageError>(&parsed.result)) {
            ADD_FAILURE() << "unexpected error: " << error->text;
        }
        ASSERT_NE(options, nullptr);
        c.check(*options);
        EXPECT_EQ(parsed.out, c.out);
    }
}

struct Refused {
    Words words;
    std::string error;
    std::vector<ScopedEnv::Setting> env = {};
    std::string out = "";
};

TEST(ParseCommandLine, ErrorTexts) {
    const std::vector<Refused> cases = {
        // The option parser's four errors.
        {{"--bogus"}, "Unrecognized option: 'bogus'"},
        {{"--bogus=1"}, "Unrecognized option: 'bogus'"},
        {{"-x"}, "Unrecognized option: 'x'"},
        {{"-hq"}, "Unrecognized option: 'hq'"},
        {{"--lis"}, "Unrecognized option: 'lis'"},
        {{"--logfile"}, "Argument to option 'logfile' missing"},
        {{"--color"}, "Argument to option 'color' missing"},
        {{"-Z"}, "Argument to option 'Z' missing", kBootstrap},
        {{"--list", "--list"}, "Option 'list' given more than once"},
        {{"-q", "--quiet"}, "Option 'quiet' given more than once"},
        {{"--color", "auto", "--color=never"}, "Option 'color' given more than once"},
        {{"--list=yes"}, "Option 'list' does not take an argument"},
        {{"-q=1"}, "Option 'q' does not take an argument"},
        {{"--nocapture="}, "Option 'nocapture' does not take an argument"},
        // The parser runs before the help is looked at.
        {{"--help", "--bogus"}, "Unrecognized option: 'bogus'"},
        // -Z and the bootstrap override.
        {kUnstable, "the option `Z` is only accepted on the nightly compiler"},
        {{"-Z", "unstable-option"}, "Unrecognized option to `Z`", kBootstrap},
        // Unstable flags, examined in a fixed order.
        {{"--force-run-in-process"},
         "The \"force-run-in-process\" flag is only accepted on the nightly compiler with -Z "
         "unstable-options"},
        {{"--exclude-should-panic"},
         "The \"exclude-should-panic\" flag is only accepted on the nightly compiler with -Z "
         "unstable-options"},
        {{"--fail-fast"},
         "The \"fail-fast\" flag is only accepted on the nightly compiler with -Z "
         "unstable-options"},
        {{"--report-time"},
         "The \"report-time\" flag is only accepted on the nightly compiler with -Z "
         "unstable-options"},
        {{"--ensure-time"},
         "The \"ensure-time\" flag is only accepted on the nightly compiler with -Z "
         "unstable-options"},
        {{"--ensure-time", "--fail-fast", "--force-run-in-process"},
         "The \"force-run-in-process\" flag is only accepted on the nightly compiler with -Z "
         "unstable-options"},
        {{"--shuffle"},
         "The \"shuffle\" flag is only accepted on the nightly compiler with -Z unstable-options"},
        {{"--shuffle-seed", "1"},
         "The \"shuffle-seed\" option is only accepted on the nightly compiler with -Z "
         "unstable-options"},
        // Numbers.
        {unstable({"--shuffle-seed", "x"}),
         "argument for --shuffle-seed must be a number (error: invalid digit found in string)",
         kBootstrap},
        {unstable({"--shuffle-seed="}),
         "argument for --shuffle-seed must be a number (error: cannot parse integer from empty "
         "string)",
         kBootstrap},
        {unstable({"--shuffle-seed", "18446744073709551616"}),
         "argument for --shuffle-seed must be a number (error: number too large to fit in target "
         "type)",
         kBootstrap},
        {{"--test-threads", "0"}, "argument for --test-threads must not be 0"},
        {{"--test-threads", "x"},
         "argument for --test-threads must be a number > 0 (error: invalid digit found in string)"},
        {{"--test-threads", "-1"},
         "argument for --test-threads must be a number > 0 (error: invalid digit found in string)"},
        {{"--test-threads="},
         "argument for --test-threads must be a number > 0 (error: cannot parse integer from empty "
         "string)"},
        // Ignored-test modes, colour and format.
        {{"--include-ignored", "--ignored"},
         "the options --include-ignored and --ignored are mutually exclusive"},
        {{"--color", "sometimes"},
         "argument for --color must be auto, always, or never (was sometimes)"},
        {{"--format", "json"},
         "The \"json\" format is only accepted on the nightly compiler with -Z unstable-options"},
        {{"--format=junit"},
         "The \"junit\" format is only accepted on the nightly compiler with -Z unstable-options"},
        {{"--format", "xml"},
         "argument for --format must be pretty, terse, json or junit (was xml)"},
        {{"-q", "--format", "Terse"},
         "argument for --format must be pretty, terse, json or junit (was Terse)"},
        // The colour is examined before the format.
        {{"--format", "json", "--color", "sometimes"},
         "argument for --color must be auto, always, or never (was sometimes)"},
        // The warning is written before the later checks fail.
        {{"--logfile", "out.log", "--test-threads", "0"},
         "argument for --test-threads must not be 0",
         {},
         kLogfileWarning},
    };
    for (const Refused& c : cases) {
        std::string words;
        for (const auto& w : c.words) words += " " + w;
        SCOPED_TRACE("words:" + words);
        const Parsed parsed = parse(c.words, c.env);
        const auto* error = std::get_if<UsageError>(&parsed.result);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->text, c.error);
        EXPECT_EQ(parsed.out, c.out);
    }
}

TEST(ParseCommandLine, HelpExaminesNothingAfterIt) {
    const std::vector<Words> cases = {
        {"--help"},
        {"-h"},
        {"--help", "--color", "sometimes"},
        {"--format", "json", "-h", "--include-ignored", "--ignored"},
        {"--logfile", "x", "-h"},
    };
    for (const Words& words : cases) {
        SCOPED_TRACE(words.back());
        const Parsed parsed = parse(words);
        EXPECT_TRUE(std::holds_alternative<HelpShown>(parsed.result));
        EXPECT_EQ(parsed.out, help_text("prog"));
    }
}

TEST(ParseCommandLine, HelpThatCannotBeWrittenIsAnError) {
    const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const Words args{"prog", "--help"};
    const auto result = parse_command_line(args, fd);
    ::close(fd);
    const auto* error = std::get_if<UsageError>(&result);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->text.rfind("io error when writing the help: ", 0), 0u) << error->text;
}

// Environment values that stop the harness with status 101 and a failure report.
struct FatalCase {
    const char* name;
    Words words;
    std::vector<ScopedEnv::Setting> env;
    std::string message;
};

TEST(ParseCommandLineDeathTest, BadEnvironmentIsAFatalStop) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const Words time = unstable({"--report-time"});
    const std::vector<FatalCase> cases = {
        {"seed variable", kUnstable, plus(kBootstrap, {{"DPT_TEST_SHUFFLE_SEED", "abc"}}),
         "DPT_TEST_SHUFFLE_SEED is `abc`, should be a number."},
        {"seed variable negative", kUnstable, plus(kBootstrap, {{"DPT_TEST_SHUFFLE_SEED", "-3"}}),
         "DPT_TEST_SHUFFLE_SEED is `-3`, should be a number."},
        {"threshold without comma", time, plus(kBootstrap, {{"DPT_TEST_TIME_UNIT", "5"}}),
         "Duration variable DPT_TEST_TIME_UNIT expected to have 2 numbers separated by comma, but "
         "got 5"},
        {"threshold with two commas", unstable({"--ensure-time"}),
         plus(kBootstrap, {{"DPT_TEST_TIME_INTEGRATION", "1,2,3"}}),
         "Duration variable DPT_TEST_TIME_INTEGRATION expected to have 2 numbers separated by "
         "comma, but got 1,2,3"},
        {"threshold not a number", time, plus(kBootstrap, {{"DPT_TEST_TIME_DOCEXAMPLE", "1,2s"}}),
         "Duration value in variable DPT_TEST_TIME_DOCEXAMPLE is expected to be a number, but got "
         "2s"},
        {"threshold empty piece", time, plus(kBootstrap, {{"DPT_TEST_TIME_UNIT", ",5"}}),
         "Duration value in variable DPT_TEST_TIME_UNIT is expected to be a number, but got "},
        {"warn above critical", time, plus(kBootstrap, {{"DPT_TEST_TIME_UNIT", "200,100"}}),
         "Test execution warn time should be less or equal to the critical time"},
    };
    for (const FatalCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv scoped(c.env);
        const Words args = with_program(c.words);
        EXPECT_EXIT((void)parse_command_line(args, -1), ::testing::ExitedWithCode(101),
                    ::testing::AllOf(::testing::HasSubstr("thread 'main' ("),
                                     ::testing::HasSubstr(":\n" + c.message + "\n")));
    }
}

}  // namespace
}  // namespace dpt
