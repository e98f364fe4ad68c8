#pragma once

#include "report/output.hpp"
#include "report/reporter.hpp"

namespace dpt {

// One JSON object per line for every event of the run and of the listing. Every text
// value is decoded as UTF-8 (ill-formed bytes become U+FFFD) and escaped with
// `json_escape`, so each line is a document a strict parser accepts.
class JsonReporter : public Reporter {
  public:
    JsonReporter(ReportOutput& out, const ReportSettings& settings)
        : out_(out), settings_(settings) {}

    void run_start(const RunStart& start) override;
    void test_start(const TestDescriptor& test) override;
    void slow_test(const TestDescriptor& test) override;
    void test_result(const TestResult& result) override;
    bool run_finish(const RunSummary& summary) override;

    void list_start() override;
    void list_test(const TestDescriptor& test) override;
    void list_finish(const ListingSummary& summary) override;

  private:
    ReportOutput& out_;
    const ReportSettings& settings_;
};

}  // namespace dpt
