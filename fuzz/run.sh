#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer and runs each for a while,
# as many at once as there are cores. Any finding (crash, sanitizer report,
# failed check, leak, timeout, memory limit) fails the run; its input lands
# in build-fuzz/fuzz-runs/<target>/findings/ and the end of its log is shown.
#
#   fuzz/run.sh [--seconds N] [--jobs N] [--no-build] [target...]
#
# Installs clang, libFuzzer and the symbolizer when they are missing. The
# build goes to $FUZZ_BUILD_DIR (build-fuzz by default); the seed corpora
# and regression inputs are read, never written: what a run adds to the
# corpus stays in build-fuzz/fuzz-runs/<target>/corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=30
jobs=$(nproc)
build_first=1
targets=()
while (($#)); do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --no-build) build_first=0; shift ;;
    *) targets+=("$1"); shift ;;
  esac
done
if ((${#targets[@]} == 0)); then
  for f in fuzz/*/fuzz_*.cpp; do
    targets+=("$(basename "$(dirname "$f")")")
  done
fi

build=${FUZZ_BUILD_DIR:-build-fuzz}
if ((build_first)); then
  ./scripts/install-deps.sh clang-16 libclang-rt-16-dev llvm-16
  CC=clang-16 CXX=clang++-16 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLUMENTA_FUZZ=ON -DLUMENTA_BUILD_TESTS=OFF -DLUMENTA_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target fuzz
fi

export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-16/bin/llvm-symbolizer
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0
export QT_QPA_PLATFORM=offscreen

# run_one NAME: one target for $seconds; prints one line, or the log's end.
run_one() {
  local name=$1 work="$build/fuzz-runs/$1"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/findings"
  local args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
              -artifact_prefix="$work/findings/")
  [[ -f fuzz/$name/$name.dict ]] && args+=(-dict="fuzz/$name/$name.dict")
  local inputs=("$work/corpus" "fuzz/$name/corpus")
  [[ -d fuzz/$name/regressions ]] && inputs+=("fuzz/$name/regressions")
  if "$build/bin/fuzz_$name" "${args[@]}" "${inputs[@]}" >"$work/log" 2>&1; then
    local cov execs
    cov=$(grep -o 'cov: [0-9]*' "$work/log" | tail -n 1)
    execs=$(grep -o 'average_exec_per_sec: *[0-9]*' "$work/log" | grep -o '[0-9]*$')
    echo "fuzz: $name: no finding in ${seconds} s ($cov, $execs runs/s)"
  else
    tail -n 60 "$work/log"
    echo "fuzz: $name: FINDING, input in $work/findings/"
    return 1
  fi
}
export -f run_one
export build seconds

printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one {}'
