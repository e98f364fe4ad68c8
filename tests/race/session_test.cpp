#include "race/session.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <string>
#include <system_error>

#include "entry/test_failure.hpp"
#include "platform/error.hpp"
#include "platform/files.hpp"
#include "platform/temp_dir.hpp"

namespace {

const char* const kAgent = "dual_path_trial_1_2";

struct Outcome {
    std::optional<std::string> session_id;
    std::string failure;
};

Outcome read_with(const std::optional<std::string>& content) {
    auto home = dpt::TempDir::create();
    EXPECT_TRUE(home.ok());
    const auto file = dpt::session_file_path(home.value().path(), kAgent);
    if (content) {
        EXPECT_FALSE(dpt::create_directory_tree(file.parent_path()));
        EXPECT_FALSE(dpt::write_file(file, *content));
    }
    try {
        return {dpt::read_session_id(home.value().path(), kAgent), {}};
    } catch (const dpt::TestFailure& failure) {
        return {std::nullopt, failure.message};
    }
}

TEST(SessionFilePath, LiesUnderTheAgentsStateDirectory) {
    EXPECT_EQ(dpt::session_file_path("/h", "agent"), "/h/.qdx/tarnixhold/agent/info.json");
}

struct FoundCase {
    const char* name;
    std::string content;
    std::string session_id;
};

TEST(ReadSessionId, ReturnsTheStringMember) {
    const FoundCase cases[] = {
        {"other members ignored", R"({"agent":"x","session_id":"abc","n":[1,{}]})", "abc"},
        {"escapes resolved", R"({"session_id":"a\"b\\c\u00e9\n"})", "a\"b\\c\xc3\xa9\n"},
        {"empty string", R"({"session_id":""})", ""},
        {"white space around", " \n{ \"session_id\" : \"s\" }\n\t", "s"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = read_with(c.content);
        EXPECT_EQ(outcome.failure, "") << c.name;
        EXPECT_EQ(outcome.session_id, c.session_id) << c.name;
    }
}

struct FailureCase {
    const char* name;
    std::optional<std::string> content;
    std::string message;  // a pattern
};

TEST(ReadSessionId, FailsWithTheMessageOfEachStep) {
    const std::string missing = "info.json missing: " + dpt::describe_error(std::error_code(
                                                            ENOENT, std::system_category()));
    const FailureCase cases[] = {
        {"no file", std::nullopt, std::regex_replace(missing, std::regex(R"([().])"), R"(\$&)")},
        {"not utf-8", std::string("{\"session_id\":\"a\xff\"}"),
         "info.json missing: invalid data: stream did not contain valid UTF-8"},
        {"empty file", std::string(""),
         "info.json parse: parse error at line 1, column 1: [^\n]*unexpected end of input[^\n]*"},
        {"text after the document", std::string(R"({"session_id":"a"} x)"),
         "info.json parse: parse error at line 1, column 20: [^\n]*"},
        {"error on a later line", std::string("{\n  \"session_id\":\n}"),
         "info.json parse: parse error at line 3, column 1: [^\n]*"},
        {"number too large", std::string(R"({"session_id":1e500})"),
         "info.json parse: [^\n]*1e500[^\n]*"},
        {"number", std::string(R"({"session_id":5})"), "session_id field missing"},
        {"null", std::string(R"({"session_id":null})"), "session_id field missing"},
        {"object", std::string(R"({"session_id":{"id":"a"}})"), "session_id field missing"},
        {"no member", std::string(R"({"id":"a"})"), "session_id field missing"},
        {"array", std::string(R"(["session_id","a"])"), "session_id field missing"},
        {"string document", std::string(R"("session_id")"), "session_id field missing"},
        {"deep nesting", std::string(100000, '[') + std::string(100000, ']'),
         "session_id field missing"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = read_with(c.content);
        EXPECT_EQ(outcome.session_id, std::nullopt) << c.name;
        EXPECT_TRUE(std::regex_match(outcome.failure, std::regex(c.message)))
            << c.name << ": " << outcome.failure;
    }
}

}  // namespace
