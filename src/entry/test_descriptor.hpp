#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace dpt {

// What a test's entry reports: nothing on success, else the failure text.
using EntryResult = std::optional<std::string>;
using TestEntry = std::function<EntryResult()>;

enum class ExpectedFailure { none, expected, expected_with_text };
enum class TestKind { unit, integration, documentation_example, unspecified };

// The static record that registers one test.
struct TestDescriptor {
    std::string name;
    bool ignore = false;
    std::optional<std::string> ignore_message{};
    std::string source_path{};
    std::uint32_t start_line = 0;
    std::uint32_t start_col = 0;
    std::uint32_t end_line = 0;
    std::uint32_t end_col = 0;
    ExpectedFailure expected_failure = ExpectedFailure::none;
    std::optional<std::string> expected_failure_text{};
    bool compile_fail = false;
    bool no_run = false;
    TestKind test_kind = TestKind::unspecified;
    TestEntry entry{};
};

}  // namespace dpt
