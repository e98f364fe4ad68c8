#include "race/stream_buffer.hpp"

#include "platform/growth.hpp"

namespace dpt {

void StreamBuffer::append_line(std::string_view line) {
    std::lock_guard lock(mutex_);
    grow_for_append(text_, line.size() + 1);
    text_.append(line);
    text_.push_back('\n');
}

std::string StreamBuffer::snapshot() const {
    std::lock_guard lock(mutex_);
    std::string copy;
    grow_for_append(copy, text_.size());
    copy.append(text_);
    return copy;
}

}  // namespace dpt
