#pragma once

#include <filesystem>
#include <string_view>

#include "platform/fd.hpp"
#include "platform/process.hpp"

namespace dpt {

// The running listener and the read end of its standard output, taken out of the child
// record for the reader thread. The record keeps the standard-error end.
struct Listener {
    Child child;
    UniqueFd output;
};

// Starts `poll <agent> listen --setup --pulse-interval 10` through the launcher: the
// sandbox environment, both outputs piped, leading its own process group. The group is
// registered for the interrupt clean-up before this returns. Fails the test with "spawn
// failed" (from the launcher) or "stream child stdout missing".
Listener start_listener(const std::filesystem::path& home, std::string_view agent);

// Whether the listener has exited, asked without blocking and without awaiting it: its
// id stays taken, so its process group can still be ended afterwards. A failure of the
// question itself counts as exited.
bool listener_has_exited(const Child& listener);

}  // namespace dpt
