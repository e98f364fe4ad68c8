#include "report/listing.hpp"

#include <fcntl.h>

#include <algorithm>

#include "platform/error.hpp"
#include "platform/fd.hpp"
#include "platform/process.hpp"

namespace dpt {

std::error_code list_tests(const RunOptions& options, const Selection& selection,
                           Reporter& reporter) {
    std::vector<const TestDescriptor*> tests = selection.tests;
    // A listing is the same whatever the seed: always by name.
    std::stable_sort(
        tests.begin(), tests.end(),
        [](const TestDescriptor* a, const TestDescriptor* b) { return a->name < b->name; });

    UniqueFd log;
    if (options.logfile) {
        log.reset(::open(options.logfile->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        if (!log) return last_error();
    }

    ListingSummary summary;
    try {
        reporter.list_start();
        for (const TestDescriptor* test : tests) {
            // In the include and only modes an ignore mark does not count; the reporter sees
            // the test as it will be treated.
            if (test->ignore && !is_ignored(options, *test)) {
                TestDescriptor shown = *test;
                shown.ignore = false;
                reporter.list_test(shown);
            } else {
                reporter.list_test(*test);
            }
            ++summary.tests;
            if (is_ignored(options, *test)) ++summary.ignored;
            if (log) {
                if (const auto error = write_all(log.get(), "test " + test->name + "\n"))
                    return error;
            }
        }
        reporter.list_finish(summary);
    } catch (const OutputError& error) {
        return error.error;
    }
    return {};
}

}  // namespace dpt
