#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace dpt {

enum class Color { green, red, yellow };

// A failed write of the report; the harness turns it into
// "error: io error when listing tests: {}" and status 101.
struct OutputError {
    std::error_code error;
};

// Where a report goes: every piece is written whole and flushed at once.
class ReportOutput {
  public:
    ReportOutput(int fd, bool color) : fd_(fd), color_(color) {}
    // Collects the report in memory (for tests and buffering formats).
    ReportOutput(std::string* sink, bool color) : sink_(sink), color_(color) {}

    void write(std::string_view text);                       // throws OutputError
    void write_colored(std::string_view text, Color color);  // plain when colour is off
    bool color() const noexcept { return color_; }

  private:
    int fd_ = -1;
    std::string* sink_ = nullptr;
    bool color_;
};

}  // namespace dpt
