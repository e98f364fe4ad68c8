// Counting the token in a large text, and writing captured output into the JSON and JUnit
// reports.
#include <benchmark/benchmark.h>
#include <string.h>

#include <cstdint>
#include <string>

#include "race/verdict.hpp"
#include "report/json_escape.hpp"
#include "report/xml.hpp"

namespace {

constexpr std::string_view kToken = "RACE_TOKEN_body_4242_1700000000123456789";

// 100 MB of listener-like lines with the token in one line of every thousand.
const std::string& haystack() {
    static const std::string text = [] {
        std::string t;
        t.reserve(100'000'000 + 200);
        std::uint64_t n = 0;
        while (t.size() < 100'000'000) {
            t += "[msg from racesender] ";
            t += ++n % 1000 == 0 ? std::string(kToken) : "RACE_TOKEN_body_4242_170000000";
            t += " delivered at pulse ";
            t += std::to_string(n);
            t += '\n';
        }
        return t;
    }();
    return text;
}

void BM_memmem(benchmark::State& state) {
    const std::string& text = haystack();
    for (auto _ : state) {
        std::size_t count = 0;
        const char* pos = text.data();
        const char* const end = text.data() + text.size();
        while (const void* hit = ::memmem(pos, static_cast<std::size_t>(end - pos), kToken.data(),
                                          kToken.size())) {
            ++count;
            pos = static_cast<const char*>(hit) + kToken.size();
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_memmem)->Unit(benchmark::kMillisecond);

void BM_count_occurrences(benchmark::State& state) {
    const std::string& text = haystack();
    for (auto _ : state) benchmark::DoNotOptimize(dpt::count_occurrences(text, kToken));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_count_occurrences)->Unit(benchmark::kMillisecond);

// 10 MiB of captured output: report lines with quotes, tabs, an escape sequence and some
// non-ASCII text, as a failing test prints them.
const std::string& captured() {
    static const std::string text = [] {
        std::string t;
        const std::string line =
            "\tstream stdout: {\"from\":\"racesender\",\"body\":\"RACE_TOKEN_body_1\"} "
            "\x1b[31mfailed\x1b[0m caf\xc3\xa9 ]]> <?x?>\r\n";
        while (t.size() < (10u << 20)) t += line;
        return t;
    }();
    return text;
}

void BM_json_escape(benchmark::State& state) {
    const std::string& text = captured();
    for (auto _ : state) benchmark::DoNotOptimize(dpt::json_escape(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_json_escape)->Unit(benchmark::kMillisecond);

void BM_cdata(benchmark::State& state) {
    const std::string& text = captured();
    for (auto _ : state) {
        std::string out;
        dpt::write_cdata(out, text);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_cdata)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
