#include "entry/capture.hpp"

#include <utility>

namespace dpt {
namespace {
thread_local std::shared_ptr<CapturedOutput> t_capture;
}  // namespace

void CapturedOutput::append(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    bytes_.append(bytes);
}

std::string CapturedOutput::copy() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

std::shared_ptr<CapturedOutput> current_capture() noexcept { return t_capture; }

std::shared_ptr<CapturedOutput> install_capture(std::shared_ptr<CapturedOutput> capture) noexcept {
    return std::exchange(t_capture, std::move(capture));
}

}  // namespace dpt
