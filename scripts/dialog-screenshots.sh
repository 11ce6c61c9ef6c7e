#!/usr/bin/env bash
# Pictures of the settings dialogs for docs/screenshots: the dialogs of the Windows x86_64 build
# under Wine on an Xvfb screen, worked by the dialog tests, in Japanese and in English.
#   scripts/dialog-screenshots.sh [BUILD_DIR]     (default build/win-x64)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/ensure-packages.sh"
ensure_packages cmake ninja-build g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 locales xvfb \
    imagemagick fonts-ipafont-gothic libgtest-dev
build=$(realpath -m "${1:-$here/build/win-x64}")
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j2 --target settings_dialogs_test
shots="$here/docs/screenshots"
rm -f "$shots"/*.png
bash "$here/tests/gui/run-dialog-tests.sh" "$here/cmake/wine-run.sh" "$build/wineprefix-dialogs" \
    "$build/bin/settings_dialogs_test.exe" --screenshots "$shots"
ls "$shots"
