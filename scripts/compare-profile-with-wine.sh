#!/usr/bin/env bash
# Runs the profile scripts through our POSIX profile functions and through the Windows ones
# under Wine, and fails on any difference in what they return or leave in the file.
#
#   scripts/compare-profile-with-wine.sh [--corpus-only | --random-only] [--count N] [--seed S]
#
# The corpus is tests/profile-cases/*.txt; the random part generates COUNT scripts (default
# 300) from SEED (default 1) and runs them a hundred to a process. Wine's ANSI code page
# follows the locale, so Wine runs with LANG=en_US.UTF-8 (code page 1252) and the native side
# with WBFAX_ACP=1252. The scripts in tests/profile-cases/cp932 run with LANG=ja_JP.UTF-8 and
# WBFAX_ACP=932 (a locale the system lacks is compiled into the build folder).
# Environment: BUILD_DIR (default build-compare), WINE (default wine64), MINGW_CXX, KEEP=1
# (keeps the work folder with every output).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$repo/build-compare}
mode=all
count=300
seed=1
while [ $# -gt 0 ]; do
    case $1 in
    --corpus-only) mode=corpus ;;
    --random-only) mode=random ;;
    --count) count=$2; shift ;;
    --seed) seed=$2; shift ;;
    *) echo "usage: $0 [--corpus-only | --random-only] [--count N] [--seed S]" >&2; exit 2 ;;
    esac
    shift
done

wine=${WINE:-}
if [ -z "$wine" ]; then
    wine=$(command -v wine64 || true)
    [ -n "$wine" ] || wine=/usr/lib/wine/wine64
fi
mingw=${MINGW_CXX:-$(command -v x86_64-w64-mingw32-g++-posix || command -v x86_64-w64-mingw32-g++ || true)}
if [ ! -x "$wine" ]; then echo "skipped: wine64 is not installed"; exit 0; fi
if [ -z "$mingw" ] || [ ! -x "$(command -v "$mingw" || true)" ]; then
    echo "skipped: mingw-w64 (x86_64-w64-mingw32-g++) is not installed"
    exit 0
fi

echo "building native profile-script in $build"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$repo" -B "$build" -G Ninja -DWBFAX_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target profile-script >/dev/null
native=$build/bin/profile-script

echo "building Windows profile-script.exe with $(basename "$mingw")"
mkdir -p "$build/win"
"$mingw" -std=c++17 -O1 -Wall -Wextra -Werror -I"$repo/src" \
    "$repo/tools/profile-script/main.cpp" "$repo/src/platform/win32/profile.cpp" \
    "$repo/src/platform/win32/shared_files.cpp" "$repo/src/platform/win32/files.cpp" \
    -static -ladvapi32 -o "$build/win/profile-script.exe"
windows=$build/win/profile-script.exe

work=$(mktemp -d /tmp/wbfax-profile-compare.XXXXXX)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

# Wine sees the Linux file system as drive Z:.
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }

wine_lang=en_US.UTF-8
native_acp=1252

run_wine() {  # folder script...
    local folder=$1; shift
    local args=()
    for script in "$@"; do args+=("$(winpath "$script")"); done
    WINEDEBUG=-all LANG=$wine_lang LC_ALL= timeout 120 "$wine" "$windows" "$(winpath "$folder")" "${args[@]}"
}

run_native() {  # folder script...
    WBFAX_ACP=$native_acp "$native" "$@"
}

failures=0
compared=0

compare() {  # name wine-output native-output
    compared=$((compared + 1))
    if grep -q ' -> malformed$' "$3"; then
        echo "malformed script lines in $1:"
        grep ' -> malformed$' "$3"
        failures=$((failures + 1))
        return
    fi
    if ! diff -u --label "wine: $1" --label "native: $1" "$2" "$3"; then
        failures=$((failures + 1))
    fi
}

run_corpus() {  # label folder
    for script in "$2"/*.txt; do
        name=$1$(basename "$script" .txt)
        mkdir -p "$work/$name/wine" "$work/$name/native"
        run_wine "$work/$name/wine" "$script" >"$work/$name/wine.out" || true
        run_native "$work/$name/native" "$script" >"$work/$name/native.out" || true
        compare "$name" "$work/$name/wine.out" "$work/$name/native.out"
    done
}

if [ "$mode" != random ]; then
    echo "corpus, code page 1252: $repo/tests/profile-cases"
    run_corpus "" "$repo/tests/profile-cases"

    if ! locale -a 2>/dev/null | grep -qix ja_jp.utf8; then
        mkdir -p "$build/locales"
        [ -d "$build/locales/ja_JP.UTF-8" ] || localedef -i ja_JP -f UTF-8 "$build/locales/ja_JP.UTF-8" >/dev/null 2>&1 || true
        export LOCPATH=$build/locales
    fi
    if locale -a 2>/dev/null | grep -qix ja_jp.utf8 || [ -d "$build/locales/ja_JP.UTF-8" ]; then
        echo "corpus, code page 932: $repo/tests/profile-cases/cp932"
        wine_lang=ja_JP.UTF-8 native_acp=932 run_corpus cp932- "$repo/tests/profile-cases/cp932"
    else
        echo "skipped: code page 932 (no ja_JP.UTF-8 locale and localedef could not make one)"
    fi
    unset LOCPATH
fi

if [ "$mode" != corpus ]; then
    echo "random: $count scripts from seed $seed"
    mkdir -p "$work/random/scripts" "$work/random/wine" "$work/random/native"
    "$native" --generate "$seed" "$count" "$work/random/scripts"
    # One process per side for a hundred scripts at a time (a Windows command line holds about
    # 32000 characters); each script still gets a fresh folder.
    scripts=("$work/random/scripts"/*.txt)
    : >"$work/random/wine.out"
    : >"$work/random/native.out"
    for ((first = 0; first < ${#scripts[@]}; first += 100)); do
        chunk=("${scripts[@]:first:100}")
        mkdir -p "$work/random/wine/$first" "$work/random/native/$first"
        run_wine "$work/random/wine/$first" "${chunk[@]}" >>"$work/random/wine.out" || true
        run_native "$work/random/native/$first" "${chunk[@]}" >>"$work/random/native.out" || true
    done
    # Split the outputs per script, so that a difference names its script.
    for side in wine native; do
        mkdir -p "$work/random/$side.split"
        awk -v dir="$work/random/$side.split" '/^== /{ file = dir "/" $2 } { print > file }' "$work/random/$side.out"
    done
    for script in "$work/random/scripts"/*.txt; do
        name=$(basename "$script")
        if ! cmp -s "$work/random/wine.split/$name" "$work/random/native.split/$name"; then
            echo "--- script $name (seed $seed):"
            cat "$script"
        fi
        compare "random $name" "$work/random/wine.split/$name" "$work/random/native.split/$name" 2>/dev/null
    done
fi

if [ "$failures" -ne 0 ]; then
    echo "FAILED: $failures of $compared scripts differ between Wine and the native build"
    exit 1
fi
echo "ok: $compared scripts agree between Wine and the native build"
