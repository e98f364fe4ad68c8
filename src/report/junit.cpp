#include "report/junit.hpp"

#include <fmt/format.h>

#include <string_view>

#include "report/decimal.hpp"
#include "report/xml.hpp"

namespace dpt {
namespace {

std::string_view kind_name(TestKind kind) {
    switch (kind) {
        case TestKind::unit:
            return "unit";
        case TestKind::integration:
            return "integration";
        case TestKind::documentation_example:
            return "documentation_example";
        case TestKind::unspecified:
            break;
    }
    return "unspecified";
}

void write_testcase(std::string& doc, const TestResult& result, bool show_output) {
    const OutcomeKind kind = result.outcome.kind;
    if (kind == OutcomeKind::ignored) return;
    const JunitName names = junit_name(*result.test);
    doc += fmt::format("<testcase classname=\"{}\" name=\"{}\" time=\"{}\"",
                       xml_attribute(names.classname), xml_attribute(names.name),
                       plain_decimal(result.exec_time.count()));
    const auto system_out = [&] {
        if (result.captured.empty()) return;
        doc += "<system-out>";
        write_cdata(doc, result.captured);
        doc += "</system-out>";
    };
    switch (kind) {
        case OutcomeKind::passed:
            if (show_output && !result.captured.empty()) {
                doc += ">";
                system_out();
                doc += "</testcase>";
            } else {
                doc += "/>";
            }
            return;
        case OutcomeKind::failed:
            doc += "><failure type=\"assert\"/>";
            system_out();
            break;
        case OutcomeKind::failed_with_text:
            doc += fmt::format("><failure message=\"{}\" type=\"assert\"/>",
                               xml_attribute(result.outcome.message.value_or("")));
            system_out();
            break;
        case OutcomeKind::failed_time_limit:
            doc += "><failure type=\"timeout\"/>";
            break;
        case OutcomeKind::ignored:
            return;
    }
    doc += "</testcase>";
}

}  // namespace

JunitName junit_name(const TestDescriptor& test) {
    if (test.test_kind != TestKind::integration) {
        const auto last = test.name.rfind("::");
        if (last != std::string::npos) {
            return {test.name.substr(0, last), test.name.substr(last + 2)};
        }
    }
    return {std::string(kind_name(test.test_kind)), test.name};
}

void JunitReporter::run_start(const RunStart& start) {
    selected_ = start.selected;
    out_.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
}

void JunitReporter::test_start(const TestDescriptor& /*test*/) {}

void JunitReporter::slow_test(const TestDescriptor& /*test*/) {}

void JunitReporter::test_result(const TestResult& result) { results_.push_back(result); }

bool JunitReporter::run_finish(const RunSummary& summary) {
    std::string doc = fmt::format(
        "<testsuites><testsuite name=\"test\" package=\"test\" id=\"0\" errors=\"0\" "
        "failures=\"{}\" tests=\"{}\" skipped=\"{}\" >",
        summary.failed, selected_, summary.ignored);
    for (const TestResult& result : results_) write_testcase(doc, result, settings_.show_output);
    doc += "<system-out/><system-err/></testsuite></testsuites>\n";
    out_.write(doc);
    return summary.succeeded();
}

}  // namespace dpt
