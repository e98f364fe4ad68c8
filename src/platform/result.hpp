#pragma once

#include <system_error>
#include <utility>
#include <variant>

namespace dpt {

// A value or the error that prevented it. The platform layer returns these and never
// throws; the checks of the test body turn an error into a test failure.
template <class T, class E = std::error_code>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : v_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const noexcept { return v_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    const E& error() const& { return std::get<1>(v_); }

private:
    std::variant<T, E> v_;
};

}  // namespace dpt
