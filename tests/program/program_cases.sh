#!/usr/bin/env bash
# Runs the built program as a user would and checks what it prints and its exit status.
# Usage: program_cases.sh PROGRAM CASE
set -uo pipefail
program=${1:?program}
case_name=${2:?case}
here=$(cd "$(dirname "$0")" && pwd)
name=stream_and_hook_check_deliver_exactly_once
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL ($case_name): $*" >&2; exit 1; }

# run ARGS...: runs the program, leaving stdout, stderr and the status in $work.
run() {
    "$program" "$@" >"$work/out" 2>"$work/err"
    echo $? >"$work/status"
}
expect_status() {
    local got
    got=$(cat "$work/status")
    [[ "$got" == "$1" ]] || { cat "$work/out" "$work/err" >&2; fail "status $got, expected $1"; }
}
expect_out() {
    diff <(printf '%s' "$1") "$work/out" >&2 || fail "standard output differs (< expected, > got)"
}

case "$case_name" in
list)
    run --list
    expect_status 0
    expect_out "$name: test

1 test, 0 benchmarks
"
    ;;
help)
    run --help --color sometimes
    expect_status 0
    head -n 1 "$work/out" | grep -qx "Usage: $program \[OPTIONS\] \[FILTERS...\]" || fail "usage line"
    [[ ! -s "$work/err" ]] || fail "help wrote to standard error"
    ;;
usage_error)
    run --color sometimes
    expect_status 101
    [[ ! -s "$work/out" ]] || fail "an error wrote to standard output"
    [[ "$(cat "$work/err")" == "error: argument for --color must be auto, always, or never (was sometimes)" ]] ||
        fail "error text: $(cat "$work/err")"
    ;;
no_match)
    run no_test_has_this_name
    expect_status 0
    sed -E 's/finished in [0-9]+\.[0-9]{2}s/finished in X.XXs/' "$work/out" >"$work/masked"
    diff <(printf '\nrunning 0 tests\n\ntest result: ok. 0 passed; 0 failed; 0 ignored; 0 measured; 1 filtered out; finished in X.XXs\n\n') \
        "$work/masked" >&2 || fail "report differs"
    ;;
logfile)
    run --logfile "$work/log"
    expect_status 0
    head -n 2 "$work/out" | cmp -s - <(printf 'warning: `--logfile` is deprecated\nrunning 1 test\n') ||
        fail "the warning does not open standard output: $(head -n 2 "$work/out")"
    [[ "$(cat "$work/log")" == "ok $name" ]] || fail "log: $(cat "$work/log")"
    ;;
json)
    DPT_BOOTSTRAP=1 run -Z unstable-options --format json
    expect_status 0
    [[ $(wc -l <"$work/out") -eq 4 ]] || fail "expected four JSON lines"
    "$here/../formats/check_json.sh" "$work/out" || fail "JSON consumers refused the report"
    ;;
junit)
    DPT_BOOTSTRAP=1 run -Z unstable-options --format junit
    expect_status 0
    "$here/../formats/check_junit.sh" "$work/out" 1 0 0 || fail "JUnit consumers refused the report"
    ;;
json_listing)
    DPT_BOOTSTRAP=1 run -Z unstable-options --format json --list
    expect_status 0
    "$here/../formats/check_json.sh" "$work/out" || fail "JSON consumers refused the listing"
    # The recorded position is where the test's name stands in the program's source.
    source="$here/../../src/entry/main.cpp"
    line=$(grep -n "void $name()" "$source" | cut -d: -f1)
    col=$(($(sed -n "${line}p" "$source" | awk -v n="$name" '{print index($0, n)}')))
    expected="\"name\": \"$name\", \"ignore\": false, \"ignore_message\": \"\", \"source_path\": \"src/entry/main.cpp\", \"start_line\": $line, \"start_col\": $col, \"end_line\": $line, \"end_col\": $((col + 42))"
    grep -qF "$expected" "$work/out" || fail "discovered line: $(cat "$work/out"), expected $expected"
    ;;
*)
    fail "unknown case"
    ;;
esac
