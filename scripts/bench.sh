#!/usr/bin/env bash
# Builds what the benchmarks need and prints one table: the passing race against the
# bundled CLI, the harness's overhead against a GoogleTest binary, and the microbenchmarks.
# Every figure is a median over repeated runs; a ratio compares it with a baseline taken in
# the same run.
#   DPT_BENCH_BUILD  build directory (default build/default, made with the default preset)
#   DPT_BENCH_RUNS   runs of the whole race (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${DPT_BENCH_BUILD:-build/default}
runs=${DPT_BENCH_RUNS:-20}
((runs >= 1)) || { echo "bench: DPT_BENCH_RUNS must be a positive number" >&2; exit 2; }
for tool in hyperfine jq /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing; run scripts/setup.sh" >&2; exit 2; }
done

if [[ ! -f "$build/build.ninja" ]]; then
    if [[ "$build" == build/default ]]; then
        cmake --preset default >/dev/null
    else
        cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
fi
benches=(race_bench stream_bench text_bench)
cmake --build "$build" -j2 --target dual_path_trial gtest_peer bench_bare "${benches[@]}" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

program="$build/dual_path_trial"
peer="$build/bench/gtest_peer"
bare="$build/bench/bench_bare"

# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Median peak resident memory in KiB of a command over $1 runs.
peak_kib() {
    local n=$1
    shift
    for ((i = 0; i < n; i++)); do
        /usr/bin/time -f '%M' -o "$work/rss" "$@" >/dev/null 2>&1 || true
        tail -n 1 "$work/rss"
    done | median
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
row() { printf '%-46s %14s %14s %9s   %s\n' "$@"; }

echo "bench: race x$runs" >&2
# A failed race must not be timed as a fast one.
"$program" >"$work/first" || { cat "$work/first" >&2; echo "bench: the race fails" >&2; exit 1; }
hyperfine -N --runs "$runs" --warmup 1 --export-json "$work/race.json" "$program" >/dev/null
race_s=$(jq '.results[0].median' "$work/race.json")
race_kib=$(peak_kib 5 "$program")
bare_kib=$(peak_kib 5 "$bare")

echo "bench: --list against the GoogleTest peer" >&2
hyperfine -N --runs 100 --warmup 5 --export-json "$work/list.json" \
    "$program --list" "$peer --gtest_list_tests" >/dev/null
list_s=$(jq '.results[0].median' "$work/list.json")
peer_s=$(jq '.results[1].median' "$work/list.json")
list_kib=$(peak_kib 9 "$program" --list)
peer_kib=$(peak_kib 9 "$peer" --gtest_list_tests)

for b in "${benches[@]}"; do
    echo "bench: $b" >&2
    "$build/bench/$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
        --benchmark_format=json --benchmark_out="$work/$b.json" --benchmark_out_format=json \
        >/dev/null 2>"$work/$b.err" || { cat "$work/$b.err" >&2; exit 1; }
done
# One benchmark's field aggregated over its repetitions (median unless $3 names another).
micro() {
    jq -r --arg n "$1" --arg f "$2" --arg a "${3:-median}" \
        '.benchmarks[] | select(.run_name | startswith($n + "/") or . == $n)
         | select(.aggregate_name == $a) | .[$f]' "$work"/*_bench.json | head -n 1
}
ms() { awk -v s="$1" 'BEGIN { printf "%.1f ms", s * 1000 }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }
gbs() { awk -v b="$1" 'BEGIN { printf "%.2f GB/s", b / 1e9 }'; }
usec() { awk -v t="$1" 'BEGIN { printf "%.0f us", t * 1000 }'; }

echo
row "measure (median)" "value" "baseline" "ratio" "goal"
row "passing race, wall time" "$(ms "$race_s")" "550.0 ms" "$(ratio "$race_s" 0.55)" "<= 1.05 (aim 1.03)"
row "  send returns -> token line on listener" "$(usec "$(micro BM_send_to_stream_line real_time)")" "" "" ""
row "  stop returns -> listener gone" "$(usec "$(micro BM_stop_to_listener_gone real_time)")" "" "" ""
row "  exit poll finds it gone at once (share)" "$(micro BM_stop_to_listener_gone gone_at_first_check mean)" "1" "" "always"
row "  peak memory above a bare process" "$(mib $((race_kib - bare_kib)))" "$(mib "$bare_kib")" "" "< 10 MiB"
row "--list, wall time" "$(ms "$list_s")" "$(ms "$peer_s")" "$(ratio "$list_s" "$peer_s")" "<= 1 (GoogleTest)"
row "--list, peak memory" "$(mib "$list_kib")" "$(mib "$peer_kib")" "$(ratio "$list_kib" "$peer_kib")" "<= 1 (GoogleTest)"
plain=$(micro BM_plain_read bytes_per_second)
collector=$(micro BM_collector bytes_per_second)
drain=$(micro BM_drain bytes_per_second)
row "collector, 80-byte lines from a child" "$(gbs "$collector")" "$(gbs "$plain")" "$(ratio "$collector" "$plain")" ">= 0.5 (plain read)"
row "drain, 8 MiB stdout + 8 MiB stderr" "$(gbs "$drain")" "$(gbs "$plain")" "$(ratio "$drain" "$plain")" ">= 0.5 (plain read)"
count=$(micro BM_count_occurrences real_time)
memmem=$(micro BM_memmem real_time)
row "count_occurrences, 100 MB" "$(ms "$(awk -v t="$count" 'BEGIN { print t / 1000 }')")" \
    "$(ms "$(awk -v t="$memmem" 'BEGIN { print t / 1000 }')")" "$(ratio "$count" "$memmem")" "<= 1.10 (memmem)"
row "JSON escaping, 10 MiB" "$(gbs "$(micro BM_json_escape bytes_per_second)")" "" "" ""
row "CDATA writing, 10 MiB" "$(gbs "$(micro BM_cdata bytes_per_second)")" "" "" ""
