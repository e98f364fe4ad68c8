#include "platform/temp_dir.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>

namespace dpt {
namespace {

namespace fs = std::filesystem;

void touch(const fs::path& p) { std::ofstream(p) << "data"; }

// Points TMPDIR somewhere else for one test.
class ScopedTmpdir {
  public:
    explicit ScopedTmpdir(const char* value) {
        if (const char* old = std::getenv("TMPDIR")) old_ = old;
        if (value) {
            ::setenv("TMPDIR", value, 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }
    ~ScopedTmpdir() {
        if (old_) {
            ::setenv("TMPDIR", old_->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }

  private:
    std::optional<std::string> old_;
};

TEST(SystemTempDirectory, HonoursTmpdirAndMakesItAbsolute) {
    {
        ScopedTmpdir t("/var/tmp");
        EXPECT_EQ(system_temp_directory(), "/var/tmp");
    }
    {
        ScopedTmpdir t("");
        EXPECT_EQ(system_temp_directory(), "/tmp");
    }
    {
        ScopedTmpdir t(nullptr);
        EXPECT_EQ(system_temp_directory(), "/tmp");
    }
    {
        ScopedTmpdir t("relative");
        EXPECT_EQ(system_temp_directory(), fs::current_path() / "relative");
    }
}

TEST(TempDir, NamedDirectoryWithMode0700UnderTmpdir) {
    auto parent = TempDir::create().value();
    ScopedTmpdir t(parent.path().c_str());
    auto a = TempDir::create().value();
    auto b = TempDir::create().value();
    for (const auto* d : {&a, &b}) {
        EXPECT_EQ(d->path().parent_path(), parent.path());
        EXPECT_TRUE(
            std::regex_match(d->path().filename().string(), std::regex(R"(\.tmp[A-Za-z0-9]{6})")))
            << d->path();
        struct stat st {};
        ASSERT_EQ(::stat(d->path().c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0700u);
    }
    EXPECT_NE(a.path(), b.path());
}

TEST(TempDir, ReleaseRemovesTheTreeAndMovesCarryOwnership) {
    fs::path path;
    {
        auto dir = TempDir::create().value();
        path = dir.path();
        fs::create_directories(path / "x" / "y");
        touch(path / "x" / "y" / "f");
        TempDir moved(std::move(dir));
        EXPECT_TRUE(dir.path().empty());
        EXPECT_TRUE(fs::exists(path));
        TempDir assigned = TempDir::create().value();
        const auto replaced = assigned.path();
        assigned = std::move(moved);
        EXPECT_FALSE(fs::exists(replaced));
        EXPECT_TRUE(fs::exists(path));
    }
    EXPECT_FALSE(fs::exists(path));

    // Already gone: nothing to do, nothing reported, no crash.
    auto gone = TempDir::create().value();
    fs::remove(gone.path());
}

TEST(TempDir, CreateFailsWhenTheParentIsMissing) {
    auto r = TempDir::create_in("/nonexistent/dpt");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().value(), ENOENT);
}

TEST(RemoveTree, NeverFollowsSymbolicLinks) {
    auto outside = TempDir::create().value();
    touch(outside.path() / "keep");
    fs::create_directory(outside.path() / "keepdir");

    auto dir = TempDir::create().value();
    const auto root = dir.path();
    fs::create_directories(root / "a" / "b");
    touch(root / "a" / "b" / "file");
    fs::create_directory_symlink(outside.path(), root / "link_to_outside");
    fs::create_directory_symlink(outside.path() / "keepdir", root / "a" / "b" / "deep_link");
    fs::create_symlink(outside.path() / "keep", root / "a" / "file_link");
    fs::create_symlink("/nonexistent/dangling", root / "dangling");

    EXPECT_FALSE(remove_tree(root));
    EXPECT_FALSE(fs::exists(fs::symlink_status(root)));
    EXPECT_TRUE(fs::exists(outside.path() / "keep"));
    EXPECT_TRUE(fs::is_directory(outside.path() / "keepdir"));
}

TEST(RemoveTree, ALinkAtTheTopIsRemovedItselfAndAMissingPathIsFine) {
    auto outside = TempDir::create().value();
    touch(outside.path() / "keep");
    auto dir = TempDir::create().value();
    const auto link = dir.path() / "link";
    fs::create_directory_symlink(outside.path(), link);

    EXPECT_FALSE(remove_tree(link));
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_TRUE(fs::exists(outside.path() / "keep"));

    EXPECT_FALSE(remove_tree(dir.path() / "missing"));
}

}  // namespace
}  // namespace dpt
