#!/usr/bin/env bash
# Builds and runs every test: the suite natively, again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the fuzzers for a bounded time each, the comparison of
# the profile functions with the Windows ones under Wine, then the Windows builds: the shipping
# 32-bit DLL (its export, imports and version checked) and the 64-bit build whose suite runs
# under wine64, and the settings edits of both builds compared byte for byte.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/ensure-packages.sh"
ensure_packages "${BUILD_PACKAGES[@]}"
fuzz_seconds=${WBFAX_FUZZ_SECONDS:-20}

step() { printf '\n=== %s\n' "$*"; }

step "native build and tests"
cmake -S "$here" -B "$here/build/test" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build/test" -j2
ctest --test-dir "$here/build/test" --output-on-failure -j2 --timeout 600

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
fuzzers=(receive_description rule_file sender_input)
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

step "Windows builds with mingw-w64, the suite under wine64"
windows_packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
    binutils-mingw-w64-x86-64 wine64 locales xvfb)
if ! ensure_packages "${windows_packages[@]}" ||
    ! command -v i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix >/dev/null ||
    ! [ -x /usr/lib/wine/wine64 ]; then
    echo "SKIPPED: the Windows builds and tests: mingw-w64 or wine64 is missing and could not be installed"
    echo "         (apt-get install ${windows_packages[*]})"
else
    for arch in i686 x64; do
        cmake -S "$here" -B "$here/build/win-$arch" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-${arch/x64/x86_64}.cmake" >/dev/null
        cmake --build "$here/build/win-$arch" -j2
    done
    # 32-bit Wine is not available: of the shipping build only the DLL's outside is checked.
    ctest --test-dir "$here/build/win-i686" --output-on-failure
    # Windows, even invisible ones, need an X display under Wine: a virtual one of our own.
    for n in $(seq 90 120); do [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }; done
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export WBFAX_WINE_DISPLAY="$display"
    wine_run=("$here/cmake/wine-run.sh" --prefix "$here/build/win-x64/wineprefix")
    "${wine_run[@]}" --init
    # One wine server for the whole suite, instead of a start (and a shutdown to race with) per test.
    "${wine_run[@]}" --serve
    trap '"${wine_run[@]}" --stop 2>/dev/null || true; kill "$xvfb_pid" 2>/dev/null || true' EXIT
    ctest --test-dir "$here/build/win-x64" --output-on-failure -j2 --timeout 600

    step "settings edits: the same wbcatch.ini from both builds"
    "$here/scripts/compare-settings-with-wine.sh" "$here/build/test" "$here/build/win-x64"

    step "profile functions compared with Windows' under Wine"
    "$here/scripts/compare-profile-with-wine.sh"
fi

step "all tests passed"
