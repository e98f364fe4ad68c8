#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace dpt {

// The bytes a test prints: shared by the test's thread and every thread it starts, so it
// lives until the last of them lets go. Every append and copy happens under its lock.
class CapturedOutput {
  public:
    void append(std::string_view bytes);
    std::string copy() const;

  private:
    mutable std::mutex mutex_;
    std::string bytes_;
};

// The captured output installed on the calling thread, or null when it prints straight
// to the console.
std::shared_ptr<CapturedOutput> current_capture() noexcept;

// Installs `capture` on the calling thread (null uninstalls); returns the one it replaces.
std::shared_ptr<CapturedOutput> install_capture(std::shared_ptr<CapturedOutput> capture) noexcept;

}  // namespace dpt
