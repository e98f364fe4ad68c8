#pragma once

#include <sys/types.h>

#include <filesystem>
#include <mutex>

namespace dpt {

// Clean-up on SIGINT, SIGTERM and SIGHUP. Call first thing in main, before any thread
// starts: it blocks those signals in the calling thread (every thread started later
// inherits the mask; children get an empty mask from Child::spawn) and starts a watcher
// thread that waits for them. On one, the watcher ends every registered process group and
// every direct child of this process with SIGKILL, removes the registered directories
// without following symbolic links, writes one line on standard error and ends the process
// with status 101. Calling it again does nothing.
void install_interrupt_cleanup();

// Holds the clean-up off while the holder is creating or releasing something it registers,
// so that an interrupt never falls between starting a process and registering its group,
// or between removing a directory and unregistering it. Hold it only briefly.
[[nodiscard]] std::unique_lock<std::recursive_mutex> hold_interrupt_cleanup();

// The process groups to end and the directories to remove on an interrupt. Unregister a
// group before the process that leads it is awaited, since its id may be reused after.
void register_process_group(pid_t group);
void unregister_process_group(pid_t group);
void register_cleanup_directory(const std::filesystem::path& directory);
void unregister_cleanup_directory(const std::filesystem::path& directory);

}  // namespace dpt
