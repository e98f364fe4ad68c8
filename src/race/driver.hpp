#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/process.hpp"
#include "race/stream_buffer.hpp"

namespace dpt {

// The body of the one test: races the stream path and the hook path of the CLI and
// requires the token to arrive exactly once. Every failed check ends it with a test
// failure; on every path the listener's process group has been ended and awaited and the
// reader joined before the sandbox home is removed.
void race_test_driver();

// Runs `send <agent> racesender` with the token and a line feed on its standard input and
// requires exit code 0. Fails the test with "spawn send failed", "deliver stdin missing",
// "write to deliver stdin failed", the standard wording (outputs not read), "wait send
// failed" or "send must exit 0; stderr: ..."; a child still running at a failure is
// killed and awaited first.
void deliver_token(const std::filesystem::path& home, std::string_view agent,
                   std::string_view token);

// Polls the stream (every 100 ms, for at most 2 s) until the token shows there or in
// `hook_stdout`. Never fails.
void wait_for_delivery(const StreamBuffer& buffer, std::string_view hook_stdout,
                       std::string_view token);

// Asks the CLI to stop the agent (`stop <agent>`, everything about that call ignored
// except a failure to read its outputs), polls every 200 ms for at most 12 s until the
// listener has exited, then ends its process group with SIGKILL in any case and awaits it.
void shut_down_listener(const std::filesystem::path& home, std::string_view agent, Child& listener);

}  // namespace dpt
