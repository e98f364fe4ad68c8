#include "report/options.hpp"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <limits>

#include "platform/error.hpp"
#include "platform/process.hpp"
#include "report/env.hpp"
#include "report/formats.hpp"
#include "report/help.hpp"

namespace dpt {

namespace {

// What the option parser found: every occurrence's value per option, and the free words.
struct ParsedWords {
    std::vector<std::vector<std::string>> values;  // indexed like harness_options()
    std::vector<std::string> free;

    bool given(std::string_view long_name) const { return !of(long_name).empty(); }
    const std::vector<std::string>& of(std::string_view long_name) const {
        const auto options = harness_options();
        for (std::size_t i = 0; i < options.size(); ++i) {
            if (options[i].long_name == long_name) return values[i];
        }
        static const std::vector<std::string> none;
        return none;
    }
    const std::vector<std::string>& of_short(char short_name) const {
        const auto options = harness_options();
        for (std::size_t i = 0; i < options.size(); ++i) {
            if (options[i].short_name == short_name) return values[i];
        }
        static const std::vector<std::string> none;
        return none;
    }
};

std::optional<std::size_t> find_long(std::string_view name) {
    const auto options = harness_options();
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (!options[i].long_name.empty() && options[i].long_name == name) return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> find_short(char letter) {
    const auto options = harness_options();
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (options[i].short_name != '\0' && options[i].short_name == letter) return i;
    }
    return std::nullopt;
}

// Reads the words after the program's path. A long option is "--name" or "--name=value";
// a short one is "-x", and "-Z" takes "-Zvalue", "-Z=value" or the next word. Short options
// are not grouped and names are not abbreviated. "--" makes every later word free; "-"
// alone is a free word.
std::variant<ParsedWords, UsageError> read_words(std::span<const std::string> words) {
    const auto options = harness_options();
    ParsedWords parsed;
    parsed.values.resize(options.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--") {
            parsed.free.insert(parsed.free.end(),
                               words.begin() + static_cast<std::ptrdiff_t>(i) + 1, words.end());
            break;
        }
        if (word.size() < 2 || word[0] != '-') {
            parsed.free.push_back(word);
            continue;
        }
        std::string name;  // as written, without dashes
        std::optional<std::size_t> index;
        std::optional<std::string> attached;
        if (word[1] == '-') {
            const std::string_view body = std::string_view(word).substr(2);
            const auto eq = body.find('=');
            name = body.substr(0, eq);
            if (eq != std::string_view::npos) attached = std::string(body.substr(eq + 1));
            index = find_long(name);
        } else {
            const std::string_view body = std::string_view(word).substr(1);
            index = find_short(body[0]);
            if (index && options[*index].takes_argument) {
                name = body.substr(0, 1);
                std::string_view rest = body.substr(1);
                if (!rest.empty()) {
                    if (rest.front() == '=') rest.remove_prefix(1);
                    attached = std::string(rest);
                }
            } else if (index && body.size() > 1 && body[1] == '=') {
                name = body.substr(0, 1);
                attached = std::string(body.substr(2));
            } else {
                name = body.substr(0, body.find('='));
                if (body.size() > 1) index.reset();
            }
        }
        if (!index) return UsageError{fmt::format("Unrecognized option: '{}'", name)};
        const OptionInfo& option = options[*index];
        std::string value;
        if (option.takes_argument) {
            if (attached) {
                value = std::move(*attached);
            } else if (i + 1 < words.size()) {
                value = words[++i];
            } else {
                return UsageError{fmt::format("Argument to option '{}' missing", name)};
            }
        } else if (attached) {
            return UsageError{fmt::format("Option '{}' does not take an argument", name)};
        }
        auto& occurrences = parsed.values[*index];
        if (!occurrences.empty() && option.long_name != "skip") {
            return UsageError{fmt::format("Option '{}' given more than once", name)};
        }
        occurrences.push_back(std::move(value));
    }
    return parsed;
}

std::string unstable_flag_error(std::string_view kind, std::string_view name) {
    return fmt::format(
        "The \"{}\" {} is only accepted on the nightly compiler with -Z unstable-options", name,
        kind);
}

std::optional<Format> format_named(std::string_view name, bool& unstable) {
    for (const FormatInfo& info : report_formats()) {
        if (info.name == name) {
            unstable = info.unstable;
            return info.format;
        }
    }
    return std::nullopt;
}

}  // namespace

std::variant<RunOptions, HelpShown, UsageError> parse_command_line(
    std::span<const std::string> args) {
    return parse_command_line(args, STDOUT_FILENO);
}

std::variant<RunOptions, HelpShown, UsageError> parse_command_line(
    std::span<const std::string> args, int out_fd) {
    const std::string_view program =
        args.empty() ? std::string_view("...") : std::string_view(args[0]);
    auto read = read_words(args.empty() ? args : args.subspan(1));
    if (auto* error = std::get_if<UsageError>(&read)) return std::move(*error);
    const ParsedWords& words = std::get<ParsedWords>(read);

    if (words.given("help")) {
        if (const auto error = write_all(out_fd, help_text(program))) {
            // A help that never reached its reader must not look like success.
            return UsageError{
                fmt::format("io error when writing the help: {}", describe_error(error))};
        }
        return HelpShown{};
    }

    bool unstable = false;
    if (const auto& z = words.of_short('Z'); !z.empty()) {
        if (!env_var(kBootstrapVar)) {
            return UsageError{"the option `Z` is only accepted on the nightly compiler"};
        }
        if (z.front() != "unstable-options") return UsageError{"Unrecognized option to `Z`"};
        unstable = true;
    }

    if (!unstable) {
        for (const std::string_view flag : {"force-run-in-process", "exclude-should-panic",
                                            "fail-fast", "report-time", "ensure-time"}) {
            if (words.given(flag)) return UsageError{unstable_flag_error("flag", flag)};
        }
    }

    RunOptions options;
    options.force_run_in_process = words.given("force-run-in-process");
    options.exclude_should_panic = words.given("exclude-should-panic");
    options.fail_fast = words.given("fail-fast");

    const bool ensure_time = words.given("ensure-time");
    if (words.given("report-time") || ensure_time)
        options.time_limits = read_time_limits(ensure_time);

    if (words.given("shuffle")) {
        if (!unstable) return UsageError{unstable_flag_error("flag", "shuffle")};
        options.shuffle = true;
    } else if (unstable) {
        if (const auto value = env_var(kShuffleVar)) options.shuffle = *value != "0";
    }

    if (const auto& seed = words.of("shuffle-seed"); !seed.empty()) {
        if (!unstable) return UsageError{unstable_flag_error("option", "shuffle-seed")};
        NumberError error;
        const auto value =
            parse_decimal(seed.front(), std::numeric_limits<std::uint64_t>::max(), &error);
        if (!value) {
            return UsageError{fmt::format(
                "argument for --shuffle-seed must be a number (error: {})", error.description)};
        }
        options.shuffle_seed = value;
    } else if (unstable) {
        options.shuffle_seed = read_shuffle_seed_var();
    }
    if (options.shuffle_seed) options.shuffle = true;

    const bool include_ignored = words.given("include-ignored");
    const bool quiet = words.given("quiet");
    options.exact = words.given("exact");
    options.list = words.given("list");
    options.skip = words.of("skip");
    options.bench = words.given("bench");
    options.run_tests = !options.bench || words.given("test");

    if (const auto& logfile = words.of("logfile"); !logfile.empty()) {
        // The warning is advice only; a failed write of it does not stop the run.
        (void)write_all(out_fd, "warning: `--logfile` is deprecated");
        options.logfile = logfile.front();
    }

    const bool only_ignored = words.given("ignored");
    if (include_ignored && only_ignored) {
        return UsageError{"the options --include-ignored and --ignored are mutually exclusive"};
    }
    options.ignored = include_ignored ? IgnoredMode::include
                      : only_ignored  ? IgnoredMode::only
                                      : IgnoredMode::normal;

    options.filters = words.free;

    if (words.given("no-capture") || words.given("nocapture")) {
        options.nocapture = true;
    } else if (const auto value = env_var(kNoCaptureVar)) {
        options.nocapture = *value != "0";
    }

    if (const auto& threads = words.of("test-threads"); !threads.empty()) {
        NumberError error;
        const auto count =
            parse_decimal(threads.front(), std::numeric_limits<std::size_t>::max(), &error);
        if (!count) {
            return UsageError{fmt::format(
                "argument for --test-threads must be a number > 0 (error: {})", error.description)};
        }
        if (*count == 0) return UsageError{"argument for --test-threads must not be 0"};
        options.test_threads = static_cast<std::size_t>(*count);
    }

    if (const auto& color = words.of("color"); !color.empty()) {
        const std::string& value = color.front();
        if (value == "auto") {
            options.color = ColorChoice::auto_;
        } else if (value == "always") {
            options.color = ColorChoice::always;
        } else if (value == "never") {
            options.color = ColorChoice::never;
        } else {
            return UsageError{
                fmt::format("argument for --color must be auto, always, or never (was {})", value)};
        }
    }

    if (const auto& format = words.of("format"); !format.empty()) {
        const std::string& value = format.front();
        bool needs_unstable = false;
        const auto chosen = format_named(value, needs_unstable);
        if (!chosen) {
            return UsageError{fmt::format(
                "argument for --format must be pretty, terse, json or junit (was {})", value)};
        }
        if (needs_unstable && !unstable) {
            return UsageError{
                fmt::format("The \"{}\" format is only accepted on the nightly compiler with -Z "
                            "unstable-options",
                            value)};
        }
        options.format = *chosen;
    } else {
        options.format = quiet ? Format::terse : Format::pretty;
    }

    options.show_output = words.given("show-output");
    return options;
}

}  // namespace dpt
