#pragma once

#include <optional>
#include <string>

namespace dpt {

// Sets the full name under which failure reports name the calling thread; nullopt makes
// it unnamed again. The operating system may keep only part of it; reports use this one.
void set_report_thread_name(std::optional<std::string> name);

// The calling thread's name for a failure report: its own name, "main" for the initial
// thread, "<unnamed>" for a thread started without a name.
std::string report_thread_name();

}  // namespace dpt
