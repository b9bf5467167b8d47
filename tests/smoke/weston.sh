# Shell helpers of the smoke tests on Wayland (sourced): a headless weston of
# the test's own, and the driver inside the test build of the program.
#
#   start_weston DIR [OPTIONS...]  starts weston on a private runtime folder
#                                  DIR/run (mode 0700) and exports it with
#                                  WAYLAND_DISPLAY; stop_weston ends it
#   start_driven PROGRAM DIR ARGS  starts the program driven through DIR/in
#                                  and DIR/out; its id in $pid
#   drive COMMAND ARGS...          one driver command (its fields go apart by
#                                  tabs, so patterns may hold blanks); its answer on stdout,
#                                  status 1 when it is not "ok..."

weston_pid=

start_weston() {
  local dir=$1; shift
  export XDG_RUNTIME_DIR="$dir/run"
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  export WAYLAND_DISPLAY="lumenta-test-$$"
  weston --backend=headless-backend.so --socket="$WAYLAND_DISPLAY" --idle-time=0 \
    --no-config --use-pixman "$@" >"$dir/weston.log" 2>&1 &
  weston_pid=$!
  for _ in $(seq 1 100); do
    [[ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ]] && return 0
    kill -0 "$weston_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "weston did not start:"; cat "$dir/weston.log"
  return 1
}

stop_weston() {
  if [[ -n $weston_pid ]]; then
    kill "$weston_pid" 2>/dev/null || true
    wait "$weston_pid" 2>/dev/null || true
    weston_pid=
  fi
}

driver_dir=

start_driven() {
  local program=$1 dir=$2; shift 2
  driver_dir="$dir/driver"
  mkdir -p "$driver_dir"
  rm -f "$driver_dir/in" "$driver_dir/out"
  mkfifo "$driver_dir/in" "$driver_dir/out"
  # No X server to fall back on: the program must be on Wayland. Qt's
  # Wayland text input needs a seat, which the headless compositor has
  # not (a click in a text box would end the program): the compose input
  # method stands in for it.
  env -u DISPLAY -u QT_QPA_PLATFORM QT_IM_MODULE=compose LUMENTA_DRIVER="$driver_dir" \
    "$program" "$@" >>"$dir/out.log" 2>&1 &
  pid=$!
}

drive() {
  local reply=
  (IFS=$'\t'; echo "$*") >"$driver_dir/in"
  IFS= read -r -t 40 reply <"$driver_dir/out" || reply="error no answer to: $*"
  echo "$reply"
  [[ $reply == ok* ]]
}
