#include "report/sections.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <string>

#include "platform/utf8.hpp"

namespace dpt {

void write_outputs_section(ReportOutput& out, std::string_view title,
                           const std::vector<TestResult>& results) {
    const std::string heading = fmt::format("\n{}:\n", title);
    out.write(heading);
    std::string blocks;
    for (const TestResult& result : results) {
        if (result.captured.empty()) continue;
        blocks += fmt::format("---- {} stdout ----\n", result.test->name);
        blocks += decode_utf8_lossy(result.captured);
        blocks += "\n";
    }
    if (!blocks.empty()) {
        out.write("\n");
        out.write(blocks);
    }
    out.write(heading);
    std::vector<std::string_view> names;
    names.reserve(results.size());
    for (const TestResult& result : results) names.push_back(result.test->name);
    std::sort(names.begin(), names.end());
    for (std::string_view name : names) out.write(fmt::format("    {}\n", name));
}

void write_finish_sections(ReportOutput& out, const ReportSettings& settings,
                           const RunSummary& summary, bool time_failures) {
    if (settings.show_output && !summary.passes.empty()) {
        write_outputs_section(out, "successes", summary.passes);
    }
    if (summary.failed > 0 && !summary.failures.empty()) {
        write_outputs_section(out, "failures", summary.failures);
    }
    if (time_failures && summary.failed > 0 && !summary.time_failures.empty()) {
        write_outputs_section(out, "failures (time limit exceeded)", summary.time_failures);
    }
}

void write_summary(ReportOutput& out, const RunSummary& summary) {
    out.write("\ntest result: ");
    if (summary.succeeded()) {
        out.write_colored("ok", Color::green);
    } else {
        out.write_colored("FAILED", Color::red);
    }
    const double seconds = summary.elapsed.value_or(Seconds(0)).count();
    out.write(fmt::format(
        ". {} passed; {} failed; {} ignored; {} measured; {} filtered out; finished in {:.2f}s\n\n",
        summary.passed, summary.failed, summary.ignored, summary.measured, summary.filtered_out,
        seconds));
}

void write_slow_test_warning(ReportOutput& out, const TestDescriptor& test) {
    out.write(fmt::format("test {} has been running for over {} seconds\n", test.name, 60));
}

}  // namespace dpt
