#include "entry/thread_name.hpp"

#include <utility>

#include "platform/thread_native.hpp"

namespace dpt {
namespace {
thread_local std::optional<std::string> t_name;
}  // namespace

void set_report_thread_name(std::optional<std::string> name) { t_name = std::move(name); }

std::string report_thread_name() {
    if (t_name) return *t_name;
    return is_main_thread() ? "main" : "<unnamed>";
}

}  // namespace dpt
