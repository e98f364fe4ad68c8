#pragma once

#include "report/output.hpp"
#include "report/reporter.hpp"

namespace dpt {

// The default report: one status line per test, the failures section and the summary.
class PrettyReporter : public Reporter {
  public:
    PrettyReporter(ReportOutput& out, const ReportSettings& settings)
        : out_(out), settings_(settings) {}

    void run_start(const RunStart& start) override;
    void test_start(const TestDescriptor& test) override;
    void slow_test(const TestDescriptor& test) override;
    void test_result(const TestResult& result) override;
    bool run_finish(const RunSummary& summary) override;

    void list_test(const TestDescriptor& test) override;
    void list_finish(const ListingSummary& summary) override;

  protected:
    ReportOutput& out_;
    const ReportSettings& settings_;
};

}  // namespace dpt
