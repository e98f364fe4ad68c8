#!/usr/bin/env bash
# Usage: check_json.sh REPORT
# Reads a JSON-lines report (a run or a listing) the way its consumers do and fails unless
# every line is a JSON object on its own, for jq and for a strict parser (UTF-8 only, no
# raw control characters, no NaN), and the events agree with each other: a run's result
# events match test_count and the finish event's counts; a listing's discovered events
# match its completed event.
set -euo pipefail
report=${1:?usage: check_json.sh REPORT}

[[ -s "$report" ]] || { echo "check_json: $report is empty" >&2; exit 1; }

# jq reads each line as text and parses it by itself.
parsed=$(jq -R -c 'fromjson' "$report") || { echo "check_json: jq rejected a line" >&2; exit 1; }

/usr/bin/python3 - "$report" <<'PY'
import json, sys
def no_constant(name):
    raise ValueError("non-standard constant " + name)
with open(sys.argv[1], "rb") as f:
    data = f.read()
if not data.endswith(b"\n"):
    sys.exit("check_json: the last line has no line feed")
for number, raw in enumerate(data.split(b"\n")[:-1], 1):
    try:
        value = json.loads(raw.decode("utf-8", errors="strict"), parse_constant=no_constant)
    except Exception as e:
        sys.exit(f"check_json: line {number} is not strict JSON: {e}")
    if not isinstance(value, dict):
        sys.exit(f"check_json: line {number} is not an object")
PY

printf '%s\n' "$parsed" | jq -s -e -r '
  def fail(msg): error("check_json: " + msg);
  . as $events
  | if any($events[]; .type == "suite" and .event == "discovery") then
      [$events[] | select(.type == "test" and .event == "discovered")] as $found
      | ($events[-1]) as $done
      | if $events[0].event != "discovery" then fail("listing does not start with discovery")
        elif ($done.type != "suite" or $done.event != "completed") then fail("listing does not end with completed")
        elif ($found | length) + 2 != ($events | length) then fail("listing holds other events")
        elif ($found | length) != $done.tests then fail("discovered \($found | length), completed says \($done.tests)")
        elif ([$found[] | select(.ignore)] | length) != $done.ignored then fail("ignored count differs")
        elif $done.total != $done.tests + $done.benchmarks then fail("total is not tests + benchmarks")
        else "listing: \($done.tests) tests" end
    else
      ($events[0]) as $start
      | ($events[-1]) as $finish
      | [$events[] | select(.type == "test" and (.event == "ok" or .event == "failed" or .event == "ignored"))] as $results
      | def count(e): [$results[] | select(.event == e)] | length;
      if ($start.type != "suite" or $start.event != "started") then fail("run does not start with the suite start")
      elif ($finish.type != "suite" or ($finish.event != "ok" and $finish.event != "failed")) then fail("run does not end with the suite finish")
      elif ($results | length) != $start.test_count then fail("\($results | length) results, test_count \($start.test_count)")
      elif count("ok") != $finish.passed then fail("ok results differ from passed")
      elif count("failed") != $finish.failed then fail("failed results differ from failed")
      elif count("ignored") != $finish.ignored then fail("ignored results differ from ignored")
      elif ($finish.event == "failed") != ($finish.failed > 0) then fail("finish event disagrees with its failed count")
      else "run: \($start.test_count) tests, \($finish.passed) passed, \($finish.failed) failed, \($finish.ignored) ignored" end
    end'
