#!/usr/bin/env bash
# The real program on a virtual X server at scale 2 (QT_SCALE_FACTOR), with
# or without a window manager: a 1-pixel checkerboard shown at its natural
# size, in the main window and full screen, stays a 1-pixel checkerboard on
# the screen (a grab of the screen compared pixel by pixel).
set -euo pipefail
program=$1
wm=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/lumenta"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR
export QT_SCALE_FACTOR=2
convert -size 120x90 pattern:gray50 -type Palette "BMP3:$work/damier.bmp"

cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
work=$1 wm=$2
fail() { echo "scale 2: $*"; exit 1; }
# Whether the screen grab $1 shows the picture unchanged, pixel for pixel,
# somewhere in its area $2 (WxH+X+Y).
shows_picture() {
  convert "$1" -crop "$2" +repage "$work/seen.png"
  local found
  found=$(compare -fuzz 2% -metric AE -subimage-search "$work/seen.png" "$work/damier.bmp" null: 2>&1 || true)
  [[ ${found%% *} == 0 ]]
}
if [[ -n $wm ]]; then
  "$wm" >/dev/null 2>&1 &
  sleep 1
fi
"$work/lumenta" "$work/damier.bmp" >"$work/out.log" 2>&1 &
pid=$!
win=$(timeout 20 xdotool search --sync --onlyvisible --name 'DAMIER\.BMP  [0-9]+ Octets$' | head -n 1)
[[ -n "$win" ]] || { kill "$pid"; fail "the picture was not opened"; }
sleep 1
# Where the window's inside lies on the screen, in screen pixels.
read -r x y < <(xwininfo -id "$win" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {print x, $NF}')
# The viewport starts 3000 twips (200 logical pixels) from the left, under
# the menu bar.
import -window root "$work/screen.png"
shows_picture "$work/screen.png" "130x200+$((x + 395))+$y" ||
  { kill "$pid"; fail "main window: the picture is not shown one pixel per pixel"; }

# Full screen at "Proportionnelle - Echelle 1:1": centred, one pixel per pixel.
xdotool mousemove --window "$win" 460 40 click 1
full=$(timeout 10 xdotool search --sync --onlyvisible --name '^Plein écran$' | head -n 1)
[[ -n "$full" ]] || { kill "$pid"; fail "no full-screen window"; }
sleep 1
read -r fw fh < <(xwininfo -id "$full" | awk '/^  Width:/ {w=$NF} /^  Height:/ {print w, $NF}')
[[ "$fw $fh" == "2048 1536" ]] || { kill "$pid"; fail "full screen is $fw x $fh"; }
import -window root "$work/full.png"
shows_picture "$work/full.png" "120x90+964+723" ||
  { kill "$pid"; fail "full screen: the picture is not shown one pixel per pixel, centred"; }
xdotool windowfocus "$full" 2>/dev/null || true
sleep 0.3
xdotool key --clearmodifiers Escape
for _ in $(seq 1 50); do
  [[ -z $(xdotool search --onlyvisible --name '^Plein écran$' 2>/dev/null) ]] && break
  sleep 0.1
done
[[ -z $(xdotool search --onlyvisible --name '^Plein écran$' 2>/dev/null) ]] ||
  { kill "$pid"; fail "Escape did not leave the full screen"; }
kill -TERM "$pid"
wait "$pid" || fail "exit status $?"
INNER
xvfb-run -a -s "-screen 0 2048x1536x24" bash "$work/inner.sh" "$work" "$wm"
echo "scale 2 test passed${wm:+ ($wm)}"
