#pragma once

// Runs a piece of the harness in a forked child, so that process-wide state (the
// backtrace mode, the note mark, exit statuses) starts fresh, and collects everything
// the child wrote on its standard output and standard error.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <regex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/process.hpp"

namespace dpt::testing {

struct ChildRun {
    int status = -1;  // exit status, or -1 when a signal ended the child
    std::string out;
    std::string err;
};

// `body` runs in the child with its standard output and error on pipes; its return
// value is the exit status. The child starts without any DPT_ variable; `env` sets
// variables in the child only.
inline ChildRun run_in_child(std::function<int()> body,
                             std::vector<std::pair<std::string, std::string>> env = {}) {
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) std::abort();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::close(out[0]);
        ::close(out[1]);
        ::close(err[0]);
        ::close(err[1]);
        // The harness's own variables come from `env` alone.
        std::vector<std::string> ours;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string_view text(*entry);
            if (text.starts_with("DPT_")) ours.emplace_back(text.substr(0, text.find('=')));
        }
        for (const std::string& name : ours) ::unsetenv(name.c_str());
        for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
        const int status = body();
        std::_Exit(status);
    }
    ::close(out[1]);
    ::close(err[1]);
    ChildRun run;
    (void)drain_two(out[0], run.out, err[0], run.err);
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Masks what varies between runs: thread ids, line and column of a location, times.
inline std::string scrub(std::string text) {
    text = std::regex_replace(text, std::regex(R"(\) panicked at ([^:\n]+):\d+:\d+:)"),
                              ") panicked at $1:L:C:");
    text =
        std::regex_replace(text, std::regex(R"(thread '([^'\n]*)' \(\d+\))"), "thread '$1' (TID)");
    text = std::regex_replace(text, std::regex(R"(finished in \d+\.\d\ds)"), "finished in T");
    text = std::regex_replace(text, std::regex(R"(<\d+\.\d\d\ds>)"), "<T>");
    return text;
}

}  // namespace dpt::testing
