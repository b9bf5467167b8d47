#!/usr/bin/env bash
# Starts the real program on a virtual X server, waits for its main window,
# closes it with the keyboard and checks that a first start leaves no
# settings file behind.
set -euo pipefail
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A program folder of its own, so the settings file would land there.
cp "$program" "$work/lumenta"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM

cat > "$work/inner.sh" <<'INNER'
set -euo pipefail
cd "$1"
./lumenta >"$1/out.log" 2>&1 &
pid=$!
win=$(timeout 30 xdotool search --sync --onlyvisible --name "^Visionneuse d'images$" | head -n 1)
if [[ -z "$win" ]]; then
  echo "main window did not appear"; kill "$pid"; exit 1
fi
echo "window $win: $(xdotool getwindowname "$win")"
xdotool windowfocus --sync "$win"
xdotool key --clearmodifiers ctrl+q
for _ in $(seq 1 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "program did not quit"; kill "$pid"; exit 1
fi
wait "$pid"
INNER
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/inner.sh" "$work"
if [[ -e "$work/Affich.cfg" || -e "$XDG_CONFIG_HOME/Lumenta/Affich.cfg" ]]; then
  echo "first start wrote a settings file"; exit 1
fi
echo "smoke test passed"
