#include "report/json.hpp"

#include <fmt/format.h>

#include <string>
#include <string_view>

#include "platform/utf8.hpp"
#include "report/decimal.hpp"
#include "report/json_escape.hpp"

namespace dpt {
namespace {

// A JSON string must be UTF-8; names and messages are ours to check as much as output is.
std::string text(std::string_view bytes) { return json_escape(decode_utf8_lossy(bytes)); }

std::string_view result_event(OutcomeKind kind) {
    switch (kind) {
        case OutcomeKind::passed:
            return "ok";
        case OutcomeKind::ignored:
            return "ignored";
        case OutcomeKind::failed:
        case OutcomeKind::failed_with_text:
        case OutcomeKind::failed_time_limit:
            break;
    }
    return "failed";
}

}  // namespace

void JsonReporter::run_start(const RunStart& start) {
    std::string seed;
    if (start.shuffle_seed) seed = fmt::format(", \"shuffle_seed\": {}", *start.shuffle_seed);
    out_.write(
        fmt::format("{{ \"type\": \"suite\", \"event\": \"started\", \"test_count\": {}{} }}\n",
                    start.selected, seed));
}

void JsonReporter::test_start(const TestDescriptor& test) {
    out_.write(fmt::format("{{ \"type\": \"test\", \"event\": \"started\", \"name\": \"{}\" }}\n",
                           text(test.name)));
}

void JsonReporter::slow_test(const TestDescriptor& test) {
    out_.write(fmt::format("{{ \"type\": \"test\", \"event\": \"timeout\", \"name\": \"{}\" }}\n",
                           text(test.name)));
}

void JsonReporter::test_result(const TestResult& result) {
    const OutcomeKind kind = result.outcome.kind;
    std::string exec_time;
    // An ignored test never ran, so it has no run time to show.
    if (settings_.time_limits && kind != OutcomeKind::ignored) {
        exec_time = fmt::format(", \"exec_time\": {}", plain_decimal(result.exec_time.count()));
    }
    std::string stdout_piece;
    if (!result.captured.empty() && (kind != OutcomeKind::passed || settings_.show_output)) {
        stdout_piece = fmt::format(", \"stdout\": \"{}\"", text(result.captured));
    }
    std::string message;
    if (kind == OutcomeKind::failed_time_limit) {
        message = ", \"reason\": \"time limit exceeded\"";
    } else if ((kind == OutcomeKind::failed_with_text || kind == OutcomeKind::ignored) &&
               result.outcome.message) {
        message = fmt::format(", \"message\": \"{}\"", text(*result.outcome.message));
    }
    out_.write(fmt::format("{{ \"type\": \"test\", \"name\": \"{}\", \"event\": \"{}\"{}{}{} }}\n",
                           text(result.test->name), result_event(kind), exec_time, stdout_piece,
                           message));
}

bool JsonReporter::run_finish(const RunSummary& summary) {
    std::string exec_time;
    if (summary.elapsed) {
        exec_time = fmt::format(", \"exec_time\": {}", plain_decimal(summary.elapsed->count()));
    }
    out_.write(
        fmt::format("{{ \"type\": \"suite\", \"event\": \"{}\", \"passed\": {}, \"failed\": {}, "
                    "\"ignored\": {}, \"measured\": {}, \"filtered_out\": {}{} }}\n",
                    summary.succeeded() ? "ok" : "failed", summary.passed, summary.failed,
                    summary.ignored, summary.measured, summary.filtered_out, exec_time));
    return summary.succeeded();
}

void JsonReporter::list_start() {
    out_.write("{ \"type\": \"suite\", \"event\": \"discovery\" }\n");
}

void JsonReporter::list_test(const TestDescriptor& test) {
    out_.write(fmt::format(
        "{{ \"type\": \"test\", \"event\": \"discovered\", \"name\": \"{}\", \"ignore\": {}, "
        "\"ignore_message\": \"{}\", \"source_path\": \"{}\", \"start_line\": {}, "
        "\"start_col\": {}, \"end_line\": {}, \"end_col\": {} }}\n",
        text(test.name), test.ignore ? "true" : "false", text(test.ignore_message.value_or("")),
        text(test.source_path), test.start_line, test.start_col, test.end_line, test.end_col));
}

void JsonReporter::list_finish(const ListingSummary& summary) {
    out_.write(fmt::format(
        "{{ \"type\": \"suite\", \"event\": \"completed\", \"tests\": {}, \"benchmarks\": {}, "
        "\"total\": {}, \"ignored\": {} }}\n",
        summary.tests, summary.benchmarks, summary.tests + summary.benchmarks, summary.ignored));
}

}  // namespace dpt
