#include "platform/interrupt.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/temp_dir.hpp"

namespace dpt {

namespace {

struct Registry {
    std::recursive_mutex mutex;
    std::vector<pid_t> groups;
    std::vector<std::filesystem::path> directories;
};

Registry& registry() {
    // Never destroyed: the watcher may still use it while static objects go away.
    static Registry* const instance = new Registry;
    return *instance;
}

sigset_t watched_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

// The parent pid in /proc/<pid>/stat: the field after the command name, which is in
// parentheses and may itself hold spaces and parentheses.
pid_t parent_of(const char* pid_dir) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%s/stat", pid_dir);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char buf[512];
    const ssize_t got = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (got <= 0) return -1;
    buf[got] = '\0';
    const char* close_paren = std::strrchr(buf, ')');
    if (close_paren == nullptr) return -1;
    char state = 0;
    int ppid = -1;
    if (std::sscanf(close_paren + 1, " %c %d", &state, &ppid) != 2) return -1;
    return ppid;
}

// The short-lived CLI calls (send, hook-check, stop) are direct children that are not
// registered anywhere; they are found here.
void kill_direct_children() {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        if (parent_of(entry->d_name) == self) ::kill(std::atoi(entry->d_name), SIGKILL);
    }
    ::closedir(proc);
}

[[noreturn]] void clean_up_and_exit(int signal) {
    Registry& r = registry();
    {
        std::lock_guard lock(r.mutex);
        for (pid_t group : r.groups) ::killpg(group, SIGKILL);
        kill_direct_children();
        for (const auto& directory : r.directories) (void)remove_tree(directory);
        // A child whose start was under way during the first pass.
        kill_direct_children();
    }
    std::string line = "dual_path_trial: interrupted by ";
    line += signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP";
    line += "; ended the CLI's processes and removed the sandbox home\n";
    (void)!::write(STDERR_FILENO, line.data(), line.size());
    ::_exit(101);
}

void watch(sigset_t set) {
    for (;;) {
        int signal = 0;
        if (::sigwait(&set, &signal) == 0) clean_up_and_exit(signal);
    }
}

}  // namespace

void install_interrupt_cleanup() {
    static std::once_flag once;
    std::call_once(once, [] {
        const sigset_t set = watched_signals();
        ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
        std::thread(watch, set).detach();
    });
}

std::unique_lock<std::recursive_mutex> hold_interrupt_cleanup() {
    return std::unique_lock(registry().mutex);
}

void register_process_group(pid_t group) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.groups.push_back(group);
}

void unregister_process_group(pid_t group) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase(r.groups, group);
}

void register_cleanup_directory(const std::filesystem::path& directory) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.directories.push_back(directory);
}

void unregister_cleanup_directory(const std::filesystem::path& directory) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase(r.directories, directory);
}

}  // namespace dpt
