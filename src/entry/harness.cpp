#include "entry/harness.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <variant>
#include <vector>

#include "platform/error.hpp"
#include "platform/process.hpp"
#include "report/env.hpp"
#include "report/formats.hpp"
#include "report/listing.hpp"
#include "report/options.hpp"
#include "report/result_log.hpp"
#include "report/selection.hpp"

namespace dpt {
namespace {

constexpr int kFailureStatus = 101;

int io_error(int err_fd, const std::error_code& error) {
    (void)write_all(err_fd,
                    fmt::format("error: io error when listing tests: {}\n", describe_error(error)));
    return kFailureStatus;
}

// ANSI colours only where the console can show them.
bool use_color(const RunOptions& options, int out_fd) {
    const auto term = env_var("TERM");
    const bool console_has_color = term && *term != "dumb";
    switch (options.color) {
        case ColorChoice::never:
            return false;
        case ColorChoice::always:
            return console_has_color;
        case ColorChoice::auto_:
            return console_has_color && ::isatty(out_fd) == 1 && !options.nocapture &&
                   !env_var("NO_COLOR").has_value();
    }
    return false;
}

}  // namespace

int run_harness(std::span<const std::string> args, std::span<const TestDescriptor> tests,
                const HarnessConfig& config) {
    ignore_sigpipe();
    auto parsed = parse_command_line(args, config.out_fd);
    if (auto* usage = std::get_if<UsageError>(&parsed)) {
        (void)write_all(config.err_fd, fmt::format("error: {}\n", usage->text));
        return kFailureStatus;
    }
    if (std::holds_alternative<HelpShown>(parsed)) return 0;
    const RunOptions& options = std::get<RunOptions>(parsed);

    const Selection selection = select_tests(options, tests);
    ReportSettings settings;
    settings.color = use_color(options, config.out_fd);
    settings.show_output = options.show_output;
    settings.time_limits = options.time_limits;
    ReportOutput out(config.out_fd, settings.color);
    std::unique_ptr<Reporter> reporter = format_info(options.format).make(out, settings);

    if (options.list) {
        if (std::error_code error = list_tests(options, selection, *reporter)) {
            return io_error(config.err_fd, error);
        }
        return 0;
    }

    settings.workers = resolve_workers(options);
    std::optional<ResultLog> log;
    if (options.logfile) {
        auto created = ResultLog::create(*options.logfile);
        if (!created) return io_error(config.err_fd, created.error());
        log.emplace(std::move(created).value());
    }

    std::vector<PlannedTest> planned;
    planned.reserve(selection.tests.size());
    for (const TestDescriptor* test : selection.tests) {
        planned.push_back({test, runs_as_ignored(options, *test)});
    }
    RunConfig run;
    run.workers = settings.workers;
    run.capture = !options.nocapture;
    run.fail_fast = options.fail_fast;
    run.show_output = options.show_output;
    run.time_limits = options.time_limits;
    run.shuffle_seed = selection.shuffle_seed;
    run.filtered_out = selection.filtered_out;
    run.slow_test_after = config.slow_test_after;
    run.stack_size = test_stack_size();
    run.start_thread = config.start_thread;
    try {
        const bool succeeded = run_tests(run, planned, *reporter, log ? &*log : nullptr);
        return succeeded ? 0 : kFailureStatus;
    } catch (const OutputError& failed) {
        return io_error(config.err_fd, failed.error);
    }
}

void run_test_harness(std::span<const std::string> args, std::span<const TestDescriptor> tests) {
    const int status = run_harness(args, tests, HarnessConfig{});
    if (status == 0) return;
    std::fflush(nullptr);
    // A thread that a test body left running may still hold the program's state; ending
    // without destructors keeps it from touching torn-down objects.
    std::_Exit(status);
}

}  // namespace dpt
