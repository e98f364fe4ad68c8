// The program's entry: registers its one test and hands the command line to the harness.
#include <span>
#include <string>
#include <vector>

#include "entry/harness.hpp"
#include "entry/test_descriptor.hpp"
#include "race/driver.hpp"

namespace {

// The test's position below is recorded in its descriptor; a unit test keeps them in step.
void stream_and_hook_check_deliver_exactly_once() { dpt::race_test_driver(); }

const dpt::TestDescriptor kTests[] = {{
    .name = "stream_and_hook_check_deliver_exactly_once",
    .source_path = "src/entry/main.cpp",
    .start_line = 13,
    .start_col = 6,
    .end_line = 13,
    .end_col = 48,
    .test_kind = dpt::TestKind::integration,
    .entry = dpt::test_entry(stream_and_hook_check_deliver_exactly_once),
}};

}  // namespace

#include "platform/interrupt.hpp"

int main(int argc, char** argv) {
    // Before any thread starts, so that every thread inherits the blocked signals.
    dpt::install_interrupt_cleanup();
    std::vector<std::string> args(argv, argv + argc);
    dpt::run_test_harness(args, kTests);
    return 0;
}
