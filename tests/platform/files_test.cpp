#include "platform/files.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/temp_dir.hpp"

namespace dpt {
namespace {

TEST(Files, WriteTruncatesAndReadsBack) {
    auto dir = TempDir::create().value();
    const auto file = dir.path() / "f.txt";
    EXPECT_FALSE(write_file(file, "a longer first text"));
    EXPECT_FALSE(write_file(file, std::string("x\0y", 3)));
    EXPECT_EQ(read_file(file).value(), std::string("x\0y", 3));
    EXPECT_FALSE(write_file(file, ""));
    EXPECT_EQ(read_file(file).value(), "");
}

TEST(Files, ErrorsNameTheCause) {
    auto dir = TempDir::create().value();
    EXPECT_EQ(read_file(dir.path() / "missing").error().value(), ENOENT);
    EXPECT_EQ(write_file(dir.path() / "no" / "such" / "dir", "x").value(), ENOENT);
    EXPECT_EQ(write_file(dir.path(), "x").value(), EISDIR);
}

TEST(Files, CreateDirectoryTreeMakesParentsAndAcceptsAnExistingOne) {
    auto dir = TempDir::create().value();
    const auto deep = dir.path() / "a" / "b" / "c";
    EXPECT_FALSE(create_directory_tree(deep));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_FALSE(create_directory_tree(deep));

    ASSERT_FALSE(write_file(dir.path() / "file", "x"));
    EXPECT_TRUE(create_directory_tree(dir.path() / "file"));
    EXPECT_TRUE(create_directory_tree(dir.path() / "file" / "sub"));
}

}  // namespace
}  // namespace dpt
