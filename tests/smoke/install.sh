#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the desktop program's
# files: one program folder with the companions, the command on the path, the
# desktop entry and the icon.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
fail() { echo "install: $*"; exit 1; }
[[ -L "$prefix/bin/lumenta" ]] || fail "no lumenta command on the path"
target=$(readlink -f "$prefix/bin/lumenta")
folder=$(dirname "$target")
[[ -x "$target" ]] || fail "the command does not lead to the program"
[[ -x "$folder/aawin" ]] || fail "aawin is not beside the program"
for f in "$folder"/*; do
  [[ -x "$f" ]] || fail "unexpected file in the program folder: $f"
done
desktop="$prefix/share/applications/lumenta.desktop"
[[ -f "$desktop" ]] || fail "no desktop entry"
grep -qx 'Exec=lumenta' "$desktop" || fail "desktop entry does not start lumenta"
[[ -f "$prefix/share/icons/hicolor/scalable/apps/lumenta.svg" ]] || fail "no icon"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop"
fi
echo "install test passed ($folder)"
