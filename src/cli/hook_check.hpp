#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace dpt {

// What one hook-check call printed on standard output (decoded as UTF-8, each maximal
// ill-formed subsequence replaced by U+FFFD) and its exit code (-1 when a signal ended it).
struct HookCheckOutcome {
    std::string stdout;
    std::int32_t exit_code = -1;
};

// The hook-check's standard input for a session: {"session_id":"<id>"} with the id
// escaped as a JSON string, no line feed.
std::string hook_check_payload(std::string_view session_id);

// Runs `hook-check` of the CLI with the sandbox environment of `home` plus
// TARNIX_SESSION_ID, writes the payload to its standard input and closes it, reads both
// outputs to their ends and waits for the exit without a deadline. A non-zero exit code
// is returned, not judged. Fails the test with "spawn hook-check failed", the standard
// wording (payload not written, outputs not read) or "wait hook-check failed".
HookCheckOutcome run_hook_check(const std::filesystem::path& home, std::string_view session_id);

}  // namespace dpt
