#include "race/stream_buffer.hpp"

namespace dpt {

void StreamBuffer::append_line(std::string_view line) {
    std::lock_guard lock(mutex_);
    text_.reserve(text_.size() + line.size() + 1);
    text_.append(line);
    text_.push_back('\n');
}

std::string StreamBuffer::snapshot() const {
    std::lock_guard lock(mutex_);
    return text_;
}

}  // namespace dpt
