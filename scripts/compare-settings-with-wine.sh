#!/usr/bin/env bash
# compare-settings-with-wine.sh NATIVE_BUILD WINDOWS_BUILD
# Runs every script of tests/settings-sequences through the native settings-sequence and through
# the Windows one under Wine (the 32-bit build's in its 32-bit root when it was configured so),
# and requires the same readings and the same wbcatch.ini bytes.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
native=$(realpath "$1") windows=$(realpath "$2")
enter=()
if grep -q '^WBFAX_IN_I386_ROOT:[A-Z]*=ON$' "$windows/CMakeCache.txt" 2>/dev/null; then
    enter=("$here/scripts/i386-root.sh" enter --bind "$windows")
fi
# The scripts are named relative to the checkout, which the root also sees.
cd "$here"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=0
for script in "$here"/tests/settings-sequences/*.txt; do
    name=$(basename "$script" .txt)
    rm -rf "$scratch/appdata" && mkdir -p "$scratch/appdata"
    WBFAX_COMMON_APPDATA="$scratch/appdata" "$native/bin/settings-sequence" "$script" >"$scratch/$name.native"
    "${enter[@]}" "$here/cmake/wine-run.sh" --prefix "$windows/wineprefix" "$windows/bin/settings-sequence.exe" \
        "$(realpath --relative-to="$PWD" "$script")" >"$scratch/$name.windows"
    if cmp -s "$scratch/$name.native" "$scratch/$name.windows"; then
        echo "same: $name"
    else
        echo "DIFFERENT: $name (< native, > Windows)"
        diff <(cat -A "$scratch/$name.native") <(cat -A "$scratch/$name.windows") || true
        failed=1
    fi
done
exit $failed
