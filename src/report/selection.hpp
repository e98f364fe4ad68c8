#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "entry/test_descriptor.hpp"
#include "report/options.hpp"

namespace dpt {

// The tests a run works on, in run order.
struct Selection {
    std::vector<const TestDescriptor*> tests;   // point into the registered tests
    std::size_t filtered_out = 0;               // registered tests the filters left out
    std::optional<std::uint64_t> shuffle_seed;  // present exactly when the order is shuffled
};

// Applies the filters, skips, the expected-failure exclusion and the ignored-test mode, then
// orders the survivors by name, or shuffles them when shuffling is on. A shuffled order
// depends only on the seed and the set of names. Without a seed the wall clock in
// nanoseconds is the seed; a clock before the Unix epoch is a fatal stop.
Selection select_tests(const RunOptions& options, std::span<const TestDescriptor> tests);

// Whether a selected test counts as ignored: its ignore mark holds in the normal mode only.
bool is_ignored(const RunOptions& options, const TestDescriptor& test);

// Whether a selected test is reported as ignored instead of being run: it counts as
// ignored, or --bench was given without --test.
bool runs_as_ignored(const RunOptions& options, const TestDescriptor& test);

}  // namespace dpt
