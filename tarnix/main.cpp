// tarnix: delivers messages to named agents, on a listener's output or through hook-check.

#include <fmt/format.h>

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "commands.hpp"
#include "io.hpp"

namespace {

using tarnix::print_error;

constexpr int usage_status = 2;

constexpr std::string_view main_help =
    "Usage: tarnix <command> [arguments]\n"
    "\n"
    "Delivers messages to named agents, exactly once: on the standard output of the agent's\n"
    "listener or through a hook-check for the agent's session.\n"
    "\n"
    "Commands:\n"
    "  poll <agent> listen [--setup] [--pulse-interval MS]   run the agent's listener\n"
    "  send <agent> <sender>                                  send standard input to the agent\n"
    "  hook-check                                             deliver a session's pending "
    "messages\n"
    "  stop <agent>                                           stop the agent's listener\n"
    "\n"
    "State lives under $QDX_HOME/tarnixhold ($HOME/.qdx/tarnixhold when QDX_HOME is unset).\n"
    "Run 'tarnix <command> --help' for a command's details.\n";

constexpr std::string_view poll_help =
    "Usage: tarnix poll <agent> listen [--setup] [--pulse-interval MS]\n"
    "\n"
    "Prints each message of the agent's inbox as one line, \"[<sender>] <body>\", with '\\',\n"
    "line feeds, carriage returns and other control bytes escaped. Runs until 'tarnix stop',\n"
    "SIGTERM or SIGINT, then exits 0.\n"
    "\n"
    "  --setup               create the agent's state and a fresh session, written to\n"
    "                        info.json, before listening\n"
    "  --pulse-interval MS   rescan the inbox at least every MS milliseconds (default 1000);\n"
    "                        new messages wake the listener at once in any case\n";

constexpr std::string_view send_help =
    "Usage: tarnix send <agent> <sender>\n"
    "\n"
    "Reads the message body from standard input (one trailing line feed ends the line and is not\n"
    "part of the body) and puts it into the agent's inbox, where it waits for a listener or a\n"
    "hook-check. The body may hold at most 16 MiB.\n";

constexpr std::string_view hook_help =
    "Usage: tarnix hook-check\n"
    "\n"
    "Delivers the pending messages of a session on standard output, one line each. The session\n"
    "comes from a JSON object {\"session_id\":\"...\"} on standard input, or else from the\n"
    "TARNIX_SESSION_ID environment variable. Always exits 0; problems are described on standard\n"
    "error.\n";

constexpr std::string_view stop_help =
    "Usage: tarnix stop <agent>\n"
    "\n"
    "Asks the agent's listener to exit and returns once it has (at most 5 s). Exits 1 when the\n"
    "agent has no listener or it did not exit in time.\n";

int usage_error(std::string_view command, std::string_view message) {
    print_error(message);
    std::string hint = command.empty() ? "tarnix --help" : fmt::format("tarnix {} --help", command);
    std::fputs(fmt::format("Try '{}'.\n", hint).c_str(), stderr);
    return usage_status;
}

int print_help(std::string_view text) { return tarnix::write_stdout(text) ? 0 : 1; }

bool is_help(std::string_view arg) { return arg == "--help" || arg == "-h"; }

// Splits a command's arguments into positionals; the only options a command takes are its help
// and those `take_option` accepts. Gives a usage status on a bad option, or -1 when all is well.
template <typename TakeOption>
int split_args(const std::vector<std::string_view>& args,
               std::vector<std::string_view>& positionals, TakeOption take_option) {
    bool options_done = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view a = args[i];
        if (!options_done && a == "--") {
            options_done = true;
        } else if (!options_done && a.size() > 1 && a.front() == '-') {
            int rc = take_option(a, args, i);
            if (rc >= 0) return rc;
        } else {
            positionals.push_back(a);
        }
    }
    return -1;
}

struct CommandLine {
    std::string_view command;
    std::vector<std::string_view> args;
};

int check_agent(std::string_view command, std::string_view agent) {
    if (auto problem = tarnix::agent_name_problem(agent)) return usage_error(command, *problem);
    return -1;
}

int cmd_poll(const CommandLine& cl) {
    tarnix::ListenOptions options;
    std::vector<std::string_view> pos;
    int rc =
        split_args(cl.args, pos, [&](std::string_view a, const auto& args, std::size_t& i) -> int {
            if (is_help(a)) return print_help(poll_help);
            if (a == "--setup") {
                options.setup = true;
                return -1;
            }
            std::string_view value;
            if (a == "--pulse-interval") {
                if (i + 1 >= args.size())
                    return usage_error("poll", "--pulse-interval needs a value");
                value = args[++i];
            } else if (a.starts_with("--pulse-interval=")) {
                value = a.substr(a.find('=') + 1);
            } else {
                return usage_error("poll",
                                   fmt::format("unknown option '{}'", tarnix::escape_line(a)));
            }
            int ms = 0;
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), ms);
            if (ec != std::errc() || end != value.data() + value.size() || ms < 1 || ms > 3600000)
                return usage_error("poll",
                                   "--pulse-interval takes a whole number of milliseconds "
                                   "from 1 to 3600000");
            options.pulse_ms = ms;
            return -1;
        });
    if (rc >= 0) return rc;
    if (pos.size() < 2) return usage_error("poll", "expected: poll <agent> listen");
    if (pos.size() > 2 || pos[1] != "listen")
        return usage_error("poll", fmt::format("unknown poll mode '{}'; expected 'listen'",
                                               tarnix::escape_line(pos[1])));
    if ((rc = check_agent("poll", pos[0])) >= 0) return rc;
    options.agent = std::string(pos[0]);
    return tarnix::run_listener(tarnix::Store::from_environment(), options);
}

// For the commands whose only option is --help.
int plain_args(std::string_view command, std::string_view help, const CommandLine& cl,
               std::vector<std::string_view>& pos) {
    return split_args(cl.args, pos, [&](std::string_view a, const auto&, std::size_t&) -> int {
        if (is_help(a)) return print_help(help);
        return usage_error(command, fmt::format("unknown option '{}'", tarnix::escape_line(a)));
    });
}

int cmd_send(const CommandLine& cl) {
    std::vector<std::string_view> pos;
    int rc = plain_args("send", send_help, cl, pos);
    if (rc >= 0) return rc;
    if (pos.size() != 2) return usage_error("send", "expected: send <agent> <sender>");
    if ((rc = check_agent("send", pos[0])) >= 0) return rc;
    return tarnix::run_send(tarnix::Store::from_environment(), std::string(pos[0]),
                            std::string(pos[1]));
}

int cmd_hook_check(const CommandLine& cl) {
    std::vector<std::string_view> pos;
    int rc = plain_args("hook-check", hook_help, cl, pos);
    if (rc >= 0) return rc;
    if (!pos.empty()) return usage_error("hook-check", "hook-check takes no arguments");
    return tarnix::run_hook_check();
}

int cmd_stop(const CommandLine& cl) {
    std::vector<std::string_view> pos;
    int rc = plain_args("stop", stop_help, cl, pos);
    if (rc >= 0) return rc;
    if (pos.size() != 1) return usage_error("stop", "expected: stop <agent>");
    if ((rc = check_agent("stop", pos[0])) >= 0) return rc;
    return tarnix::run_stop(tarnix::Store::from_environment(), std::string(pos[0]));
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> words(argv + 1, argv + argc);
    if (words.empty()) return usage_error("", "no command given");
    if (is_help(words[0])) return print_help(main_help);
    if (words[0] == "help" && words.size() == 1) return print_help(main_help);
    CommandLine cl{words[0], {words.begin() + 1, words.end()}};
    try {
        if (cl.command == "poll") return cmd_poll(cl);
        if (cl.command == "send") return cmd_send(cl);
        if (cl.command == "hook-check") return cmd_hook_check(cl);
        if (cl.command == "stop") return cmd_stop(cl);
    } catch (const std::exception& e) {
        // hook-check handles its own failures and never gets here.
        print_error(e.what());
        return 1;
    }
    return usage_error("", fmt::format("unknown command '{}'", tarnix::escape_line(cl.command)));
}
