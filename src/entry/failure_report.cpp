#include "entry/failure_report.hpp"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "entry/capture.hpp"
#include "entry/thread_name.hpp"
#include "platform/process.hpp"
#include "platform/thread_native.hpp"

namespace dpt {
namespace {

std::mutex g_report_lock;
bool g_note_written = false;  // guarded by g_report_lock

constexpr std::string_view kNote = "note: set `DPT_BACKTRACE=1` to display a backtrace\n";
constexpr std::string_view kShortNote =
    "note: frames outside the test are omitted; set `DPT_BACKTRACE=full` to show every frame\n";

// One destination for the pieces of a report: the thread's capture or standard error.
class ReportSink {
  public:
    explicit ReportSink(std::shared_ptr<CapturedOutput> capture) : capture_(std::move(capture)) {}
    void write(std::string_view bytes) {
        if (capture_) {
            capture_->append(bytes);
        } else {
            // A report that cannot reach standard error has nowhere else to go.
            (void)write_all(STDERR_FILENO, bytes);
        }
    }

  private:
    std::shared_ptr<CapturedOutput> capture_;
};

std::string demangle(const char* name) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> out(
        abi::__cxa_demangle(name, nullptr, nullptr, &status), &std::free);
    return status == 0 && out ? std::string(out.get()) : std::string(name);
}

struct Frame {
    void* address;
    std::string name;  // empty when the symbol is unknown
    std::string object;
};

std::vector<Frame> capture_frames() {
    void* addresses[128];
    const int count = ::backtrace(addresses, 128);
    std::vector<Frame> frames;
    frames.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        Frame frame{addresses[i], {}, {}};
        Dl_info info{};
        if (::dladdr(addresses[i], &info) != 0) {
            if (info.dli_sname) frame.name = demangle(info.dli_sname);
            if (info.dli_fname) frame.object = info.dli_fname;
        }
        frames.push_back(std::move(frame));
    }
    return frames;
}

bool starts_with(const std::string& s, std::string_view prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// The machinery that writes this report sits on top of every backtrace.
bool is_report_frame(const Frame& frame) {
    return starts_with(frame.name, "dpt::raise_failure") ||
           starts_with(frame.name, "dpt::write_failure_report") ||
           starts_with(frame.name, "dpt::run_inside_boundary");
}

void write_backtrace(ReportSink& sink, BacktraceMode mode) {
    std::vector<Frame> frames = capture_frames();
    std::size_t first = 0;
    std::size_t last = frames.size();
    if (mode == BacktraceMode::short_form) {
        for (std::size_t i = 0; i < frames.size(); ++i) {
            if (starts_with(frames[i].name, "dpt::run_inside_boundary")) {
                last = i;
                break;
            }
        }
        // The test's frames start below the last frame of the report machinery (samplers
        // and sanitizers may add frames of their own above it).
        for (std::size_t i = 0; i < last; ++i) {
            if (is_report_frame(frames[i])) first = i + 1;
        }
        // Without symbol names nothing can be told apart: show everything.
        if (first >= last) {
            first = 0;
            last = frames.size();
        }
    }
    std::string text = "stack backtrace:\n";
    std::size_t index = 0;
    for (std::size_t i = first; i < last; ++i) {
        const Frame& frame = frames[i];
        // The library's own call plumbing says nothing about the test.
        if (mode == BacktraceMode::short_form &&
            (starts_with(frame.name, "std::") || starts_with(frame.name, "__"))) {
            continue;
        }
        if (!frame.name.empty()) {
            text += fmt::format("{:>4}: {}\n", index++, frame.name);
        } else {
            text += fmt::format("{:>4}: {} ({})\n", index++, frame.address,
                                frame.object.empty() ? "?" : frame.object);
        }
    }
    if (mode == BacktraceMode::short_form) text += kShortNote;
    sink.write(text);
}

}  // namespace

BacktraceMode parse_backtrace_mode(const char* value) noexcept {
    if (value == nullptr || std::strcmp(value, "0") == 0) return BacktraceMode::off;
    if (std::strcmp(value, "full") == 0) return BacktraceMode::full;
    return BacktraceMode::short_form;
}

BacktraceMode backtrace_mode() {
    static const BacktraceMode mode = parse_backtrace_mode(std::getenv("DPT_BACKTRACE"));
    return mode;
}

static void write_report(ReportSink& sink, std::string_view thread_name,
                         const SourceLocation& location, std::string_view message) {
    const BacktraceMode mode = backtrace_mode();
    const std::uint64_t tid = os_thread_id();
    std::lock_guard lock(g_report_lock);

    // Assembled on the stack so that a report that fits goes out in one write and
    // needs no allocation.
    constexpr std::size_t kBufferSize = 512;
    char buffer[kBufferSize];
    const auto result =
        fmt::format_to_n(buffer, kBufferSize, "\nthread '{}' ({}) panicked at {}:{}:{}:\n{}\n",
                         thread_name, tid, location.path, location.line, location.column, message);
    if (result.size <= kBufferSize) {
        sink.write(std::string_view(buffer, result.size));
    } else {
        sink.write("\nthread '");
        sink.write(thread_name);
        sink.write(fmt::format("' ({}) panicked at {}:{}:{}:\n", tid, location.path, location.line,
                               location.column));
        sink.write(message);
        sink.write("\n");
    }

    if (mode == BacktraceMode::off) {
        if (!g_note_written) {
            sink.write(kNote);
            g_note_written = true;
        }
    } else {
        write_backtrace(sink, mode);
    }
}

void write_failure_report(std::string_view thread_name, const SourceLocation& location,
                          std::string_view message) {
    ReportSink sink(current_capture());
    write_report(sink, thread_name, location, message);
}

void write_failure_report_to_stderr(std::string_view thread_name, const SourceLocation& location,
                                    std::string_view message) {
    ReportSink sink(nullptr);
    write_report(sink, thread_name, location, message);
}

bool run_inside_boundary(const std::function<void()>& body) {
    try {
        body();
        return true;
    } catch (const TestFailure&) {
        // Reported where it was raised.
    } catch (const std::exception& e) {
        write_failure_report(
            report_thread_name(), SourceLocation::from(std::source_location::current()),
            fmt::format("the body ended with an unexpected exception: {}", e.what()));
    } catch (...) {
        write_failure_report(report_thread_name(),
                             SourceLocation::from(std::source_location::current()),
                             "the body ended with an unexpected exception of unknown type");
    }
    return false;
}

}  // namespace dpt
