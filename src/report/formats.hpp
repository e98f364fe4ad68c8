#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "report/options.hpp"
#include "report/output.hpp"
#include "report/reporter.hpp"

namespace dpt {

using ReporterFactory = std::unique_ptr<Reporter> (*)(ReportOutput&, const ReportSettings&);

// One report format: its name on the command line, whether it needs unstable options,
// and how to build it. The command line and the harness read the same table.
struct FormatInfo {
    std::string_view name;
    Format format;
    bool unstable;
    ReporterFactory make;
};

std::span<const FormatInfo> report_formats();
const FormatInfo& format_info(Format format);

}  // namespace dpt
