#!/usr/bin/env bash
# Runs every fuzz target of the fuzz preset for the given number of seconds each
# (default 5), starting from its committed seed corpus. Findings are written to
# build/fuzz/findings/ and fail the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
bin=build/fuzz/fuzz
mkdir -p build/fuzz/findings
status=0
for target in "$bin"/*_fuzz; do
    name=$(basename "$target" _fuzz)
    work=build/fuzz/corpus/$name
    mkdir -p "$work"
    echo "fuzz: $name for ${seconds}s"
    if ! "$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix=build/fuzz/findings/"$name"- "$work" fuzz/corpus/"$name" \
        >build/fuzz/"$name".log 2>&1; then
        tail -n 40 build/fuzz/"$name".log
        status=1
    else
        grep -E '^stat::(number_of_executed_units|peak_rss_mb)' build/fuzz/"$name".log || true
    fi
done
exit $status
