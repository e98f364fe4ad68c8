// Writes `count` bytes of 80-byte lines (79 letters and a line feed) as fast as it can.
//   bench_source out <bytes>        all to standard output
//   bench_source both <bytes>       <bytes> to standard output and <bytes> to standard
//                                   error, interleaved in 64 KiB pieces
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kPiece = 64 * 1024;

bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string mode = argv[1];
    const std::size_t bytes = std::strtoull(argv[2], nullptr, 10);

    // The piece is a whole number of lines, so every piece continues the same pattern.
    std::vector<char> piece(kPiece - kPiece % 80);
    for (std::size_t i = 0; i < piece.size(); ++i)
        piece[i] = i % 80 == 79 ? '\n' : static_cast<char>('a' + i % 26);

    std::size_t left_out = bytes;
    std::size_t left_err = mode == "both" ? bytes : 0;
    while (left_out > 0 || left_err > 0) {
        if (left_out > 0) {
            const std::size_t n = std::min(left_out, piece.size());
            if (!write_all(STDOUT_FILENO, piece.data(), n)) return 1;
            left_out -= n;
        }
        if (left_err > 0) {
            const std::size_t n = std::min(left_err, piece.size());
            if (!write_all(STDERR_FILENO, piece.data(), n)) return 1;
            left_err -= n;
        }
    }
    return 0;
}
