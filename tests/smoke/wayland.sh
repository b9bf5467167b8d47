#!/usr/bin/env bash
# The real program on a headless Wayland compositor of the test's own, at
# output scales 1 and 2: it runs on Wayland, opens a picture, its full
# screen covers the output and shows the picture one pixel per device pixel
# (a screenshot of the compositor's output), Escape comes back, the copy
# either lands on the clipboard or says it cannot, windows placed by the
# program on X11 raise no complaint here, and SIGTERM ends it with status 0.
set -euo pipefail
program=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
source "$here/weston.sh"
trap 'stop_weston; rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
# Qt 6.4 never frees the data handed to a clipboard it cannot take (no seat
# on a headless compositor): in a sanitizer build that is no finding of ours.
[[ -n ${ASAN_OPTIONS:-} ]] && export ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0"
fail() { echo "wayland: $*"; [[ -s $work/out.log ]] && cat "$work/out.log"; exit 1; }
convert -size 120x90 pattern:gray50 -type Palette "BMP3:$work/damier.bmp"

for scale in 1 2; do
  start_weston "$work" --width=1024 --height=768 --scale=$scale --debug
  : >"$work/out.log"
  start_driven "$program" "$work" "$work/damier.bmp"
  main='DAMIER\.BMP  [0-9]+ Octets$'
  [[ $(drive platform) == "ok wayland" ]] || fail "not on Wayland: $(drive platform)"
  drive window "$main" >/dev/null || fail "the picture was not opened (scale $scale)"
  read -r _ sw sh ratio < <(drive screen "$main")
  [[ "$sw $sh $ratio" == "1024 768 $scale" ]] || fail "screen $sw x $sh at $ratio, not at $scale"

  # A click on the picture: the full screen covers the whole output.
  drive click "$main" 230 40 >/dev/null
  read -r answer fw fh < <(drive window '^Plein écran$') || true
  [[ $answer == ok ]] || fail "no full-screen window (scale $scale)"
  [[ "$fw $fh" == "1024 768" ]] || fail "full screen is $fw x $fh on a 1024 x 768 output"
  # What the compositor shows: the picture centred, one pixel per pixel
  # (taken again while the shell still fades the new window in).
  x=$(((1024 * scale - 120) / 2)) y=$(((768 * scale - 90) / 2))
  differ=unknown
  for _ in $(seq 1 20); do
    rm -f "$work"/wayland-screenshot*.png
    (cd "$work" && weston-screenshooter >/dev/null 2>&1) || fail "no screenshot"
    convert "$work"/wayland-screenshot*.png -crop "120x90+$x+$y" +repage "$work/seen.png"
    # The compositor's screenshots may round white to 254.
    differ=$(compare -fuzz 2% -metric AE "$work/seen.png" "$work/damier.bmp" null: 2>&1 || true)
    [[ $differ == 0 ]] && break
    sleep 0.25
  done
  [[ $differ == 0 ]] || fail "full screen at scale $scale: $differ pixels differ from the picture"
  drive key '^Plein écran$' Escape >/dev/null
  drive gone '^Plein écran$' >/dev/null || fail "Escape left the full screen open"

  # The copy: on the clipboard, or a warning where the compositor gives the
  # program no clipboard (a headless one without a seat).
  drive key "$main" Ctrl+C >/dev/null
  if drive window '^Avertissement$' >/dev/null; then
    drive key '^Avertissement$' Return >/dev/null
  else
    formats=$(drive clipboard)
    [[ $formats == *image/png* ]] || fail "nothing on the clipboard: $formats"
  fi

  kill -TERM "$pid"
  limit=$((2 * ${LUMENTA_TIMEOUT_FACTOR:-1}))
  for _ in $(seq 1 $((limit * 10))); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && { kill -9 "$pid"; fail "still running $limit s after SIGTERM"; }
  status=0
  wait "$pid" || status=$?
  [[ $status == 0 ]] || fail "exit status $status after SIGTERM"
  # Nothing to say about windows placed by the compositor (Qt's own note on
  # the missing seat aside).
  complaints=$(grep 'qt\.qpa' "$work/out.log" | grep -v 'no wl_seats available' || true)
  [[ -z $complaints ]] || fail "complaints: $complaints"
  stop_weston
done
echo "wayland test passed"
