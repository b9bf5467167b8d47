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
# Runs "$@" every tenth of a second until it succeeds, $1 times at most.
retry() {
  local n=$1; shift
  for _ in $(seq 1 "$n"); do "$@" && return 0; sleep 0.1; done
  return 1
}
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
if [[ -n $wm ]]; then
  "$wm" >"$work/wm.log" 2>&1 &
  retry 200 wm_ready || fail "$wm did not start: $(cat "$work/wm.log")"
fi
"$work/lumenta" "$work/damier.bmp" >"$work/out.log" 2>&1 &
pid=$!
win=$(timeout 20 xdotool search --sync --onlyvisible --name 'DAMIER\.BMP  [0-9]+ Octets$' | head -n 1) || true
[[ -n "$win" ]] || { kill "$pid"; fail "the picture was not opened"; }
# Shown once drawn, wherever a window manager put the window: the
# viewport starts 3000 twips (200 logical pixels) from the left of the
# window's inside, under the menu bar.
main_shows() {
  read -r x y < <(xwininfo -id "$win" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {print x, $NF}')
  import -window root "$work/screen.png"
  shows_picture "$work/screen.png" "130x200+$((x + 395))+$y"
}
retry 50 main_shows || { kill "$pid"; fail "main window: the picture is not shown one pixel per pixel"; }

# Full screen at "Proportionnelle - Echelle 1:1": centred, one pixel per pixel
# (a window manager makes it cover the screen after it is shown).
xdotool mousemove --window "$win" 460 40 click 1
full=$(timeout 20 xdotool search --sync --onlyvisible --name '^Plein écran$' | head -n 1) || true
[[ -n "$full" ]] || { kill "$pid"; fail "no full-screen window"; }
full_covers() {
  read -r fw fh < <(xwininfo -id "$full" | awk '/^  Width:/ {w=$NF} /^  Height:/ {print w, $NF}')
  [[ "$fw $fh" == "2048 1536" ]]
}
retry 100 full_covers || { kill "$pid"; fail "full screen is $fw x $fh"; }
full_shows() {
  import -window root "$work/full.png"
  shows_picture "$work/full.png" "120x90+964+723"
}
retry 50 full_shows ||
  { kill "$pid"; fail "full screen: the picture is not shown one pixel per pixel, centred"; }
xdotool windowfocus --sync "$full"
xdotool key --clearmodifiers Escape
full_gone() { [[ -z $(xdotool search --onlyvisible --name '^Plein écran$' 2>/dev/null) ]]; }
retry 100 full_gone || { kill "$pid"; fail "Escape did not leave the full screen"; }
kill -TERM "$pid"
wait "$pid" || fail "exit status $?"
INNER
# -noreset: the server would reset whenever its last client leaves (xprop
# asking whether the window manager is up), refusing the one connecting then.
xvfb-run -a -s "-screen 0 2048x1536x24 -noreset" bash "$work/inner.sh" "$work" "$wm"
echo "scale 2 test passed${wm:+ ($wm)}"
