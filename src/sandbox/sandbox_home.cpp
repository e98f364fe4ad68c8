#include "sandbox/sandbox_home.hpp"

#include <fmt/format.h>

#include <algorithm>

#include "cli/cli_path.hpp"
#include "cli/json_text.hpp"
#include "entry/checks.hpp"
#include "platform/files.hpp"

namespace dpt {
namespace {

constexpr std::string_view kLiveAgentIds = R"({"ids":[],"last_used":""})";

}  // namespace

std::string settings_text(std::string_view cli_path) {
    std::string p(cli_path);
    std::replace(p.begin(), p.end(), '\\', '/');
    // Escaping keeps the file valid JSON for a path holding `"` or a control character;
    // an ordinary path comes out unchanged.
    const std::string escaped = escape_json_text(p);
    return fmt::format(R"({{"env":{{"TARNIX":"{}","LIVE":"{} live"}},"hooks":{{}}}})", escaped,
                       escaped);
}

SandboxHome::SandboxHome() : SandboxHome(cli_executable_path()) {}

SandboxHome::SandboxHome(const std::filesystem::path& cli_path)
    : dir_(require_ok(TempDir::create())) {
    // From here on a failed check unwinds through dir_, which removes the directory.
    const auto claude = dir_.path() / ".claude";
    require_ok(create_directory_tree(claude));
    require_ok(write_file(claude / "settings.json", settings_text(cli_path.string())));
    require_ok(write_file(claude / "LIVE_AGENT_IDS.json", kLiveAgentIds));
}

}  // namespace dpt
