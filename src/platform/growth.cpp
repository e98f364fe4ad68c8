#include "platform/growth.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>

namespace dpt {
namespace {

// Below this a buffer is small enough that fresh pages cost little. From here on the
// buffer is made at least two huge pages large, so that the advice has whole huge pages
// to work with.
constexpr std::size_t kHugeFrom = std::size_t{512} << 10;
constexpr std::size_t kHugeMinimum = std::size_t{4} << 20;
constexpr std::uintptr_t kPage = 4096;

void advise_huge_pages(char* data, std::size_t size) {
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(kPage - 1);
    // Only advice: a kernel without transparent huge pages leaves the buffer as it is.
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace

void grow_for_append(std::string& text, std::size_t extra) {
    const std::size_t needed = text.size() + extra;
    if (needed <= text.capacity()) return;
    const std::size_t capacity = std::max(needed, text.capacity() * 2);
    if (capacity < kHugeFrom) {
        text.reserve(capacity);
        return;
    }
    std::string bigger;
    bigger.reserve(std::max(capacity, kHugeMinimum));
    advise_huge_pages(bigger.data(), bigger.capacity());
    bigger.append(text);
    text.swap(bigger);
}

}  // namespace dpt
