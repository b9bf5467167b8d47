#!/usr/bin/env bash
# The smoke tests of X11 again on a headless Wayland compositor of the
# test's own, input coming through the driver of the test build:
#   start    start and quit with Ctrl+Q; a first start writes no settings
#   cmdline  started on a file (a click opens the full screen, which covers
#            the output; Escape closes it), on a folder (the focus opens
#            nothing, Enter opens its first file) and on a missing path
#   signal   SIGTERM after a sound played ends it within 2 s, status 0
set -euo pipefail
case=$1 program=$2 fixtures=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
source "$here/weston.sh"
trap 'stop_weston; rm -rf "$work"' EXIT
cp "$program" "$work/lumenta"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" SDL_DISKAUDIODELAY=1
mkdir -p "$HOME"
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
# Qt's Wayland plugin, and libwayland-client with it, are unloaded at exit,
# so what they keep until then is reported without a module no suppression
# can name (and Qt 6.4 never frees the data handed to a clipboard it cannot
# take): in a sanitizer build, no leak check here, as in wayland.sh.
[[ -n ${ASAN_OPTIONS:-} ]] && export ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0"
fail() { echo "$case on Wayland: $*"; [[ -s $work/out.log ]] && cat "$work/out.log"; exit 1; }
start_weston "$work" --width=1024 --height=768
cd "$work"

# Waits up to the given tenths of a second for the program to end: its status.
ended() {
  for _ in $(seq 1 "$1"); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; return 99; fi
  local status=0
  wait "$pid" || status=$?
  return $status
}
quit() {
  drive key "$1" Ctrl+Q >/dev/null || fail "no window to quit from ($2)"
  ended 100 || fail "exit status $? after $2"
}
no_settings() {
  [[ ! -e "$work/Affich.cfg" && ! -e "$XDG_CONFIG_HOME/Lumenta/Affich.cfg" ]] ||
    fail "$1 wrote a settings file"
}

case $case in
start)
  start_driven "$work/lumenta" "$work"
  drive window "^Visionneuse d'images$" >/dev/null || fail "main window did not appear"
  quit "^Visionneuse d'images$" "Ctrl+Q"
  no_settings "a first start"
  ;;
cmdline)
  album="$work/photos/vacances été"
  mkdir -p "$album"
  cp "$fixtures/pictures/samples/jpeg/baseline.jpg" "$album/chat.jpeg"
  cp "$fixtures/pictures/samples/gif/static.gif" "$album/b.gif"
  main='CHAT\.JPEG  [0-9]+ Octets$'
  start_driven "$work/lumenta" "$work" "photos/vacances été/chat.jpeg"
  drive window "$main" >/dev/null || fail "the file was not shown"
  drive click "$main" 300 60 >/dev/null
  read -r answer fw fh < <(drive window '^Plein écran$') || true
  [[ $answer == ok ]] || fail "no full-screen window"
  [[ "$fw $fh" == "1024 768" ]] || fail "the full-screen window is $fw x $fh on a 1024 x 768 output"
  drive key '^Plein écran$' Escape >/dev/null
  drive gone '^Plein écran$' >/dev/null || fail "Escape left the full screen open"
  quit "$main" "a file"

  start_driven "$work/lumenta" "$work" "$album"
  main="^Visionneuse d'images$"
  drive window "$main" >/dev/null || fail "no window on a folder"
  drive click "$main" 60 229 >/dev/null
  drive key "$main" Tab >/dev/null
  sleep 0.5
  drive window "$main" >/dev/null || fail "the focus opened a file"
  drive key "$main" Return >/dev/null
  drive window 'B\.GIF  [0-9]+ Octets$' >/dev/null || fail "Enter did not open the first file"
  quit 'B\.GIF  [0-9]+ Octets$' "a folder"

  start_driven "$work/lumenta" "$work" "$work/nulle part.jpg"
  drive window '^Erreur$' >/dev/null || fail "a missing path was not reported"
  drive key '^Erreur$' Return >/dev/null
  drive window "^Visionneuse d'images$" >/dev/null || fail "no start after the message"
  quit "^Visionneuse d'images$" "a missing path"
  no_settings "starting on a path"
  ;;
signal)
  cp "$fixtures/media/tone_s16.wav" "$work/tone.wav"
  start_driven "$work/lumenta" "$work" "$work/tone.wav"
  main='TONE\.WAV  [0-9]+ Octets$'
  drive window "$main" >/dev/null || fail "the sound was not opened"
  # The play button of the media control (third of its row).
  drive click "$main" 281 423 >/dev/null
  for _ in $(seq 1 100); do
    [[ -s "$work/audio.raw" && -n $(tr -d '\0' <"$work/audio.raw" | head -c 1) ]] && break
    sleep 0.05
  done
  [[ -n $(tr -d '\0' <"$work/audio.raw" | head -c 1) ]] || fail "nothing played"
  kill -TERM "$pid"
  ended $((20 * ${LUMENTA_TIMEOUT_FACTOR:-1})) || fail "status $? after SIGTERM (99: still running after its time)"
  ;;
*)
  fail "no such case"
  ;;
esac
echo "$case test passed on Wayland"
