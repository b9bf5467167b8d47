#!/usr/bin/env bash
# The real program plays a WAV (SDL's disk driver), then gets SIGTERM: it must
# quit through its event loop, with status 0, within 2 seconds (times
# LUMENTA_TIMEOUT_FACTOR in sanitizer builds).
set -euo pipefail
program=$1
fixtures=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/lumenta"
cp "$fixtures/media/tone_s16.wav" "$work/tone.wav"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run"
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" SDL_DISKAUDIODELAY=1
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM

cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
work=$1
fail() { echo "signal: $*"; exit 1; }
"$work/lumenta" "$work/tone.wav" >"$work/out.log" 2>&1 &
pid=$!
win=$(timeout 20 xdotool search --sync --onlyvisible --name 'TONE\.WAV  [0-9]+ Octets$' | head -n 1)
[[ -n "$win" ]] || { kill "$pid"; fail "the sound was not opened"; }
# The play button of the media control (third of its row).
xdotool mousemove --window "$win" 281 423 click 1
for _ in $(seq 1 100); do
  [[ -s "$work/audio.raw" && -n $(tr -d '\0' <"$work/audio.raw" | head -c 1) ]] && break
  sleep 0.05
done
[[ -n $(tr -d '\0' <"$work/audio.raw" | head -c 1) ]] || { kill -9 "$pid"; fail "nothing played"; }
kill -TERM "$pid"
limit=$((2 * ${LUMENTA_TIMEOUT_FACTOR:-1}))
for _ in $(seq 1 $((limit * 10))); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  kill -9 "$pid"
  fail "still running $limit s after SIGTERM"
fi
status=0
wait "$pid" || status=$?
[[ $status == 0 ]] || fail "exit status $status after SIGTERM"
INNER
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/inner.sh" "$work"
echo "signal test passed"
