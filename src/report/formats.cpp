#include "report/formats.hpp"

#include <array>

#include "report/json.hpp"
#include "report/junit.hpp"
#include "report/pretty.hpp"
#include "report/terse.hpp"

namespace dpt {
namespace {

template <class R>
std::unique_ptr<Reporter> make(ReportOutput& out, const ReportSettings& settings) {
    return std::make_unique<R>(out, settings);
}

constexpr std::array<FormatInfo, 4> kFormats{{
    {"pretty", Format::pretty, false, &make<PrettyReporter>},
    {"terse", Format::terse, false, &make<TerseReporter>},
    {"json", Format::json, true, &make<JsonReporter>},
    {"junit", Format::junit, true, &make<JunitReporter>},
}};

}  // namespace

std::span<const FormatInfo> report_formats() { return kFormats; }

const FormatInfo& format_info(Format format) {
    for (const FormatInfo& info : kFormats) {
        if (info.format == format) return info;
    }
    return kFormats.front();
}

}  // namespace dpt
