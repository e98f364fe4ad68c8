#!/usr/bin/env bash
# Usage: check_junit.sh REPORT [TESTS FAILURES SKIPPED]
# Reads a JUnit report the way CI servers do and fails unless it is one line ending in a
# line feed, well-formed for xmllint, valid for the JUnit schema CI servers use, and read
# back by junitparser with testcases that agree with the suite's counts (and with the
# expected counts, when given).
set -euo pipefail
report=${1:?usage: check_junit.sh REPORT [TESTS FAILURES SKIPPED]}
here=$(cd "$(dirname "$0")" && pwd)
xsd=${DPT_JUNIT_XSD:-$here/../../build/deps/jenkins-junit.xsd}

[[ -s "$xsd" ]] || { echo "check_junit: no schema at $xsd (run scripts/setup.sh)" >&2; exit 1; }
lines=$(tr -cd '\n' <"$report" | wc -c)
[[ "$lines" -eq 1 && "$(tail -c 1 "$report" | od -An -c | tr -d ' ')" == '\n' ]] ||
    { echo "check_junit: expected one line ending in a line feed, found $lines line feeds" >&2; exit 1; }

xmllint --noout "$report"
out=$(xmllint --noout --schema "$xsd" "$report" 2>&1) || { echo "$out" >&2; exit 1; }

/usr/bin/python3 - "$report" "${@:2}" <<'PY'
import sys
from junitparser import JUnitXml, Failure, Skipped

xml = JUnitXml.fromfile(sys.argv[1])
suites = list(xml) if isinstance(xml, JUnitXml) else [xml]
if len(suites) != 1:
    sys.exit(f"check_junit: {len(suites)} suites, expected 1")
suite = suites[0]
cases = list(suite)
failed_cases = [c for c in cases if any(isinstance(r, Failure) for r in c.result)]
for c in cases:
    if not c.name or not c.classname:
        sys.exit("check_junit: a testcase without name or classname")
if len(cases) != suite.tests - suite.skipped:
    sys.exit(f"check_junit: {len(cases)} testcases, suite says {suite.tests} tests, {suite.skipped} skipped")
if len(failed_cases) != suite.failures:
    sys.exit(f"check_junit: {len(failed_cases)} failed testcases, suite says {suite.failures}")
if len(sys.argv) == 5:
    expected = tuple(int(v) for v in sys.argv[2:5])
    found = (suite.tests, suite.failures, suite.skipped)
    if found != expected:
        sys.exit(f"check_junit: tests/failures/skipped {found}, expected {expected}")
print(f"junit: {suite.tests} tests, {suite.failures} failures, {suite.skipped} skipped")
PY
