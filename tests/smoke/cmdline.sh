#!/usr/bin/env bash
# The real program started on a file, on a folder and on a missing path, on a
# virtual X server without a window manager; --help and --version without a
# display. Starting this way writes no settings file.
set -euo pipefail
program=$1
fixtures=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/lumenta"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
fail() { echo "command line: $*"; exit 1; }

help=$(env -u DISPLAY "$work/lumenta" --help) || fail "--help failed"
grep -q '^Utilisation : .*\[fichier|dossier\]' <<<"$help" || fail "help: $help"
grep -q 'Affiche cette aide' <<<"$help" || fail "help not in French: $help"
[[ $(env -u DISPLAY "$work/lumenta" --version) == "Lumenta "[0-9]* ]] || fail "no version"

album="$work/photos/vacances été"
mkdir -p "$album"
cp "$fixtures/pictures/samples/jpeg/baseline.jpg" "$album/chat.jpeg"
cp "$fixtures/pictures/samples/gif/static.gif" "$album/b.gif"

cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
work=$1 album=$2
fail() { echo "command line: $*"; exit 1; }
# Starts the program on its arguments; waits for a window whose name matches.
start() {
  local pattern=$1; shift
  "$work/lumenta" "$@" >>"$work/out.log" 2>&1 &
  pid=$!
  win=$(timeout 20 xdotool search --sync --onlyvisible --name "$pattern" | head -n 1)
  [[ -n "$win" ]] || { kill "$pid"; fail "no window \"$pattern\" for $*"; }
}
# Keys go to the window through the X test extension, as typed ones do.
keys() {
  local w=$1; shift
  xdotool windowfocus --sync "$w"
  xdotool key --clearmodifiers "$@"
}
# Waits until no visible window's name matches (a closing window may still
# hold the keys back on a loaded machine).
gone() {
  for _ in $(seq 1 100); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  fail "the window \"$1\" stayed"
}
quit() {
  keys "$1" ctrl+q
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then kill "$pid"; fail "Ctrl+Q did not end the program after $2"; fi
  wait "$pid" || fail "exit status $? after $2"
}

# A file: shown at once, its folder listed; a click on the picture opens the
# full screen, which covers the screen without a window manager.
cd "$work"
start 'CHAT\.JPEG  [0-9]+ Octets$' "photos/vacances été/chat.jpeg"
xdotool mousemove --window "$win" 300 60 click 1
# Once shown: the window exists a moment before, and takes no focus then.
full=$(timeout 20 xdotool search --sync --onlyvisible --name '^Plein écran$' | head -n 1) || true
[[ -n "$full" ]] || fail "no full-screen window"
size=$(xwininfo -id "$full" | awk '/-geometry/ { print $2 }')
[[ $size == 1024x768+0+0 ]] || fail "the full-screen window is $size on a 1024x768 screen"
keys "$full" Escape
gone '^Plein écran$'
quit "$win" "a file"

# A folder: the lists start there and nothing opens until the user acts;
# tabbing from the filter into the list opens nothing, Enter opens the file
# the list's focus is on: the folder's first file.
start "^Visionneuse d'images$" "$album"
xdotool mousemove --window "$win" 60 229 click 1
keys "$win" Tab
sleep 0.5
[[ $(xdotool getwindowname "$win") == "Visionneuse d'images" ]] || fail "the focus opened a file"
keys "$win" Return
timeout 10 xdotool search --sync --onlyvisible --name 'B\.GIF  [0-9]+ Octets$' >/dev/null ||
  fail "Enter did not open the first file of the folder"
quit "$win" "a folder"

# A missing path: the message, then the normal start.
start '^Erreur$' "$work/nulle part.jpg"
keys "$win" Return
gone '^Erreur$'
win=$(timeout 10 xdotool search --sync --onlyvisible --name "^Visionneuse d'images$" | head -n 1)
quit "$win" "a missing path"
INNER
# -noreset: the server would reset when a program that quit was its last
# client, and could refuse the next program started meanwhile.
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$work/inner.sh" "$work" "$album"
if [[ -e "$work/Affich.cfg" || -e "$XDG_CONFIG_HOME/Lumenta/Affich.cfg" ]]; then
  fail "starting on a path wrote a settings file"
fi
echo "command-line test passed"
