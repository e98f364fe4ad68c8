// clang before 15 lacks __builtin_source_location, which libstdc++ 12 needs for
// std::source_location, so with that pairing the header declares nothing. The fuzz build
// force-includes this file to supply the same interface from the older builtins, which
// clang evaluates at the call site when they appear as default arguments.
#pragma once

#include <source_location>

#ifndef __cpp_lib_source_location
#include <cstdint>

namespace std {

struct source_location {
    static constexpr source_location current(
        const char* file = __builtin_FILE(), const char* function = __builtin_FUNCTION(),
        std::uint_least32_t line = __builtin_LINE(),
        std::uint_least32_t column = __builtin_COLUMN()) noexcept {
        source_location loc;
        loc.file_ = file;
        loc.function_ = function;
        loc.line_ = line;
        loc.column_ = column;
        return loc;
    }

    constexpr source_location() noexcept = default;
    constexpr std::uint_least32_t line() const noexcept { return line_; }
    constexpr std::uint_least32_t column() const noexcept { return column_; }
    constexpr const char* file_name() const noexcept { return file_; }
    constexpr const char* function_name() const noexcept { return function_; }

  private:
    const char* file_ = "";
    const char* function_ = "";
    std::uint_least32_t line_ = 0;
    std::uint_least32_t column_ = 0;
};

}  // namespace std

#define __cpp_lib_source_location 201907L
#endif
