#pragma once

#include <system_error>

#include "report/options.hpp"
#include "report/reporter.hpp"
#include "report/selection.hpp"

namespace dpt {

// Lists the selected tests through the reporter (list_start, list_test per test in name
// order, list_finish with the counts) and runs nothing. With --logfile the file is created
// or emptied and gets "test {name}\n" per listed test. Returns the error of a failed
// write of the listing or the log; the caller reports it as an io error when listing.
[[nodiscard]] std::error_code list_tests(const RunOptions& options, const Selection& selection,
                                         Reporter& reporter);

}  // namespace dpt
