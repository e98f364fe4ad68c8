// The stream collector (reader thread + StreamBuffer) and the two-pipe drain against a
// plain read() loop on the same child's output, measured in the same run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.hpp"
#include "race/stream_buffer.hpp"
#include "race/stream_reader.hpp"

namespace {

constexpr std::size_t kBytes = 8 << 20;

dpt::Child start_source(const char* mode, bool pipe_err) {
    dpt::Command command;
    command.program = DPT_BENCH_SOURCE;
    command.args = {mode, std::to_string(kBytes)};
    command.in = dpt::Stdio::null;
    command.out = dpt::Stdio::piped;
    command.err = pipe_err ? dpt::Stdio::piped : dpt::Stdio::inherit;
    auto started = dpt::Child::spawn(command);
    if (!started.ok()) std::abort();
    return std::move(started.value());
}

void finish(benchmark::State& state, dpt::Child& child, std::size_t expected, std::size_t got) {
    const auto code = child.wait();
    if (!code.ok() || code.value() != 0 || got != expected) state.SkipWithError("short output");
}

// The baseline: read() into a fixed buffer and find the line feeds with memchr.
void BM_plain_read(benchmark::State& state) {
    std::vector<char> chunk(64 * 1024);
    for (auto _ : state) {
        dpt::Child child = start_source("out", false);
        dpt::UniqueFd out = *child.take_stdout();
        std::size_t bytes = 0;
        std::size_t lines = 0;
        for (;;) {
            const ssize_t n = ::read(out.get(), chunk.data(), chunk.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            bytes += static_cast<std::size_t>(n);
            for (const char* p = chunk.data();
                 (p = static_cast<const char*>(std::memchr(p, '\n', chunk.data() + n - p))) !=
                 nullptr;
                 ++p)
                ++lines;
        }
        benchmark::DoNotOptimize(lines);
        finish(state, child, kBytes, bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_plain_read)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_collector(benchmark::State& state) {
    for (auto _ : state) {
        dpt::Child child = start_source("out", false);
        auto buffer = std::make_shared<dpt::StreamBuffer>();
        std::thread reader(dpt::stream_reader, *child.take_stdout(), buffer);
        reader.join();
        // The source's last line has no line feed; the collector adds one.
        finish(state, child, kBytes + (kBytes % 80 != 0 ? 1 : 0), buffer->snapshot().size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_collector)->Unit(benchmark::kMillisecond)->UseRealTime();

// 8 MiB on each of standard output and standard error, read together.
void BM_drain(benchmark::State& state) {
    for (auto _ : state) {
        dpt::Child child = start_source("both", true);
        std::string out;
        std::string err;
        if (child.drain(out, err)) state.SkipWithError("drain failed");
        finish(state, child, 2 * kBytes, out.size() + err.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 2 * kBytes));
}
BENCHMARK(BM_drain)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
