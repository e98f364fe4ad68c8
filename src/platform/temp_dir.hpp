#pragma once

#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/result.hpp"

namespace dpt {

// The system's temporary directory: TMPDIR when set to a non-empty value, else /tmp,
// made absolute.
std::filesystem::path system_temp_directory();

// Removes `path` and everything below it without following any symbolic link: a link
// inside the tree is removed itself, never what it points to, and a link at `path` is
// not entered. Keeps going past entries it cannot remove and returns the first error;
// a `path` that does not exist is success.
std::error_code remove_tree(const std::filesystem::path& path);

// A new directory `.tmp` + 6 characters from A-Z a-z 0-9 directly under the system's
// temporary directory, mode 0700 (another name is drawn when one is taken). Releasing it
// removes it with remove_tree and ignores every error.
class TempDir {
  public:
    TempDir() noexcept = default;
    static Result<TempDir> create();
    // Under `parent` instead of the system's temporary directory.
    static Result<TempDir> create_in(const std::filesystem::path& parent);

    TempDir(TempDir&& other) noexcept;
    TempDir& operator=(TempDir&& other) noexcept;
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    // Empty after a move.
    const std::filesystem::path& path() const noexcept { return path_; }

  private:
    explicit TempDir(std::filesystem::path path) noexcept : path_(std::move(path)) {}
    std::filesystem::path path_;
};

}  // namespace dpt
