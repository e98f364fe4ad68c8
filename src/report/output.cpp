#include "report/output.hpp"

#include "platform/process.hpp"

namespace dpt {
namespace {

std::string_view escape_for(Color color) {
    switch (color) {
        case Color::green:
            return "\x1b[32m";
        case Color::red:
            return "\x1b[31m";
        case Color::yellow:
            return "\x1b[33m";
    }
    return "";
}

constexpr std::string_view kReset = "\x1b[0m";

}  // namespace

void ReportOutput::write(std::string_view text) {
    if (sink_ != nullptr) {
        sink_->append(text);
        return;
    }
    // Unbuffered: each piece reaches the console as soon as it is written.
    if (std::error_code error = write_all(fd_, text)) throw OutputError{error};
}

void ReportOutput::write_colored(std::string_view text, Color color) {
    if (!color_) {
        write(text);
        return;
    }
    std::string piece;
    piece.reserve(text.size() + 10);
    piece.append(escape_for(color)).append(text).append(kReset);
    write(piece);
}

}  // namespace dpt
