#pragma once

#include <cstddef>

#include "report/pretty.hpp"

namespace dpt {

// One character per test ("." passed, "i" ignored), a progress note after every 87 of
// them, a line of its own for each failure; the run start, the closing sections (without
// the time failures) and the listing's per-test lines are the default report's.
class TerseReporter : public PrettyReporter {
  public:
    // How many short results fill a line before the progress note.
    static constexpr std::size_t kLineWidth = 87;

    using PrettyReporter::PrettyReporter;

    void run_start(const RunStart& start) override;
    void test_start(const TestDescriptor& test) override;
    void slow_test(const TestDescriptor& test) override;
    void test_result(const TestResult& result) override;
    bool run_finish(const RunSummary& summary) override;

    void list_finish(const ListingSummary& summary) override;

  private:
    void write_progress();

    std::size_t selected_ = 0;
    std::size_t reported_ = 0;
    std::size_t on_line_ = 0;
};

}  // namespace dpt
