#include "report/selection.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace dpt {
namespace {

TestDescriptor make_test(std::string name, bool ignore = false,
                         ExpectedFailure expected = ExpectedFailure::none) {
    TestDescriptor test;
    test.name = std::move(name);
    test.ignore = ignore;
    test.expected_failure = expected;
    return test;
}

// Registered out of name order on purpose.
const std::vector<TestDescriptor> kTests = {
    make_test("gamma"),
    make_test("beta_hook"),
    make_test("hook_exactly_once", true),
    make_test("alpha"),
    make_test("should_fail", false, ExpectedFailure::expected),
    make_test("hook_text_failure", false, ExpectedFailure::expected_with_text),
};

std::vector<std::string> names(const Selection& selection) {
    std::vector<std::string> out;
    for (const TestDescriptor* test : selection.tests) out.push_back(test->name);
    return out;
}

RunOptions with(std::function<void(RunOptions&)> set) {
    RunOptions options;
    set(options);
    return options;
}

TEST(SelectTests, FiltersSkipsAndModes) {
    struct Case {
        const char* name;
        RunOptions options;
        std::vector<std::string> selected;
    };
    const std::vector<Case> cases = {
        {"no filter keeps all, by name",
         {},
         {"alpha", "beta_hook", "gamma", "hook_exactly_once", "hook_text_failure", "should_fail"}},
        {"substring filter",
         with([](RunOptions& o) { o.filters = {"hook"}; }),
         {"beta_hook", "hook_exactly_once", "hook_text_failure"}},
        {"any of several filters",
         with([](RunOptions& o) {
             o.filters = {"alp", "mm"};
         }),
         {"alpha", "gamma"}},
        {"filter matching nothing", with([](RunOptions& o) { o.filters = {"zeta"}; }), {}},
        {"exact filter needs the whole name",
         with([](RunOptions& o) {
             o.filters = {"hook", "gamma"};
             o.exact = true;
         }),
         {"gamma"}},
        {"skip by substring",
         with([](RunOptions& o) { o.skip = {"hook"}; }),
         {"alpha", "gamma", "should_fail"}},
        {"every skip applies",
         with([](RunOptions& o) {
             o.skip = {"hook", "mm"};
         }),
         {"alpha", "should_fail"}},
        {"exact skip needs the whole name",
         with([](RunOptions& o) {
             o.skip = {"hook", "alpha"};
             o.exact = true;
         }),
         {"beta_hook", "gamma", "hook_exactly_once", "hook_text_failure", "should_fail"}},
        {"filter then skip",
         with([](RunOptions& o) {
             o.filters = {"hook"};
             o.skip = {"exactly"};
         }),
         {"beta_hook", "hook_text_failure"}},
        {"expected failures excluded",
         with([](RunOptions& o) { o.exclude_should_panic = true; }),
         {"alpha", "beta_hook", "gamma", "hook_exactly_once"}},
        {"only ignored tests",
         with([](RunOptions& o) { o.ignored = IgnoredMode::only; }),
         {"hook_exactly_once"}},
        {"only ignored, filtered away",
         with([](RunOptions& o) {
             o.ignored = IgnoredMode::only;
             o.skip = {"exactly"};
         }),
         {}},
        {"include ignored keeps all",
         with([](RunOptions& o) { o.ignored = IgnoredMode::include; }),
         {"alpha", "beta_hook", "gamma", "hook_exactly_once", "hook_text_failure", "should_fail"}},
        {"bench without test keeps the selection",
         with([](RunOptions& o) {
             o.bench = true;
             o.run_tests = false;
         }),
         {"alpha", "beta_hook", "gamma", "hook_exactly_once", "hook_text_failure", "should_fail"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Selection selection = select_tests(c.options, kTests);
        EXPECT_EQ(names(selection), c.selected);
        EXPECT_EQ(selection.filtered_out, kTests.size() - c.selected.size());
        EXPECT_FALSE(selection.shuffle_seed);
    }
}

TEST(SelectTests, TheProgramsOneTest) {
    const std::vector<TestDescriptor> one = {
        make_test("stream_and_hook_check_deliver_exactly_once")};
    struct Case {
        RunOptions options;
        std::size_t selected;
    };
    const std::vector<Case> cases = {
        {{}, 1},
        {with([](RunOptions& o) { o.filters = {"hook"}; }), 1},
        {with([](RunOptions& o) { o.filters = {"exactly_once"}; }), 1},
        {with([](RunOptions& o) {
             o.filters = {"hook"};
             o.exact = true;
         }),
         0},
        {with([](RunOptions& o) {
             o.filters = {"stream_and_hook_check_deliver_exactly_once"};
             o.exact = true;
         }),
         1},
        {with([](RunOptions& o) { o.ignored = IgnoredMode::only; }), 0},
        {with([](RunOptions& o) { o.skip = {"hook"}; }), 0},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const Selection selection = select_tests(cases[i].options, one);
        EXPECT_EQ(selection.tests.size(), cases[i].selected);
        EXPECT_EQ(selection.filtered_out, 1 - cases[i].selected);
    }
}

TEST(RunsAsIgnored, ModesAndBench) {
    const TestDescriptor plain = make_test("plain");
    const TestDescriptor ignored = make_test("ignored", true);
    struct Case {
        const char* name;
        RunOptions options;
        bool plain_ignored;
        bool ignored_ignored;
    };
    const std::vector<Case> cases = {
        {"normal mode", {}, false, true},
        {"include", with([](RunOptions& o) { o.ignored = IgnoredMode::include; }), false, false},
        {"only", with([](RunOptions& o) { o.ignored = IgnoredMode::only; }), false, false},
        {"bench without test", with([](RunOptions& o) {
             o.bench = true;
             o.run_tests = false;
         }),
         true, true},
        {"bench with test", with([](RunOptions& o) {
             o.bench = true;
             o.run_tests = true;
         }),
         false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(runs_as_ignored(c.options, plain), c.plain_ignored);
        EXPECT_EQ(runs_as_ignored(c.options, ignored), c.ignored_ignored);
    }
}

std::vector<TestDescriptor> numbered_tests(std::size_t count) {
    std::vector<TestDescriptor> tests;
    for (std::size_t i = 0; i < count; ++i) tests.push_back(make_test("t" + std::to_string(i)));
    return tests;
}

RunOptions shuffled(std::optional<std::uint64_t> seed) {
    RunOptions options;
    options.shuffle = true;
    options.shuffle_seed = seed;
    return options;
}

TEST(SelectTests, ShuffleDependsOnlyOnSeedAndNames) {
    const auto tests = numbered_tests(40);
    auto reversed = tests;
    std::reverse(reversed.begin(), reversed.end());

    const Selection first = select_tests(shuffled(1234), tests);
    EXPECT_EQ(first.shuffle_seed, 1234u);
    // Same seed, same names, registered in another order: the same run order.
    EXPECT_EQ(names(select_tests(shuffled(1234), reversed)), names(first));
    EXPECT_EQ(names(select_tests(shuffled(1234), tests)), names(first));

    // A permutation of the selection, and not simply the name order.
    const Selection sorted = select_tests(RunOptions{}, tests);
    auto a = names(first);
    auto b = names(sorted);
    EXPECT_NE(a, b);
    std::sort(a.begin(), a.end());
    EXPECT_EQ(a, b);

    // Another seed gives another order.
    EXPECT_NE(names(select_tests(shuffled(1235), tests)), names(first));
}

TEST(SelectTests, ShuffleOfFiltersKeepsFilteredCount) {
    const auto tests = numbered_tests(12);
    RunOptions options = shuffled(99);
    options.filters = {"t1"};  // t1, t10, t11
    const Selection selection = select_tests(options, tests);
    const auto got = names(selection);
    EXPECT_EQ(std::set<std::string>(got.begin(), got.end()),
              (std::set<std::string>{"t1", "t10", "t11"}));
    EXPECT_EQ(selection.filtered_out, 9u);
}

TEST(SelectTests, ShuffleWithoutSeedUsesTheClock) {
    const auto tests = numbered_tests(5);
    const Selection selection = select_tests(shuffled(std::nullopt), tests);
    ASSERT_TRUE(selection.shuffle_seed);
    EXPECT_GT(*selection.shuffle_seed, 0u);
    // The reported seed reproduces the order.
    EXPECT_EQ(names(select_tests(shuffled(*selection.shuffle_seed), tests)), names(selection));
}

TEST(SelectTests, ShuffleOfNothingOrOne) {
    EXPECT_TRUE(select_tests(shuffled(7), {}).tests.empty());
    const auto one = numbered_tests(1);
    EXPECT_EQ(names(select_tests(shuffled(7), one)), std::vector<std::string>{"t0"});
}

}  // namespace
}  // namespace dpt
