#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace dpt {

// The listener's collected output: whole lines, each followed by "\n", behind one lock.
// The reader thread appends, the driver copies; nobody searches under the lock.
class StreamBuffer {
  public:
    // Appends `line` and one "\n" under a single hold of the lock, so a snapshot never
    // holds a line without its line feed.
    void append_line(std::string_view line);

    // A copy of the whole text as it stands.
    std::string snapshot() const;

  private:
    mutable std::mutex mutex_;
    std::string text_;
};

}  // namespace dpt
