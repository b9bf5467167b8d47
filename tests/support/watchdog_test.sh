#!/usr/bin/env bash
# The watchdog ends a program that outlives its limit, after printing the
# stack of every thread of it and of the processes it started; a program that
# ends in time keeps its exit status and output.
set -u
watchdog=$(dirname "$0")/watchdog.sh
fail() { echo "watchdog test: $*"; exit 1; }

out=$(bash "$watchdog" 2 bash -c 'sleep 120 & wait' 2>&1)
status=$?
[[ $status == 124 ]] || fail "a hung program gave status $status"
grep -q 'process .*sleep 120' <<<"$out" || fail "the started process is not shown: $out"
grep -q 'nanosleep' <<<"$out" || fail "no stack: $out"
pgrep -f 'sleep 120' >/dev/null && fail "the hung processes were left running"

out=$(bash "$watchdog" 30 bash -c 'echo done; exit 7' 2>&1)
status=$?
[[ $status == 7 && $out == done ]] || fail "a quick program gave status $status, output: $out"
exit 0
