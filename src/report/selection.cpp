#include "report/selection.hpp"

#include <algorithm>
#include <chrono>
#include <string_view>

#include "entry/test_failure.hpp"

namespace dpt {

namespace {

bool matches(std::string_view name, std::string_view pattern, bool exact) {
    return exact ? name == pattern : name.find(pattern) != std::string_view::npos;
}

bool matches_any(std::string_view name, const std::vector<std::string>& patterns, bool exact) {
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const std::string& p) { return matches(name, p, exact); });
}

// SplitMix64: small, well mixed, and the same on every platform, so a seed printed by one
// run reproduces its order on another.
class SplitMix64 {
  public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, bound), bound > 0, without modulo bias.
    std::uint64_t below(std::uint64_t bound) {
        const std::uint64_t limit = -bound % bound;  // 2^64 mod bound
        for (;;) {
            const std::uint64_t r = next();
            if (r >= limit) return r % bound;
        }
    }

  private:
    std::uint64_t state_;
};

std::uint64_t wall_clock_seed() {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count();
    if (nanos < 0) harness_fatal("the system clock is set before the Unix epoch");
    return static_cast<std::uint64_t>(nanos);
}

bool by_name(const TestDescriptor* a, const TestDescriptor* b) { return a->name < b->name; }

}  // namespace

bool is_ignored(const RunOptions& options, const TestDescriptor& test) {
    return test.ignore && options.ignored == IgnoredMode::normal;
}

bool runs_as_ignored(const RunOptions& options, const TestDescriptor& test) {
    return is_ignored(options, test) || !options.run_tests;
}

Selection select_tests(const RunOptions& options, std::span<const TestDescriptor> tests) {
    Selection selection;
    for (const TestDescriptor& test : tests) {
        if (!options.filters.empty() && !matches_any(test.name, options.filters, options.exact)) {
            continue;
        }
        if (matches_any(test.name, options.skip, options.exact)) continue;
        if (options.exclude_should_panic && test.expected_failure != ExpectedFailure::none)
            continue;
        if (options.ignored == IgnoredMode::only && !test.ignore) continue;
        selection.tests.push_back(&test);
    }
    selection.filtered_out = tests.size() - selection.tests.size();

    // Sorting first makes a shuffle depend on the set of names, not on registration order.
    std::stable_sort(selection.tests.begin(), selection.tests.end(), by_name);
    if (options.shuffle) {
        const std::uint64_t seed = options.shuffle_seed ? *options.shuffle_seed : wall_clock_seed();
        selection.shuffle_seed = seed;
        SplitMix64 random(seed);
        for (std::size_t i = selection.tests.size(); i > 1; --i) {
            const auto j = static_cast<std::size_t>(random.below(i));
            std::swap(selection.tests[i - 1], selection.tests[j]);
        }
    }
    return selection;
}

}  // namespace dpt
