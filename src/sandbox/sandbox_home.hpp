#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/temp_dir.hpp"

namespace dpt {

// The settings file written for the CLI: the CLI's path, with every backslash turned into
// a forward slash and then escaped as a JSON string, in both of the template's places.
std::string settings_text(std::string_view cli_path);

// The throw-away home directory of one run: `.tmp` and six random letters or digits
// directly under the system's temporary directory (TMPDIR honoured), mode 0700, holding
// `.claude/settings.json` and `.claude/LIVE_AGENT_IDS.json` and nothing else. Releasing it
// removes the whole tree without following symbolic links and reports nothing.
// Creating it fails the test (standard wording and the error's description) when the
// directory or either file cannot be made; the directory is removed again in that case.
class SandboxHome {
  public:
    // Uses cli_executable_path() for the settings file.
    SandboxHome();
    // Writes `cli_path` into the settings file instead.
    explicit SandboxHome(const std::filesystem::path& cli_path);

    SandboxHome(SandboxHome&&) noexcept = default;
    SandboxHome& operator=(SandboxHome&&) noexcept = default;
    SandboxHome(const SandboxHome&) = delete;
    SandboxHome& operator=(const SandboxHome&) = delete;
    ~SandboxHome() = default;

    // The absolute path of the home directory; empty after a move.
    const std::filesystem::path& path() const noexcept { return dir_.path(); }

  private:
    TempDir dir_;
};

}  // namespace dpt
