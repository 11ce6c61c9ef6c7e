#!/usr/bin/env bash
# Tests as a share of the code, in non-blank lines of the tracked files: tests are everything
# under tests/, fuzz/ (its seed corpus aside) and benchmarks/; code is the C/C++, Python, shell
# and CMake files elsewhere (a file without such a name counts when it starts with a shell's #!).
set -euo pipefail
cd "$(dirname "$0")/.."
lines() { xargs -r -d '\n' grep -chv '^[[:space:]]*$' -- | awk '{n += $1} END {print n + 0}'; }
is_code() {
    while IFS= read -r f; do
        case "$f" in
        *.c | *.cc | *.cpp | *.h | *.hpp | *.py | *.sh | *.cmake | *.cmake.in | */CMakeLists.txt | CMakeLists.txt) echo "$f" ;;
        */*.* | *.*) ;;
        *) head -c 64 "$f" | grep -q '^#!.*sh' && echo "$f" ;;
        esac
    done
}
tests=$(git ls-files tests fuzz benchmarks | grep -v '^fuzz/corpus/' | lines)
code=$(git ls-files | grep -Ev '^(tests|fuzz|benchmarks)/' | is_code | lines)
echo "tests $tests, code $code: $(awk -v t="$tests" -v c="$code" 'BEGIN {printf "%.0f%%", 100 * t / c}')"
