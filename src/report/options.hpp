#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "report/reporter.hpp"

namespace dpt {

enum class IgnoredMode { normal, include, only };
enum class ColorChoice { auto_, always, never };
enum class Format { pretty, terse, json, junit };

// The harness's command line, read once per process.
struct RunOptions {
    bool list = false;
    std::vector<std::string> filters;
    bool exact = false;
    std::vector<std::string> skip;
    bool exclude_should_panic = false;
    IgnoredMode ignored = IgnoredMode::normal;
    bool run_tests = true;
    bool bench = false;
    bool force_run_in_process = false;
    bool fail_fast = false;
    std::optional<std::string> logfile;
    bool nocapture = false;
    std::optional<std::size_t> test_threads;
    ColorChoice color = ColorChoice::auto_;
    Format format = Format::pretty;
    bool show_output = false;
    bool shuffle = false;
    std::optional<std::uint64_t> shuffle_seed;
    std::optional<TimeLimits> time_limits;
};

struct HelpShown {};
struct UsageError {
    std::string text;  // reported as "error: {text}"
};

// Reads the command line (args[0] is the program's path). Writes the help itself when
// asked for it. May end the process with a fatal stop for a bad environment variable.
std::variant<RunOptions, HelpShown, UsageError> parse_command_line(
    std::span<const std::string> args);
// The same, writing the help and the --logfile warning to `out_fd` instead of standard output.
std::variant<RunOptions, HelpShown, UsageError> parse_command_line(
    std::span<const std::string> args, int out_fd);

}  // namespace dpt
