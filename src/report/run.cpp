#include "report/run.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "entry/capture.hpp"
#include "entry/failure_report.hpp"
#include "entry/test_failure.hpp"
#include "entry/thread_name.hpp"
#include "platform/error.hpp"
#include "report/env.hpp"

namespace dpt {
namespace {

using Clock = std::chrono::steady_clock;

// What a finished test sends to the main thread: the outcome and the captured bytes.
struct Finished {
    std::size_t index = 0;
    TestOutcome outcome;
    Seconds exec_time{0};
    std::string captured;
};

class Mailbox {
  public:
    void send(Finished message) {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(message));
        }
        ready_.notify_one();
    }

    // The next message, or nothing when `deadline` passes first.
    std::optional<Finished> receive(std::optional<Clock::time_point> deadline) {
        std::unique_lock lock(mutex_);
        const auto has_message = [this] { return !queue_.empty(); };
        if (deadline) {
            if (!ready_.wait_until(lock, *deadline, has_message)) return std::nullopt;
        } else {
            ready_.wait(lock, has_message);
        }
        Finished message = std::move(queue_.front());
        queue_.pop_front();
        return message;
    }

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Finished> queue_;
};

// The body of a test's thread (or of the main thread when no thread could be had).
Finished run_one(std::size_t index, const TestDescriptor& test, bool capture) {
    std::shared_ptr<CapturedOutput> output;
    if (capture) output = std::make_shared<CapturedOutput>();
    auto previous = install_capture(output);
    const auto start = Clock::now();
    EntryResult entry_result;
    const bool returned = run_inside_boundary([&] { entry_result = test.entry(); });
    Finished finished;
    finished.index = index;
    finished.exec_time = Clock::now() - start;
    install_capture(std::move(previous));
    if (output) finished.captured = output->copy();
    if (!returned) {
        finished.outcome.kind = OutcomeKind::failed;
    } else if (entry_result) {
        finished.outcome.kind = OutcomeKind::failed_with_text;
        finished.outcome.message = std::move(entry_result);
    }
    return finished;
}

struct Running {
    const TestDescriptor* test = nullptr;
    Clock::time_point started;
    bool warned = false;
    Thread thread;
};

class Run {
  public:
    Run(const RunConfig& config, std::span<const PlannedTest> tests, Reporter& reporter,
        ResultLog* log)
        : config_(config),
          tests_(tests),
          reporter_(reporter),
          log_(log),
          mailbox_(std::make_shared<Mailbox>()) {}

    bool run() {
        const auto start = Clock::now();
        reporter_.run_start(RunStart{tests_.size(), config_.shuffle_seed});
        summary_.filtered_out = config_.filtered_out;
        const std::size_t workers = std::max<std::size_t>(config_.workers, 1);
        std::size_t next = 0;
        while (true) {
            while (!stop_starting_ && next < tests_.size() && running_.size() < workers) {
                launch(next++);
            }
            if (running_.empty()) {
                if (stop_starting_ || next >= tests_.size()) break;
                continue;
            }
            std::optional<Finished> message = mailbox_->receive(next_warning());
            if (!message) {
                warn_slow_tests();
                continue;
            }
            auto it = running_.find(message->index);
            // Its message is the thread's last act; the join cannot wait long.
            if (it->second.thread.joinable()) it->second.thread.join();
            running_.erase(it);
            finish(std::move(*message));
        }
        summary_.elapsed = Clock::now() - start;
        return reporter_.run_finish(summary_);
    }

  private:
    void launch(std::size_t index) {
        const TestDescriptor& test = *tests_[index].test;
        reporter_.test_start(test);
        if (tests_[index].as_ignored) {
            Finished finished;
            finished.index = index;
            finished.outcome.kind = OutcomeKind::ignored;
            finished.outcome.message = test.ignore_message;
            finish(std::move(finished));
            return;
        }
        Running& running = running_[index];
        running.test = &test;
        running.started = Clock::now();
        const bool capture = config_.capture;
        auto body = [index, &test, capture, mailbox = mailbox_] {
            mailbox->send(run_one(index, test, capture));
        };
        auto thread = config_.start_thread
                          ? config_.start_thread(test.name, body, config_.stack_size)
                          : start_thread(test.name, body, config_.stack_size);
        if (thread) {
            running.thread = std::move(thread).value();
            return;
        }
        if (thread.error() == std::errc::resource_unavailable_try_again) {
            // The system is out of threads: the test runs here, under its own name.
            set_report_thread_name(test.name);
            body();
            set_report_thread_name(std::nullopt);
            return;
        }
        harness_fatal(
            fmt::format("failed to spawn thread to run test: {}", describe_error(thread.error())));
    }

    std::optional<Clock::time_point> next_warning() const {
        // With one worker the open status line must stay whole, so there is nothing to warn.
        std::optional<Clock::time_point> earliest;
        for (const auto& [index, running] : running_) {
            if (running.warned) continue;
            const auto at = running.started + config_.slow_test_after;
            if (!earliest || at < *earliest) earliest = at;
        }
        return earliest;
    }

    void warn_slow_tests() {
        const auto now = Clock::now();
        for (auto& [index, running] : running_) {
            if (running.warned || now < running.started + config_.slow_test_after) continue;
            running.warned = true;
            reporter_.slow_test(*running.test);
        }
    }

    void finish(Finished finished) {
        TestResult result;
        result.test = tests_[finished.index].test;
        result.outcome = std::move(finished.outcome);
        result.exec_time = finished.exec_time;
        result.captured = std::move(finished.captured);
        if (result.outcome.kind == OutcomeKind::passed && config_.time_limits &&
            config_.time_limits->limits_are_errors &&
            result.exec_time >= config_.time_limits->for_kind(result.test->test_kind).critical) {
            result.outcome.kind = OutcomeKind::failed_time_limit;
        }
        if (result.outcome.kind == OutcomeKind::failed_with_text && result.outcome.message) {
            result.captured += fmt::format("note: {}", *result.outcome.message);
        }

        reporter_.test_result(result);
        if (log_ != nullptr) {
            if (std::error_code error = log_->record(result, config_.time_limits.has_value())) {
                throw OutputError{error};
            }
        }

        switch (result.outcome.kind) {
            case OutcomeKind::passed:
                ++summary_.passed;
                if (config_.show_output) summary_.passes.push_back(std::move(result));
                break;
            case OutcomeKind::failed:
            case OutcomeKind::failed_with_text:
                ++summary_.failed;
                summary_.failures.push_back(std::move(result));
                break;
            case OutcomeKind::failed_time_limit:
                ++summary_.failed;
                summary_.time_failures.push_back(std::move(result));
                break;
            case OutcomeKind::ignored:
                ++summary_.ignored;
                break;
        }
        if (config_.fail_fast && summary_.failed > 0) stop_starting_ = true;
    }

    const RunConfig& config_;
    std::span<const PlannedTest> tests_;
    Reporter& reporter_;
    ResultLog* log_;
    std::shared_ptr<Mailbox> mailbox_;
    std::map<std::size_t, Running> running_;
    RunSummary summary_;
    bool stop_starting_ = false;
};

}  // namespace

bool run_tests(const RunConfig& config, std::span<const PlannedTest> tests, Reporter& reporter,
               ResultLog* log) {
    return Run(config, tests, reporter, log).run();
}

std::size_t test_stack_size() {
    if (auto value = env_var("DPT_MIN_STACK")) {
        if (auto bytes = parse_decimal(*value, SIZE_MAX); bytes && *bytes > 0) {
            return static_cast<std::size_t>(*bytes);
        }
    }
    return kTestStackSize;
}

}  // namespace dpt
