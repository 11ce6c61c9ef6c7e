#!/usr/bin/env bash
# Pictures of the settings dialogs for docs/screenshots: the dialogs of the shipping 32-bit build
# under 32-bit Wine in the 32-bit root (scripts/i386-root.sh), on an Xvfb screen there, worked by
# the dialog tests, in Japanese and in English. With --x64 those of the 64-bit build under wine64.
#   scripts/dialog-screenshots.sh [--x64] [BUILD_DIR]     (default build/win-i686 or build/win-x64)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/ensure-packages.sh"
arch=i686
[ "${1:-}" = "--x64" ] && { arch=x64; shift; }
ensure_packages cmake ninja-build g++-mingw-w64-i686-posix binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix \
    binutils-mingw-w64-x86-64 wine64 locales xvfb imagemagick fonts-ipafont-gothic libgtest-dev
build=$(realpath -m "${1:-$here/build/win-$arch}")
enter=()
options=()
if [ "$arch" = i686 ]; then
    "$here/scripts/i386-root.sh" make
    enter=("$here/scripts/i386-root.sh" enter --bind "$build")
    options=(-DWBFAX_IN_I386_ROOT=ON)
fi
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-${arch/x64/x86_64}.cmake" "${options[@]}" >/dev/null
cmake --build "$build" -j2 --target settings_dialogs_test
shots="$here/docs/screenshots"
rm -f "$shots"/*.png "$shots"/*.bmp
"${enter[@]}" bash "$here/tests/gui/run-dialog-tests.sh" "$here/cmake/wine-run.sh" "$build/wineprefix-dialogs" \
    "$build/bin/settings_dialogs_test.exe" --screenshots "$shots"
# The root has no ImageMagick: what it left as BMP is converted here.
convert=$(command -v convert-im6.q16 || command -v magick || command -v convert)
for bmp in "$shots"/*.bmp; do
    [ -e "$bmp" ] || continue
    "$convert" "$bmp" -strip "${bmp%.bmp}.png" && rm -f "$bmp"
done
ls "$shots"
