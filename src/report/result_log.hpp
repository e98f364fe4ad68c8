#pragma once

#include <string>
#include <system_error>

#include "platform/fd.hpp"
#include "platform/result.hpp"
#include "report/reporter.hpp"

namespace dpt {

// "{result} {name}[ <{time}s>]\n" for one finished test; the time only with `show_time`.
// The result is ok, failed, "failed: {text}", ignored, "ignored: {message}" or
// "failed (time limit exceeded)".
std::string result_log_line(const TestResult& result, bool show_time);

// The --logfile of a run: created or emptied when the run starts, one line per test.
class ResultLog {
  public:
    // Fails with the system's error when the file cannot be created or emptied.
    static Result<ResultLog> create(const std::string& path);

    // Appends the test's line; returns the error of a failed write.
    std::error_code record(const TestResult& result, bool show_time);

  private:
    explicit ResultLog(UniqueFd fd) : fd_(std::move(fd)) {}
    UniqueFd fd_;
};

}  // namespace dpt
