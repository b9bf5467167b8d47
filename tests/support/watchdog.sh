#!/usr/bin/env bash
# Runs a test program; when it is still running after LIMIT seconds (set
# below the test's own time limit), prints the stack of every thread of it
# and of every process it started, then ends them and fails. A test that
# hangs is thus never "cause unknown".
#
#   watchdog.sh LIMIT PROGRAM [ARGUMENTS...]
set -u
limit=$1
shift

# The processes under $1, deepest first, $1 last.
tree() {
  local child
  for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do
    tree "$child"
  done
  echo "$1"
}

dump() {
  local pid
  echo "watchdog: still running after ${limit} s; the stack of every thread follows" >&2
  for pid in $(tree "$1"); do
    [[ -d /proc/$pid ]] || continue
    echo "watchdog: process $pid: $(tr '\0' ' ' <"/proc/$pid/cmdline")" >&2
    # No debug-info server is asked: nothing leaves the machine.
    DEBUGINFOD_URLS= timeout 60 gdb -nx -batch -p "$pid" \
      -iex 'set debuginfod enabled off' -ex 'set pagination off' \
      -ex 'thread apply all bt' </dev/null 2>&1 | grep -v '^\[New LWP' >&2
  done
}

sleep "$limit" </dev/null >/dev/null 2>&1 &
timer=$!
"$@" &
program=$!
wait -n -p ended "$timer" "$program"
status=$?
if [[ ${ended:-} == "$timer" ]]; then
  dump "$program"
  for pid in $(tree "$program"); do
    kill -KILL "$pid" 2>/dev/null
  done
  wait "$program" 2>/dev/null
  echo "watchdog: ended after ${limit} s" >&2
  exit 124
fi
kill "$timer" 2>/dev/null
wait "$timer" 2>/dev/null
exit "$status"
