#!/usr/bin/env bash
# Builds and runs every test: the suite natively, again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the fuzzers for a bounded time each, the comparison of
# the profile functions with the Windows ones under Wine, then the Windows builds: the shipping
# 32-bit DLL (its export, imports and version checked), whose whole suite runs under 32-bit Wine
# in a 32-bit Debian root (scripts/i386-root.sh), and the 64-bit build whose suite runs under
# wine64; the settings edits of both compared byte for byte with the native build's.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/ensure-packages.sh"
ensure_packages "${BUILD_PACKAGES[@]}"
fuzz_seconds=${WBFAX_FUZZ_SECONDS:-20}

# Each step says when it starts, in seconds since the start.
step() { printf '\n=== %s (at %ds)\n' "$*" "$SECONDS"; }

step "native build and tests"
cmake -S "$here" -B "$here/build/test" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build/test" -j2
ctest --test-dir "$here/build/test" --output-on-failure -j2 --timeout 600

step "a Linux fax server end to end: HylaFAX's faxrcvd, the module, mail, Samba"
"$here/scripts/fax-server-test.sh" "$here/build/test"

step "the Debian package: built, installed, used and removed"
"$here/scripts/package-test.sh" "$here/build/test"

step "benchmarks build and run once"
cmake -S "$here" -B "$here/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWBFAX_TESTS=OFF \
    -DWBFAX_BENCHMARKS=ON >/dev/null
cmake --build "$here/build/bench" -j2 --target receive_benchmark
"$here/build/bench/bin/receive_benchmark" --benchmark_min_time=0.01

step "tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S "$here" -B "$here/build/sanitize" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DWBFAX_SANITIZE=address,undefined >/dev/null
cmake --build "$here/build/sanitize" -j2
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$here/build/sanitize" --output-on-failure -j2 --timeout 600

step "fuzzing the parsers of outside input for ${fuzz_seconds}s each"
cmake -S "$here" -B "$here/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DWBFAX_TESTS=OFF -DWBFAX_FUZZ=ON -DWBFAX_SANITIZE=address,undefined >/dev/null
fuzzers=(receive_description rule_file sender_input notice_v2)
cmake --build "$here/build/fuzz" -j2 --target "${fuzzers[@]/#/fuzz_}"
for name in "${fuzzers[@]}"; do
    corpus="$here/build/fuzz/corpus-$name"
    mkdir -p "$corpus"
    seeds=()
    [ -d "$here/fuzz/corpus/$name" ] && seeds=("$here/fuzz/corpus/$name")
    log="$here/build/fuzz/$name.log"
    echo "--- $name"
    # Faults are written where the log is, not into the checkout.
    if ! "$here/build/fuzz/bin/fuzz_$name" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
        -artifact_prefix="$here/build/fuzz/$name-" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
        tail -40 "$log"
        echo "the fuzzer found a fault in $name"
        exit 1
    fi
    grep -E '^(Done|stat::number_of_executed_units)' "$log"
done

step "Windows builds with mingw-w64"
windows_packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
    binutils-mingw-w64-x86-64 wine64 locales xvfb)
if ! ensure_packages "${windows_packages[@]}" ||
    ! command -v i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix >/dev/null ||
    ! [ -x /usr/lib/wine/wine64 ]; then
    echo "SKIPPED: the Windows builds and tests: mingw-w64 or wine64 is missing and could not be installed"
    echo "         (apt-get install ${windows_packages[*]})"
else
    # 32-bit Wine does not install beside the machine's 64-bit packages: it runs in a 32-bit
    # Debian root of its own, made once and kept outside the checkout.
    in_root=ON
    "$here/scripts/i386-root.sh" make || in_root=OFF
    for arch in i686 x64; do
        # Only the 32-bit build runs in the root; the 64-bit one runs under the machine's wine64.
        root_option=OFF
        [ "$arch" = i686 ] && root_option=$in_root
        cmake -S "$here" -B "$here/build/win-$arch" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-${arch/x64/x86_64}.cmake" -DWBFAX_IN_I386_ROOT=$root_option >/dev/null
        cmake --build "$here/build/win-$arch" -j2
    done

    cleanup=()
    trap 'for c in "${cleanup[@]}"; do eval "$c" >/dev/null 2>&1 || true; done' EXIT
    # Windows, even invisible ones, need an X display under Wine: a virtual one of our own (in
    # the root for the 32-bit run). Its socket is also an abstract one, seen from inside and out.
    free_display() {
        local n
        for n in $(seq "$1" 160); do
            [ -e "/tmp/.X$n-lock" ] || grep -q "@/tmp/.X11-unix/X$n\$" /proc/net/unix || { echo ":$n"; return; }
        done
        return 1
    }
    # serve BUILD [ENTER...]: one wine server for the build's suite, instead of a start (and a
    # shutdown to race with) per test.
    serve() {
        local build=$1
        shift
        "$@" "$here/cmake/wine-run.sh" --prefix "$build/wineprefix" --init
        "$@" "$here/cmake/wine-run.sh" --prefix "$build/wineprefix" --serve
        cleanup+=("$(printf '%q ' "$@" "$here/cmake/wine-run.sh" --prefix "$build/wineprefix" --stop)")
    }

    if [ "$in_root" = ON ]; then
        step "the shipping 32-bit build: the suite under 32-bit Wine in the 32-bit root"
        enter=("$here/scripts/i386-root.sh" enter --bind "$here/build/win-i686")
        display=$(free_display 90)
        "${enter[@]}" Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        cleanup+=("kill $!")
        export WBFAX_WINE_DISPLAY=$display
        serve "$here/build/win-i686" "${enter[@]}"
        ctest --test-dir "$here/build/win-i686" --output-on-failure -j2 --timeout 600

        step "settings edits: the same wbcatch.ini from the native and the 32-bit build"
        "$here/scripts/compare-settings-with-wine.sh" "$here/build/test" "$here/build/win-i686"
    else
        echo "SKIPPED: the shipping 32-bit build's suite: no 32-bit root for 32-bit Wine (above); only the DLL's outside is checked"
        ctest --test-dir "$here/build/win-i686" --output-on-failure
    fi

    step "the 64-bit build: the suite under wine64"
    display=$(free_display 90)
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    cleanup+=("kill $!")
    export WBFAX_WINE_DISPLAY=$display
    serve "$here/build/win-x64"
    ctest --test-dir "$here/build/win-x64" --output-on-failure -j2 --timeout 600

    step "settings edits: the same wbcatch.ini from the native and the 64-bit build"
    "$here/scripts/compare-settings-with-wine.sh" "$here/build/test" "$here/build/win-x64"

    step "profile functions compared with Windows' under Wine"
    "$here/scripts/compare-profile-with-wine.sh"
fi

step "all tests passed"
