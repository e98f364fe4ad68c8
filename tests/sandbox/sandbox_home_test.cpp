#include "sandbox/sandbox_home.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "entry/checks.hpp"
#include "entry/test_failure.hpp"
#include "platform/syscalls.hpp"
#include "platform/temp_dir.hpp"

namespace dpt {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::set<std::string> tree(const fs::path& root) {
    std::set<std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        entries.insert(fs::relative(e.path(), root).string());
    }
    return entries;
}

// Each test makes its sandboxes under a directory of its own, given as TMPDIR.
class SandboxHomeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* old = std::getenv("TMPDIR")) old_tmpdir_ = old;
        ::setenv("TMPDIR", tmp_.path().c_str(), 1);
    }
    void TearDown() override {
        sys::table() = sys::real();
        if (old_tmpdir_) {
            ::setenv("TMPDIR", old_tmpdir_->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }
    // The failure a creation raised.
    template <class F>
    static std::string failure_of(F&& make) {
        try {
            make();
        } catch (const TestFailure& failure) {
            return failure.message;
        }
        return "no failure";
    }

    TempDir tmp_ = TempDir::create().value();
    std::optional<std::string> old_tmpdir_;
};

TEST_F(SandboxHomeTest, HoldsExactlyTheTwoFilesForTheCli) {
    SandboxHome home;
    EXPECT_EQ(home.path().parent_path(), tmp_.path());
    EXPECT_TRUE(home.path().is_absolute());
    EXPECT_TRUE(
        std::regex_match(home.path().filename().string(), std::regex(R"(\.tmp[A-Za-z0-9]{6})")));
    struct stat st {};
    ASSERT_EQ(::stat(home.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    EXPECT_EQ(tree(home.path()), (std::set<std::string>{".claude", ".claude/settings.json",
                                                        ".claude/LIVE_AGENT_IDS.json"}));
    EXPECT_EQ(
        slurp(home.path() / ".claude/settings.json"),
        R"({"env":{"TARNIX":"/opt/tarnix/bin/tarnix","LIVE":"/opt/tarnix/bin/tarnix live"},"hooks":{}})");
    EXPECT_EQ(slurp(home.path() / ".claude/LIVE_AGENT_IDS.json"), R"({"ids":[],"last_used":""})");
}

TEST(SettingsText, SlashesAndJsonEscapingOfTheCliPath) {
    struct Case {
        const char* cli_path;
        const char* p;  // the path as the CLI reads it back
    };
    const Case cases[] = {
        {"/usr/local/bin/tarnix", "/usr/local/bin/tarnix"},
        {R"(C:\Program Files\tarnix\tarnix.exe)", "C:/Program Files/tarnix/tarnix.exe"},
        {R"(/opt/a"b/tarnix)", R"(/opt/a"b/tarnix)"},
        {"/opt/line\nbreak\x01/tarnix", "/opt/line\nbreak\x01/tarnix"},
    };
    for (const auto& c : cases) {
        const std::string text = settings_text(c.cli_path);
        const auto json = nlohmann::json::parse(text);
        EXPECT_EQ(json["env"]["TARNIX"], c.p) << text;
        EXPECT_EQ(json["env"]["LIVE"], std::string(c.p) + " live") << text;
        EXPECT_EQ(json["hooks"], nlohmann::json::object()) << text;
    }
    // Backslashes become slashes before escaping, so none is left to escape.
    EXPECT_EQ(settings_text(R"(D:\x\tarnix)"),
              R"({"env":{"TARNIX":"D:/x/tarnix","LIVE":"D:/x/tarnix live"},"hooks":{}})");
    EXPECT_EQ(settings_text(R"(/a"b)"),
              R"({"env":{"TARNIX":"/a\"b","LIVE":"/a\"b live"},"hooks":{}})");
}

TEST_F(SandboxHomeTest, EachHomeIsNewAndReleaseRemovesIt) {
    fs::path first_path, second_path;
    {
        SandboxHome first("/x/tarnix");
        SandboxHome second("/x/tarnix");
        first_path = first.path();
        second_path = second.path();
        EXPECT_NE(first_path, second_path);
        SandboxHome moved(std::move(first));
        EXPECT_EQ(moved.path(), first_path);
        EXPECT_TRUE(fs::exists(first_path));
        // What the CLI leaves behind goes too.
        fs::create_directories(second_path / ".qdx/tarnixhold/agent");
        std::ofstream(second_path / ".qdx/tarnixhold/agent/info.json") << "{}";
    }
    EXPECT_FALSE(fs::exists(first_path));
    EXPECT_FALSE(fs::exists(second_path));
}

TEST_F(SandboxHomeTest, ReleaseIsQuietWhenTheHomeIsAlreadyGone) {
    ::testing::internal::CaptureStderr();
    {
        SandboxHome home("/x/tarnix");
        fs::remove_all(home.path());
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(fs::is_empty(tmp_.path()));
}

TEST_F(SandboxHomeTest, ReleaseRemovesAPlantedLinkButNotItsTarget) {
    TempDir outside = TempDir::create_in("/tmp").value();
    std::ofstream(outside.path() / "precious") << "keep me";
    fs::path path;
    {
        SandboxHome home("/x/tarnix");
        path = home.path();
        fs::create_directory_symlink(outside.path(), home.path() / ".claude" / "escape");
        fs::create_directory_symlink(outside.path(), home.path() / ".qdx");
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
    EXPECT_EQ(slurp(outside.path() / "precious"), "keep me");
}

TEST_F(SandboxHomeTest, CreationFailuresEndTheTestAndLeaveNothingBehind) {
    ::setenv("TMPDIR", (tmp_.path() / "missing").c_str(), 1);
    EXPECT_EQ(failure_of([] { SandboxHome home("/x/tarnix"); }),
              std::string(kErrorWording) + ": not found (os error 2): No such file or directory");

    ::setenv("TMPDIR", tmp_.path().c_str(), 1);
    sys::table().write = [](int, const void*, size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    };
    EXPECT_EQ(failure_of([] { SandboxHome home("/x/tarnix"); }),
              std::string(kErrorWording) + ": storage full (os error 28): No space left on device");
    EXPECT_TRUE(fs::is_empty(tmp_.path()));
}

}  // namespace
}  // namespace dpt
