#include "report/terse.hpp"

#include <fmt/format.h>

#include "report/sections.hpp"

namespace dpt {

void TerseReporter::run_start(const RunStart& start) {
    selected_ = start.selected;
    PrettyReporter::run_start(start);
}

void TerseReporter::test_start(const TestDescriptor& /*test*/) {}

void TerseReporter::slow_test(const TestDescriptor& test) {
    // Nothing else shares the line here, so the warning is written whatever the workers.
    out_.write(fmt::format("test {} has been running for over {} seconds\n", test.name, 60));
}

void TerseReporter::write_progress() {
    out_.write(fmt::format(" {}/{}\n", reported_, selected_));
    on_line_ = 0;
}

void TerseReporter::test_result(const TestResult& result) {
    if (result.outcome.is_failure()) {
        if (on_line_ > 0) write_progress();
        ++reported_;
        out_.write(fmt::format("{} --- ", result.test->name));
        out_.write_colored("FAILED", Color::red);
        out_.write("\n");
        return;
    }
    if (result.outcome.kind == OutcomeKind::ignored) {
        out_.write_colored("i", Color::yellow);
    } else {
        out_.write_colored(".", Color::green);
    }
    ++reported_;
    ++on_line_;
    if (on_line_ == kLineWidth) write_progress();
}

bool TerseReporter::run_finish(const RunSummary& summary) {
    write_finish_sections(out_, settings_, summary, /*time_failures=*/false);
    write_summary(out_, summary);
    return summary.succeeded();
}

void TerseReporter::list_finish(const ListingSummary& /*summary*/) {}

}  // namespace dpt
