#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "entry/test_descriptor.hpp"
#include "entry/thread.hpp"
#include "platform/result.hpp"
#include "report/reporter.hpp"
#include "report/result_log.hpp"

namespace dpt {

// Starts a test's thread; the run uses start_thread unless a test replaces it.
using ThreadStarter =
    std::function<Result<Thread>(std::string name, std::function<void()> body, std::size_t stack)>;

inline constexpr std::size_t kTestStackSize = 2 * 1024 * 1024;

// How the selected tests are run; fixed for the run.
struct RunConfig {
    std::size_t workers = 1;
    bool capture = true;
    bool fail_fast = false;
    bool show_output = false;
    std::optional<TimeLimits> time_limits;
    std::optional<std::uint64_t> shuffle_seed;
    std::size_t filtered_out = 0;
    // How long a test runs before the slow-test warning (with several workers).
    std::chrono::nanoseconds slow_test_after = std::chrono::seconds(60);
    std::size_t stack_size = kTestStackSize;
    ThreadStarter start_thread;  // empty: dpt::start_thread
};

// One selected test; `as_ignored` reports it as ignored without running it.
struct PlannedTest {
    const TestDescriptor* test = nullptr;
    bool as_ignored = false;
};

// Runs the tests in order, up to `workers` at once, each on a thread named after it with
// its own captured output, and reports every event from the calling thread alone. With
// fail fast no test starts after the first failure. A test whose thread the system
// refuses for a thread limit runs on the calling thread; any other refusal is a fatal
// stop. Returns whether the run succeeded. A failed write of the report or the log
// throws OutputError.
bool run_tests(const RunConfig& config, std::span<const PlannedTest> tests, Reporter& reporter,
               ResultLog* log);

// The test's stack size: DPT_MIN_STACK when it holds a positive decimal number of bytes,
// else 2 MiB.
std::size_t test_stack_size();

}  // namespace dpt
