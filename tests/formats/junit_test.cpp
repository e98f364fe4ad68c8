#include "report/junit.hpp"

#include <gtest/gtest.h>

#include <string>

#include "synthetic_run.hpp"

namespace dpt {
namespace {

using namespace dpt::testing;

constexpr std::string_view kDeclaration = R"(<?xml version="1.0" encoding="UTF-8"?>)";

TEST(JunitReporter, PassingRunOfTheOneTest) {
    const auto [text, succeeded] =
        run_report(Format::junit, {}, {passed("stream_and_hook_check_deliver_exactly_once", "x")});
    EXPECT_TRUE(succeeded);
    EXPECT_EQ(
        text,
        std::string(kDeclaration) +
            R"(<testsuites><testsuite name="test" package="test" id="0" errors="0" failures="0" tests="1" skipped="0" >)"
            R"(<testcase classname="integration" name="stream_and_hook_check_deliver_exactly_once" time="0.25"/>)"
            "<system-out/><system-err/></testsuite></testsuites>\n");
}

TEST(JunitReporter, FailingRunWithEveryOutcome) {
    ReportSettings settings;
    settings.show_output = true;
    const auto [text, succeeded] =
        run_report(Format::junit, settings,
                   {passed("a_pass", "noise\n"), failed("b_fail", "line one\n]]>"),
                    failed_with_text("c_text", "said \"no\" <&>\nagain"),
                    failed_time_limit("d_slow"), ignored("e_ign", "later"), passed("f_quiet")});
    EXPECT_FALSE(succeeded);
    EXPECT_EQ(
        text,
        std::string(kDeclaration) +
            R"(<testsuites><testsuite name="test" package="test" id="0" errors="0" failures="3" tests="6" skipped="1" >)"
            R"(<testcase classname="integration" name="a_pass" time="0.25"><system-out><![CDATA[noise]]>&#xA;<![CDATA[]]></system-out></testcase>)"
            R"(<testcase classname="integration" name="b_fail" time="0.25"><failure type="assert"/><system-out><![CDATA[line one]]>&#xA;<![CDATA[]]]]><![CDATA[>]]></system-out></testcase>)"
            R"(<testcase classname="integration" name="c_text" time="0.25"><failure message="said &quot;no&quot; &lt;&amp;>&#10;again" type="assert"/>)"
            R"(<system-out><![CDATA[note: said "no" <&>]]>&#xA;<![CDATA[again]]>&#xA;<![CDATA[]]></system-out></testcase>)"
            R"(<testcase classname="integration" name="d_slow" time="1.5"><failure type="timeout"/></testcase>)"
            R"(<testcase classname="integration" name="f_quiet" time="0.25"/>)"
            "<system-out/><system-err/></testsuite></testsuites>\n");
}

TEST(JunitReporter, OutputOfJustTheEndMarker) {
    const std::string text = run_report(Format::junit, {}, {failed("f", "]]>")}).first;
    EXPECT_NE(text.find("<system-out><![CDATA[]]]]><![CDATA[>]]></system-out>"), std::string::npos)
        << text;
}

TEST(JunitReporter, HostileRunIsOneLineWithoutForbiddenCharacters) {
    ReportSettings settings;
    settings.show_output = true;
    const std::string text = run_report(Format::junit, settings, hostile_run()).first;
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find('\n'), text.size() - 1);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        EXPECT_FALSE(byte < 0x20 && c != '\n' && c != '\t') << "control byte " << int(byte);
    }
    EXPECT_NE(text.find(R"(name="quote&quot;and\backslash")"), std::string::npos);
    EXPECT_NE(text.find("name=\"ends_in_invalid\xEF\xBF\xBD\""), std::string::npos);
    EXPECT_NE(
        text.find(R"(message="text with &quot;quotes&quot; &lt;tags> &amp; amps&#10;second line")"),
        std::string::npos);
}

TEST(JunitReporter, ListingIsTheDefaultOne) {
    EXPECT_EQ(list_report(Format::junit, {descriptor("a"), descriptor("b")}),
              "a: test\nb: test\n\n2 tests, 0 benchmarks\n");
}

TEST(JunitName, ClassNameByKind) {
    struct Case {
        std::string name;
        TestKind kind;
        std::string classname;
        std::string short_name;
    };
    const Case cases[] = {
        {"race::stream_and_hook", TestKind::integration, "integration", "race::stream_and_hook"},
        {"plain", TestKind::integration, "integration", "plain"},
        {"report::json::escapes", TestKind::unit, "report::json", "escapes"},
        {"escapes", TestKind::unit, "unit", "escapes"},
        {"guide::example", TestKind::documentation_example, "guide", "example"},
        {"example", TestKind::documentation_example, "documentation_example", "example"},
        {"a::b", TestKind::unspecified, "a", "b"},
        {"loose", TestKind::unspecified, "unspecified", "loose"},
    };
    for (const auto& c : cases) {
        const JunitName names = junit_name(descriptor(c.name, c.kind));
        EXPECT_EQ(names.classname, c.classname) << c.name;
        EXPECT_EQ(names.name, c.short_name) << c.name;
    }
}

}  // namespace
}  // namespace dpt
