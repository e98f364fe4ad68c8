#pragma once

// The four calls of the CLI. Each returns the process's exit status and reports its errors on
// standard error; none reads standard input except `send` and `hook-check`.

#include <string>

#include "store.hpp"

namespace tarnix {

struct ListenOptions {
    std::string agent;
    bool setup = false;
    int pulse_ms = 1000;
};

// Runs the agent's listener until it is stopped (stop request, SIGTERM or SIGINT: status 0) or
// cannot go on (its output or its state is gone, another listener holds the agent: status 1).
int run_listener(const Store& store, const ListenOptions& options);

// Publishes standard input, less one trailing line feed, to the agent's inbox. Status 0 or 1.
int run_send(const Store& store, const std::string& agent, const std::string& sender);

// Delivers the pending messages of the session named by TARNIX_SESSION_ID or by the JSON object
// on standard input. Always status 0; problems are described on standard error.
int run_hook_check();

// Asks the agent's listener to exit and waits until it has. Status 0 once it is gone, 1 when the
// agent has no listener or it did not exit within the wait.
int run_stop(const Store& store, const std::string& agent);

}  // namespace tarnix
