#pragma once

#include <fmt/format.h>

#include <concepts>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "entry/test_failure.hpp"
#include "platform/error.hpp"
#include "platform/result.hpp"

namespace dpt {

// The two fixed sentences used by checks that have no message of their own.
inline constexpr std::string_view kErrorWording =
    "an operation reported an error where success was required";
inline constexpr std::string_view kMissingWording = "a value was missing where one was required";

// Marks a check that has no message of its own.
struct NoMessage {};
inline constexpr NoMessage no_message{};

namespace detail {
inline std::string error_message(std::string_view message, const std::string& description) {
    return fmt::format("{}: {}", message, description);
}
}  // namespace detail

// require_ok: the value of a successful operation, or a failure with the message (or the
// standard wording), ": " and the error's description. The description comes from
// describe_error(E), found by overload resolution for each error type.
template <class T, class E>
T require_ok(Result<T, E>&& result, std::string_view message,
             const std::source_location& loc = std::source_location::current()) {
    if (!result.ok())
        raise_failure(detail::error_message(message, describe_error(result.error())), loc);
    return std::move(result).value();
}

template <class T, class E>
T require_ok(Result<T, E>&& result, NoMessage = {},
             const std::source_location& loc = std::source_location::current()) {
    return require_ok(std::move(result), kErrorWording, loc);
}

inline void require_ok(const std::error_code& error, std::string_view message,
                       const std::source_location& loc = std::source_location::current()) {
    if (error) raise_failure(detail::error_message(message, describe_error(error)), loc);
}

inline void require_ok(const std::error_code& error, NoMessage = {},
                       const std::source_location& loc = std::source_location::current()) {
    require_ok(error, kErrorWording, loc);
}

// require_present: the value, or a failure with the message alone (or the standard wording).
template <class T>
T require_present(std::optional<T>&& value, std::string_view message,
                  const std::source_location& loc = std::source_location::current()) {
    if (!value) raise_failure(std::string(message), loc);
    return std::move(*value);
}

template <class T>
T require_present(std::optional<T>&& value, NoMessage = {},
                  const std::source_location& loc = std::source_location::current()) {
    return require_present(std::move(value), kMissingWording, loc);
}

// require_equal: left is what the test observed, right what it expects. The message may
// be a text or a callable that builds it; a callable runs only when the check fails.
template <class L, class R, class M>
void require_equal(const L& left, const R& right, M&& message,
                   const std::source_location& loc = std::source_location::current()) {
    if (left == right) return;
    std::string text;
    if constexpr (std::invocable<M>) {
        text = std::string(std::forward<M>(message)());
    } else {
        text = std::string(std::forward<M>(message));
    }
    raise_failure(fmt::format("assertion `left {} right` failed: {}\n  left: {}\n right: {}",
                              "==", text, left, right),
                  loc);
}

}  // namespace dpt
