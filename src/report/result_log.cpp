#include "report/result_log.hpp"

#include <fcntl.h>
#include <fmt/format.h>

#include "platform/error.hpp"
#include "platform/process.hpp"

namespace dpt {

std::string result_log_line(const TestResult& result, bool show_time) {
    const TestOutcome& outcome = result.outcome;
    std::string word;
    switch (outcome.kind) {
        case OutcomeKind::passed:
            word = "ok";
            break;
        case OutcomeKind::failed:
            word = "failed";
            break;
        case OutcomeKind::failed_with_text:
            word = outcome.message ? fmt::format("failed: {}", *outcome.message) : "failed";
            break;
        case OutcomeKind::failed_time_limit:
            word = "failed (time limit exceeded)";
            break;
        case OutcomeKind::ignored:
            word = outcome.message ? fmt::format("ignored: {}", *outcome.message) : "ignored";
            break;
    }
    std::string line = fmt::format("{} {}", word, result.test->name);
    if (show_time) line += fmt::format(" <{:.3f}s>", result.exec_time.count());
    line += "\n";
    return line;
}

Result<ResultLog> ResultLog::create(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd) return last_error();
    return ResultLog(std::move(fd));
}

std::error_code ResultLog::record(const TestResult& result, bool show_time) {
    return write_all(fd_.get(), result_log_line(result, show_time));
}

}  // namespace dpt
