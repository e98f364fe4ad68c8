#include "report/formats.hpp"

#include <gtest/gtest.h>

#include <string>

#include "synthetic_run.hpp"

namespace dpt {
namespace {

using namespace dpt::testing;

TEST(ReportFormats, TableOrderNamesAndGating) {
    const auto formats = report_formats();
    ASSERT_EQ(formats.size(), 4u);
    const struct {
        std::string_view name;
        Format format;
        bool unstable;
    } expected[] = {{"pretty", Format::pretty, false},
                    {"terse", Format::terse, false},
                    {"json", Format::json, true},
                    {"junit", Format::junit, true}};
    for (std::size_t i = 0; i < formats.size(); ++i) {
        EXPECT_EQ(formats[i].name, expected[i].name);
        EXPECT_EQ(formats[i].format, expected[i].format);
        EXPECT_EQ(formats[i].unstable, expected[i].unstable);
        EXPECT_EQ(&format_info(expected[i].format), &formats[i]);
    }
}

// Every format in the table reports a run's outcome the same way.
TEST(ReportFormats, EveryFormatCallsARunWithAFailureFailed) {
    for (const FormatInfo& info : report_formats()) {
        const auto [pass_text, pass_ok] = run_report(info.format, {}, {passed("p")});
        EXPECT_TRUE(pass_ok) << info.name;
        EXPECT_FALSE(pass_text.empty()) << info.name;
        const auto [fail_text, fail_ok] =
            run_report(info.format, {}, {passed("p"), failed("f", "")});
        EXPECT_FALSE(fail_ok) << info.name;
        EXPECT_NE(fail_text.find('f'), std::string::npos) << info.name;
    }
}

}  // namespace
}  // namespace dpt
