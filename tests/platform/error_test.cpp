#include "platform/error.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <future>

namespace dpt {
namespace {

TEST(DescribeError, NamesKindNumberAndSystemText) {
    struct Case {
        std::error_code error;
        std::string text;
    };
    const Case cases[] = {
        {{ENOENT, std::system_category()}, "not found (os error 2): No such file or directory"},
        {{EPIPE, std::system_category()}, "broken pipe (os error 32): Broken pipe"},
        {{EACCES, std::generic_category()}, "permission denied (os error 13): Permission denied"},
        {{ENOSPC, std::system_category()}, "storage full (os error 28): No space left on device"},
        {{EXDEV, std::system_category()}, "uncategorized (os error 18): Invalid cross-device link"},
        {std::make_error_code(std::future_errc::no_state),
         std::make_error_code(std::future_errc::no_state).message()},
    };
    for (const auto& c : cases) EXPECT_EQ(describe_error(c.error), c.text);
}

}  // namespace
}  // namespace dpt
