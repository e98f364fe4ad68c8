// Feeds the machine-read reports to the programs that consume them in practice: jq and a
// strict JSON parser for JSON lines; xmllint, the CI servers' JUnit schema and junitparser
// for JUnit. The reports come from the real harness running a sample program, and from
// the reporters driven through runs the program cannot easily produce.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "synthetic_run.hpp"

namespace dpt {
namespace {

using namespace dpt::testing;
namespace fs = std::filesystem;

struct Ran {
    int status = -1;
    std::string out;
};

Ran run_shell(const std::string& command) {
    Ran ran;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return ran;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) ran.out.append(buffer, n);
    const int status = ::pclose(pipe);
    ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ran;
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Consumers : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "dpt_formats_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    fs::path write(const std::string& name, const std::string& text) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // Runs the sample program; its standard output goes to `report`.
    int run_sample(const std::string& args, const fs::path& report, std::string* err = nullptr) {
        const fs::path err_path = dir_ / "stderr.txt";
        const Ran ran =
            run_shell("DPT_BOOTSTRAP=1 " + quoted(DPT_FORMATS_SAMPLE) + " " + args + " >" +
                      quoted(report.string()) + " 2>" + quoted(err_path.string()));
        if (err != nullptr) *err = read_file(err_path);
        return ran.status;
    }

    static Ran check(const std::string& script, const fs::path& report,
                     const std::string& extra = {}) {
        return run_shell(quoted(std::string(DPT_FORMATS_SCRIPTS_DIR) + "/" + script) + " " +
                         quoted(report.string()) + " " + extra + " 2>&1");
    }

    fs::path dir_;
};

struct ProgramCase {
    std::string args;
    int status;
    std::string script;
    std::string summary;  // the first line the checker prints
};

TEST_F(Consumers, ReportsOfTheRealHarnessReadBack) {
    const std::string z = "-Z unstable-options --test-threads 1 ";
    const ProgramCase cases[] = {
        {z + "--format json", 101, "check_json.sh", "run: 5 tests, 2 passed, 2 failed, 1 ignored"},
        {z + "--format json --exact sample::passes", 0, "check_json.sh",
         "run: 1 tests, 1 passed, 0 failed, 0 ignored"},
        {z + "--format json --show-output --report-time --include-ignored", 101, "check_json.sh",
         "run: 5 tests, 3 passed, 2 failed, 0 ignored"},
        {z + "--format json --list", 0, "check_json.sh", "listing: 5 tests"},
        {z + "--format junit", 101, "check_junit.sh 5 2 1",
         "junit: 5 tests, 2 failures, 1 skipped"},
        {z + "--format junit --exact sample::passes", 0, "check_junit.sh 1 0 0",
         "junit: 1 tests, 0 failures, 0 skipped"},
        {z + "--format junit --show-output --report-time", 101, "check_junit.sh 5 2 1",
         "junit: 5 tests, 2 failures, 1 skipped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const fs::path report = dir_ / "report";
        EXPECT_EQ(run_sample(c.args, report), c.status);
        const auto space = c.script.find(' ');
        const Ran checked = check(c.script.substr(0, space), report,
                                  space == std::string::npos ? "" : c.script.substr(space + 1));
        EXPECT_EQ(checked.status, 0) << checked.out << "\n" << read_file(report);
        EXPECT_EQ(checked.out.substr(0, checked.out.find('\n')), c.summary);
    }
}

TEST_F(Consumers, JunitListingIsTheDefaultListing) {
    const fs::path report = dir_ / "listing";
    ASSERT_EQ(
        run_sample("-Z unstable-options --format junit --list --exact sample::passes", report), 0);
    EXPECT_EQ(read_file(report), "sample::passes: test\n\n1 test, 0 benchmarks\n");
}

TEST_F(Consumers, MachineFormatsNeedUnstableOptions) {
    for (const std::string format : {"json", "junit"}) {
        for (const std::string list : {"", " --list"}) {
            std::string err;
            EXPECT_EQ(run_sample("--format " + format + list, dir_ / "report", &err), 101);
            EXPECT_EQ(err, "error: The \"" + format +
                               "\" format is only accepted on the nightly compiler with -Z "
                               "unstable-options\n");
        }
    }
}

// Runs with a time-limit failure, a slow-test warning and hostile texts, straight from
// the reporters.
TEST_F(Consumers, SyntheticRunsReadBack) {
    ReportSettings settings;
    settings.show_output = true;
    settings.time_limits = TimeLimits{};
    std::vector<SyntheticTest> tests = hostile_run();
    tests.push_back(failed_time_limit("timed \"out\""));
    tests.push_back(failed_with_text("text", "status ]]> <? \x1b\x02"));
    tests[1].slow = true;

    const fs::path json = write("run.json", run_report(Format::json, settings, tests).first);
    const Ran json_checked = check("check_json.sh", json);
    EXPECT_EQ(json_checked.status, 0) << json_checked.out;
    EXPECT_EQ(json_checked.out, "run: 6 tests, 1 passed, 4 failed, 1 ignored\n");

    const fs::path junit = write("run.xml", run_report(Format::junit, settings, tests).first);
    const Ran junit_checked = check("check_junit.sh", junit, "6 4 1");
    EXPECT_EQ(junit_checked.status, 0) << junit_checked.out << read_file(junit);
}

// The checkers themselves must reject what a consumer rejects, or the tests above prove
// nothing.
TEST_F(Consumers, CheckersRejectBrokenReports) {
    const std::string start =
        "{ \"type\": \"suite\", \"event\": \"started\", \"test_count\": 1 }\n";
    const std::string finish =
        "{ \"type\": \"suite\", \"event\": \"ok\", \"passed\": 1, \"failed\": 0, \"ignored\": 0, "
        "\"measured\": 0, \"filtered_out\": 0 }\n";
    const std::string ok = "{ \"type\": \"test\", \"name\": \"a\", \"event\": \"ok\" }\n";
    const std::string decl = R"(<?xml version="1.0" encoding="UTF-8"?>)";
    const std::string suite =
        R"(<testsuites><testsuite name="test" package="test" id="0" errors="0" failures="1" tests="1" skipped="0" >)";
    const std::string end = "<system-out/><system-err/></testsuite></testsuites>\n";
    const struct {
        const char* what;
        std::string script;
        std::string text;
    } cases[] = {
        {"sound json", "", start + ok + finish},
        {"raw control byte", "check_json.sh",
         start + "{ \"type\": \"test\", \"name\": \"a\x1b\", \"event\": \"ok\" }\n" + finish},
        {"invalid UTF-8", "check_json.sh",
         start + "{ \"type\": \"test\", \"name\": \"a\xff\", \"event\": \"ok\" }\n" + finish},
        {"result missing", "check_json.sh", start + finish},
        {"not an object", "check_json.sh", start + ok + "[1]\n" + finish},
        {"sound junit", "",
         decl + suite +
             R"(<testcase classname="integration" name="a" time="0.25"><failure message="&quot;" type="assert"/></testcase>)" +
             end},
        {"unescaped quote", "check_junit.sh",
         decl + suite +
             R"(<testcase classname="integration" name="a" time="0.25"><failure message=""" type="assert"/></testcase>)" +
             end},
        {"escape byte in character data", "check_junit.sh",
         decl + suite +
             "<testcase classname=\"integration\" name=\"a\" time=\"0.25\"><failure "
             "type=\"assert\"/><system-out><![CDATA[\x1b[31m]]></system-out></testcase>" +
             end},
        {"two lines", "check_junit.sh",
         decl + "\n" + suite +
             R"(<testcase classname="integration" name="a" time="0.25"><failure type="assert"/></testcase>)" +
             end},
        {"count disagrees with testcases", "check_junit.sh",
         decl + suite + R"(<testcase classname="integration" name="a" time="0.25"/>)" + end},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.script.empty()) {
            const std::string script = c.text[0] == '{' ? "check_json.sh" : "check_junit.sh";
            EXPECT_EQ(check(script, write("sound", c.text)).status, 0);
        } else {
            EXPECT_NE(check(c.script, write("broken", c.text)).status, 0);
        }
    }
}

}  // namespace
}  // namespace dpt
