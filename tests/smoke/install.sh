#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the desktop program's
# files: one program folder with the companions, the command on the path, the
# desktop entry that file managers offer for pictures, the icon, the licence,
# and programs whose libraries' licences can be combined.
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
grep -qx 'Exec=lumenta %f' "$desktop" || fail "desktop entry does not start lumenta on a file"
desktop-file-validate "$desktop"
[[ -f "$prefix/share/icons/hicolor/scalable/apps/lumenta.svg" ]] || fail "no icon"
grep -q 'GNU GENERAL PUBLIC LICENSE' "$prefix/share/doc/lumenta/LICENSE" || fail "no licence"

# Registered for the pictures it reads, in a private set of XDG folders (GIO
# shows only entries whose program is on the path).
xdg="$prefix/xdg"
mkdir -p "$xdg/home" "$xdg/config" "$xdg/data"
update-desktop-database "$prefix/share/applications"
for type in image/jpeg image/bmp image/gif image/x-icon image/x-win-bitmap image/x-wmf image/png \
            image/x-emf image/webp image/tiff image/svg+xml image/heic image/avif image/jxl; do
  apps=$(PATH="$prefix/bin:$PATH" HOME="$xdg/home" XDG_CONFIG_HOME="$xdg/config" \
         XDG_DATA_HOME="$xdg/data" XDG_DATA_DIRS="$prefix/share:/usr/share" gio mime "$type")
  grep -q 'lumenta\.desktop' <<<"$apps" || fail "not offered for $type: $apps"
done

# libemf2svg is GPL-2.0 only, libcdio and libimagequant GPL-3.0 or later,
# libheif LGPL-3.0: no program may link libemf2svg with any of those.
grep -q libemf2svg <<<"$(ldd "$folder/lumenta-mfrender")" ||
  fail "the metafile renderer lacks libemf2svg"
grep -q libheif <<<"$(ldd "$folder/lumenta-picdecode")" || fail "the picture decoder lacks libheif"
# libvips and the hundred libraries it brings come only with the first
# picture read through it, in its module.
grep -q libvips <<<"$(ldd "$folder/lumenta-vipsparts.so")" || fail "the libvips module lacks libvips"
! grep -q libvips <<<"$(ldd "$target")" || fail "the program links libvips itself"
for f in "$folder"/*; do
  libs=$(ldd "$f")
  if grep -q libemf2svg <<<"$libs" && grep -qE 'libcdio|libimagequant|libheif' <<<"$libs"; then
    fail "$(basename "$f") links libemf2svg with libcdio, libimagequant or libheif"
  fi
done
echo "install test passed ($folder)"
