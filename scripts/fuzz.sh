#!/usr/bin/env bash
# Runs the fuzz targets of the fuzz preset for the given number of seconds each (default 5),
# starting from their committed seed corpora; names after the seconds pick targets (utf8,
# cmdline, ...), none means all. Findings are written to build/fuzz/findings/ and fail the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
shift || true
bin=build/fuzz/fuzz
mkdir -p build/fuzz/findings
targets=()
if (($#)); then
    for name in "$@"; do targets+=("$bin/${name}_fuzz"); done
else
    shopt -s nullglob
    targets=("$bin"/*_fuzz)
    shopt -u nullglob
fi
if ((${#targets[@]} == 0)); then
    echo "fuzz: no targets in $bin; build the fuzz preset first" >&2
    exit 1
fi
# The undefined-behaviour checks are built recoverable; stop at the first one so that it is
# a finding rather than a line in the log of a passing run.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
status=0
for target in "${targets[@]}"; do
    name=$(basename "$target" _fuzz)
    work=build/fuzz/corpus/$name
    mkdir -p "$work"
    echo "fuzz: $name for ${seconds}s"
    # An input that takes seconds is a finding too.
    if ! "$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix=build/fuzz/findings/"$name"- "$work" fuzz/corpus/"$name" \
        >build/fuzz/"$name".log 2>&1; then
        tail -n 40 build/fuzz/"$name".log
        status=1
    else
        grep -E '^#[0-9]+.*(DONE|pulse|NEW|REDUCE).*cov:' build/fuzz/"$name".log | tail -n 1 || true
        grep -E '^stat::(number_of_executed_units|peak_rss_mb)' build/fuzz/"$name".log || true
    fi
done
exit $status
