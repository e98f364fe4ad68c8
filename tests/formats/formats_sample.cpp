// A program with a handful of made-up tests, run through the real harness so that the
// consumer tests read the reports exactly as the program prints them. Each test prints
// the kind of output that breaks careless report writers.
#include <span>
#include <string>
#include <vector>

#include "entry/checks.hpp"
#include "entry/console.hpp"
#include "entry/harness.hpp"
#include "entry/test_descriptor.hpp"

namespace {

using dpt::EntryResult;
using dpt::TestDescriptor;
using dpt::TestKind;

TestDescriptor sample(std::string name, dpt::TestEntry entry) {
    TestDescriptor d;
    d.name = std::move(name);
    d.source_path = "tests/formats/formats_sample.cpp";
    d.start_line = 1;
    d.start_col = 1;
    d.end_line = 1;
    d.end_col = 43;
    d.test_kind = TestKind::integration;
    d.entry = std::move(entry);
    return d;
}

std::vector<TestDescriptor> samples() {
    std::vector<TestDescriptor> tests;
    tests.push_back(sample("sample::passes", [] {
        dpt::print_out("fine \"so far\" <?ok?> & ]]>\n");
        return EntryResult{};
    }));
    tests.push_back(sample("sample::fails_a_check", [] {
        dpt::print_out(
            "\x1b[31mcoloured\x1b[0m ]]> <?xml version=\"1.0\"?> bad \xff\xc3( bytes\x01\n");
        dpt::require_equal(1, 2, "numbers \"differ\" <&>");
        return EntryResult{};
    }));
    tests.push_back(sample("sample::returns_text",
                           [] { return EntryResult{"said \"no\" <&> \x1b[1m\nsecond line"}; }));
    tests.push_back(
        sample("sample::name \"with\" quote\\backslash\x1b", [] { return EntryResult{}; }));
    TestDescriptor ignored = sample("sample::ignored", [] { return EntryResult{}; });
    ignored.ignore = true;
    ignored.ignore_message = "not \"now\" <later>";
    tests.push_back(std::move(ignored));
    return tests;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    const std::vector<TestDescriptor> tests = samples();
    dpt::run_test_harness(args, tests);
    return 0;
}
