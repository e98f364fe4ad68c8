#include "race/stream_reader.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/utf8.hpp"

namespace dpt {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

// Appends one complete line (its line feed already removed). False when the line is not
// valid UTF-8 and reading must stop.
bool take_line(std::string_view line, StreamBuffer& buffer) {
    if (!is_valid_utf8(line)) return false;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    buffer.append_line(line);
    return true;
}

}  // namespace

void stream_reader(UniqueFd pipe, std::shared_ptr<StreamBuffer> buffer) {
    std::vector<char> chunk(kChunk);
    // The start of a line whose line feed has not arrived yet.
    std::string partial;
    for (;;) {
        const ssize_t got = ::read(pipe.get(), chunk.data(), chunk.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (got == 0) break;
        const char* pos = chunk.data();
        const char* const end = pos + got;
        while (pos < end) {
            const void* lf = std::memchr(pos, '\n', static_cast<std::size_t>(end - pos));
            if (lf == nullptr) {
                partial.append(pos, end);
                break;
            }
            const char* line_end = static_cast<const char*>(lf);
            bool ok;
            if (partial.empty()) {
                ok = take_line(std::string_view(pos, static_cast<std::size_t>(line_end - pos)),
                               *buffer);
            } else {
                partial.append(pos, line_end);
                ok = take_line(partial, *buffer);
                partial.clear();
            }
            if (!ok) return;
            pos = line_end + 1;
        }
    }
    // A last line without a line feed keeps a trailing carriage return.
    if (!partial.empty() && is_valid_utf8(partial)) buffer->append_line(partial);
}

}  // namespace dpt
