#!/usr/bin/env bash
# Installs the Debian packages Lumenta needs to build, run and test.
# Only missing packages are installed; "apt-get update" runs only when
# something is missing, so a second run costs nothing.
set -euo pipefail

PACKAGES=(
  # build
  cmake ninja-build g++ pkg-config clang-format
  # Qt 6 widgets, SVG, extra image formats, French translations
  qt6-base-dev qt6-svg-dev qt6-image-formats-plugins qt6-translations-l10n
  qt6-l10n-tools
  # desktop associations
  libglib2.0-dev shared-mime-info libglib2.0-bin desktop-file-utils
  # JPEG decoding (libjpeg-turbo) and djpeg, the benchmark's yardstick
  libjpeg62-turbo-dev libjpeg-turbo-progs
  # picture conversion: GIF writing (giflib) and palette reduction (libimagequant)
  libgif-dev libimagequant-dev
  # metafiles (WMF, EMF)
  libwmf-dev libemf2svg-dev
  # HEIC/HEIF, AVIF and JPEG XL (decoded in a helper process); the encoders
  # the tests make their samples with and heif-convert, the benchmark's yardstick
  libheif-dev libjxl-dev libheif-examples libjxl-tools
  # libde265 (libheif's HEVC decoder), driven with a thread per processor
  libde265-dev
  # sound, MIDI, CD audio
  libsdl2-dev libsndfile1-dev libfluidsynth-dev timgm6mb-soundfont
  libcdio-dev libcdio-paranoia-dev
  # animation player (FLI/FLC)
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  # printing through CUPS
  libcups2-dev
  # scanners (libsane1 brings the "test" backend the tests scan from)
  libsane-dev libsane1
  # the thumbnail cache's PNG files (plain text chunks, RGBA)
  libpng-dev
  # colour management: lcms2, the monitor's profile read through XCB; the
  # tests' reference tools (tificc, jpgicc) and profiles (colord-data)
  liblcms2-dev libxcb1-dev liblcms2-utils colord-data
  # pictures too large to be decoded whole: TIFF and WebP read by parts
  # through libvips (its module); vips and vipsthumbnail, the benchmarks'
  # yardsticks
  libvips-dev libvips-tools
  # native Wayland; the cursor theme the busy pointer comes from there
  qt6-wayland adwaita-icon-theme
  # tests; gdb prints the stacks of a test that runs out of time; ImageMagick writes
  # the TGA samples and compares screen grabs
  libgtest-dev googletest xvfb xauth xdotool gdb procps imagemagick
  # smoke tests on a headless Wayland compositor, and with and without a
  # window manager on X11
  weston openbox x11-utils
  # camera thumbnails written into test photos
  libimage-exiftool-perl
  # printing tests: a private print server with a PDF queue, PDF rendering
  cups-daemon cups-client cups-filters poppler-utils
)
# More packages for one purpose may be named on the command line (the fuzz
# targets' compiler: fuzz/run.sh).
PACKAGES+=("$@")

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
SUDO=""
if [[ $(id -u) -ne 0 ]]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
