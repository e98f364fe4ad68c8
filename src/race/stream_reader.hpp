#pragma once

#include <memory>

#include "platform/fd.hpp"
#include "race/stream_buffer.hpp"

namespace dpt {

// The reader thread's body: copies the listener's output from `pipe` into `buffer`, one
// whole line at a time. A line feed ends a line and is dropped together with a carriage
// return right before it; a last line without a line feed is kept as it is (carriage
// return included) and gets one. Stops at the end of the stream, at a read error, or at
// the first line that is not valid UTF-8 (that line and everything after it are left
// out). Closes `pipe` when it stops. Never fails.
void stream_reader(UniqueFd pipe, std::shared_ptr<StreamBuffer> buffer);

}  // namespace dpt
