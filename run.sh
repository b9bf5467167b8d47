#!/usr/bin/env bash
# Installs what is missing, builds Lumenta and starts the viewer.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMENTA_BUILD_TESTS=OFF
cmake --build "$BUILD_DIR" -j "$(nproc)" --target programs
exec "$BUILD_DIR/bin/lumenta" "$@"
