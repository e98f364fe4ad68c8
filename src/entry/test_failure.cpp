#include "entry/test_failure.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "entry/failure_report.hpp"
#include "entry/thread_name.hpp"

namespace dpt {

SourceLocation SourceLocation::from(const std::source_location& loc) {
    std::string_view path = loc.file_name();
    // The build maps the project root away; a path that still starts with "./" or "/"
    // from another build keeps its form.
    if (path.starts_with("./")) path.remove_prefix(2);
    return {std::string(path), loc.line(), loc.column()};
}

void raise_failure(std::string message, const std::source_location& location) {
    TestFailure failure{std::move(message), SourceLocation::from(location), report_thread_name()};
    write_failure_report(failure.thread_name, failure.location, failure.message);
    throw failure;
}

void harness_fatal(std::string message, const std::source_location& location) {
    write_failure_report_to_stderr("main", SourceLocation::from(location), message);
    std::fflush(nullptr);
    // Threads of tests may still be running; leaving without destructors keeps them from
    // touching torn-down state.
    std::_Exit(101);
}

}  // namespace dpt
