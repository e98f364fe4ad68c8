#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "report/pretty.hpp"

namespace dpt {

// The class name and test name of a test in the JUnit document. An integration test is
// class "integration" with its whole name. Any other test whose name has a leading path
// ("a::b::c") is class "a::b" with name "c"; without a path, the class is the kind's name
// ("unit", "documentation_example", "unspecified") and the name is whole.
struct JunitName {
    std::string classname;
    std::string name;
};
JunitName junit_name(const TestDescriptor& test);

// One XML document on one line, written when the run finishes (the root holds the
// totals): the declaration at run start, then every non-ignored result as a testcase in
// finishing order and a single final line feed. Texts are made safe for XML (see xml.hpp).
// The listing is the default report's.
class JunitReporter : public PrettyReporter {
  public:
    using PrettyReporter::PrettyReporter;

    void run_start(const RunStart& start) override;
    void test_start(const TestDescriptor& test) override;
    void slow_test(const TestDescriptor& test) override;
    void test_result(const TestResult& result) override;
    bool run_finish(const RunSummary& summary) override;

  private:
    std::size_t selected_ = 0;
    std::vector<TestResult> results_;
};

}  // namespace dpt
