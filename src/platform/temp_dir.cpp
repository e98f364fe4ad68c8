#include "platform/temp_dir.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/error.hpp"
#include "platform/fd.hpp"

namespace dpt {
namespace {

void keep_first(std::error_code& first, std::error_code next) {
    if (!first && next) first = next;
}

std::error_code remove_entries(int dir_fd);

// Removes the entry `name` of the directory `dir_fd`. unlinkat never follows a link, and
// a directory is opened with O_NOFOLLOW, so an entry swapped for a link between the two
// steps is refused rather than entered.
std::error_code remove_entry(int dir_fd, const char* name) {
    if (::unlinkat(dir_fd, name, 0) == 0 || errno == ENOENT) return {};
    if (errno != EISDIR && errno != EPERM) return last_error();
    const int sub = ::openat(dir_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub < 0) return errno == ENOENT ? std::error_code() : last_error();
    std::error_code first = remove_entries(sub);
    if (::unlinkat(dir_fd, name, AT_REMOVEDIR) != 0 && errno != ENOENT) {
        keep_first(first, last_error());
    }
    return first;
}

// Removes everything inside the directory `dir_fd` (which it takes over), keeping going
// past entries it cannot remove.
std::error_code remove_entries(int dir_fd) {
    DIR* dir = ::fdopendir(dir_fd);
    if (dir == nullptr) {
        const auto error = last_error();
        ::close(dir_fd);
        return error;
    }
    std::error_code first;
    // Names are gathered before anything is removed: readdir's position is unspecified
    // once the directory changes under it.
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    if (errno != 0) keep_first(first, last_error());
    for (const auto& name : names) keep_first(first, remove_entry(::dirfd(dir), name.c_str()));
    ::closedir(dir);
    return first;
}

}  // namespace

std::filesystem::path system_temp_directory() {
    const char* env = std::getenv("TMPDIR");
    std::filesystem::path dir = (env != nullptr && *env != '\0') ? env : "/tmp";
    std::error_code ignored;
    auto absolute = std::filesystem::absolute(dir, ignored);
    return ignored ? dir : absolute;
}

std::error_code remove_tree(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return {};
        // Not a directory, or a link to one: remove the name itself.
        if (errno == ENOTDIR || errno == ELOOP) {
            if (::unlink(path.c_str()) == 0 || errno == ENOENT) return {};
        }
        return last_error();
    }
    std::error_code first = remove_entries(fd);
    if (::rmdir(path.c_str()) != 0 && errno != ENOENT) keep_first(first, last_error());
    return first;
}

Result<TempDir> TempDir::create() { return create_in(system_temp_directory()); }

Result<TempDir> TempDir::create_in(const std::filesystem::path& parent) {
    // mkdtemp draws the six characters from A-Z, a-z and 0-9, creates the directory with
    // mode 0700 and draws again while the name is taken.
    std::string name = (parent / ".tmpXXXXXX").string();
    if (::mkdtemp(name.data()) == nullptr) return last_error();
    return TempDir(std::filesystem::path(std::move(name)));
}

TempDir::TempDir(TempDir&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }

TempDir& TempDir::operator=(TempDir&& other) noexcept {
    if (this != &other) {
        if (!path_.empty()) (void)remove_tree(path_);
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

TempDir::~TempDir() {
    if (!path_.empty()) (void)remove_tree(path_);
}

}  // namespace dpt
