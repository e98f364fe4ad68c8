// The command-line parser never crashes, and every usage error it returns is one of the
// texts of its table, with a placeholder that fits: an option of the table, a number
// error, or a piece of the words given.
//
// Input: the first byte chooses whether DPT_BOOTSTRAP is set (bit 0), so the unstable
// options are reachable; the rest is the words after the program's path, split at NUL.
#include <fcntl.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "report/formats.hpp"
#include "report/help.hpp"
#include "report/options.hpp"

namespace {

int null_fd = -1;

enum class Slot {
    none,             // the text is exact
    word_part,        // a piece of one of the words
    option_name,      // a long name or a short letter of the table
    argument_option,  // the same, of an option that takes an argument
    flag_option,      // the same, of an option that takes none
    unstable_flag,    // a flag that needs -Z unstable-options
    unstable_format,  // a format that needs -Z unstable-options
    number_error,     // the description of a bad number
};

struct Pattern {
    std::string_view prefix;
    std::string_view suffix;
    Slot slot;
};

// A help written to the null device cannot fail, so the help's write error is not here.
const std::array kPatterns{
    Pattern{"Unrecognized option: '", "'", Slot::word_part},
    Pattern{"Argument to option '", "' missing", Slot::argument_option},
    Pattern{"Option '", "' does not take an argument", Slot::flag_option},
    Pattern{"Option '", "' given more than once", Slot::option_name},
    Pattern{"the option `Z` is only accepted on the nightly compiler", "", Slot::none},
    Pattern{"Unrecognized option to `Z`", "", Slot::none},
    Pattern{"The \"", "\" flag is only accepted on the nightly compiler with -Z unstable-options",
            Slot::unstable_flag},
    Pattern{"The \"shuffle-seed\" option is only accepted on the nightly compiler with -Z "
            "unstable-options",
            "", Slot::none},
    Pattern{"argument for --shuffle-seed must be a number (error: ", ")", Slot::number_error},
    Pattern{"the options --include-ignored and --ignored are mutually exclusive", "", Slot::none},
    Pattern{"argument for --test-threads must be a number > 0 (error: ", ")", Slot::number_error},
    Pattern{"argument for --test-threads must not be 0", "", Slot::none},
    Pattern{"argument for --color must be auto, always, or never (was ", ")", Slot::word_part},
    Pattern{"argument for --format must be pretty, terse, json or junit (was ", ")",
            Slot::word_part},
    Pattern{"The \"", "\" format is only accepted on the nightly compiler with -Z unstable-options",
            Slot::unstable_format},
};

bool names_option(std::string_view name, int takes_argument /* -1: either */) {
    for (const dpt::OptionInfo& option : dpt::harness_options()) {
        const bool named =
            (!option.long_name.empty() && option.long_name == name) ||
            (option.short_name != '\0' && name.size() == 1 && name.front() == option.short_name);
        if (named && (takes_argument < 0 || option.takes_argument == (takes_argument == 1)))
            return true;
    }
    return false;
}

bool slot_fits(Slot slot, std::string_view value, const std::vector<std::string>& words) {
    switch (slot) {
        case Slot::none:
            return value.empty();
        case Slot::word_part:
            for (const std::string& word : words) {
                if (word.find(value) != std::string::npos) return true;
            }
            return false;
        case Slot::option_name:
            return names_option(value, -1);
        case Slot::argument_option:
            return names_option(value, 1);
        case Slot::flag_option:
            return names_option(value, 0);
        case Slot::unstable_flag:
            for (const std::string_view flag :
                 {"force-run-in-process", "exclude-should-panic", "fail-fast", "report-time",
                  "ensure-time", "shuffle"}) {
                if (value == flag) return true;
            }
            return false;
        case Slot::unstable_format:
            for (const dpt::FormatInfo& format : dpt::report_formats()) {
                if (format.unstable && format.name == value) return true;
            }
            return false;
        case Slot::number_error:
            return value == "cannot parse integer from empty string" ||
                   value == "invalid digit found in string" ||
                   value == "number too large to fit in target type";
    }
    return false;
}

bool known_error(std::string_view text, const std::vector<std::string>& words) {
    for (const Pattern& pattern : kPatterns) {
        if (text.size() < pattern.prefix.size() + pattern.suffix.size()) continue;
        if (!text.starts_with(pattern.prefix) || !text.ends_with(pattern.suffix)) continue;
        const std::string_view value = text.substr(
            pattern.prefix.size(), text.size() - pattern.prefix.size() - pattern.suffix.size());
        if (slot_fits(pattern.slot, value, words)) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Variables whose bad values end the process, and those that change what is read.
    for (const char* name :
         {"DPT_TEST_NOCAPTURE", "DPT_TEST_THREADS", "DPT_TEST_SHUFFLE", "DPT_TEST_SHUFFLE_SEED",
          "DPT_TEST_TIME_UNIT", "DPT_TEST_TIME_INTEGRATION", "DPT_TEST_TIME_DOCEXAMPLE"}) {
        unsetenv(name);
    }
    null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null_fd < 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    if (data[0] & 1) {
        setenv("DPT_BOOTSTRAP", "1", 1);
    } else {
        unsetenv("DPT_BOOTSTRAP");
    }
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::vector<std::string> args{"prog"};
    std::vector<std::string> words;
    for (std::size_t start = 0;;) {
        const std::size_t end = rest.find('\0', start);
        words.emplace_back(rest.substr(start, end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    if (rest.empty()) words.clear();
    args.insert(args.end(), words.begin(), words.end());

    const auto result = dpt::parse_command_line(args, null_fd);
    if (const auto* error = std::get_if<dpt::UsageError>(&result)) {
        if (!known_error(error->text, words)) std::abort();
    }
    return 0;
}
