#pragma once

// Unbuffered writes to the standard streams, so each delivery reaches the reader at once.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace tarnix {

// Writes `text` whole to standard output; false when it cannot (the reader is gone).
bool write_stdout(std::string_view text);

// Writes "tarnix: <message>\n" to standard error.
void print_error(std::string_view message);

// Prints "<what>: <system error text>" and gives status 1.
int report_error(std::string_view what, int err);

// What reading standard input produced.
struct InputRead {
    std::string data;
    bool complete = true;    // reached end of input
    bool too_large = false;  // stopped at `limit` bytes
    int error = 0;           // errno of a failed read, 0 if none
};

// Reads standard input to its end, at most `limit` bytes; with a `deadline`, stops waiting when
// it passes (complete is then false).
InputRead read_stdin(std::size_t limit,
                     std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);

}  // namespace tarnix
