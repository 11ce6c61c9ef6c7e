#!/usr/bin/env bash
# Builds the module and the host stand-in, then plays the host on a built-in sample.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/ensure-packages.sh"
ensure_packages "${BUILD_PACKAGES[@]}"

build="$here/build/release"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWBFAX_TESTS=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null
host="$build/bin/quillbox-host"

# A scratch installation: the configuration, the box list and a fax the host has just written.
sample=$(mktemp -d /tmp/quillbox-demo-XXXXXX)
trap 'rm -rf "$sample"' EXIT
export WBFAX_COMMON_APPDATA="$sample"
export WBFAX_TRACE="$sample/trace.log"
data="$sample/Corvane/Quillbox"
mkdir -p "$data" "$sample/boxes/box001"
printf '[LANGUAGE]\r\nLanguage=English\r\n[RCVFAX]\r\nUSESMTP=1\r\n' >"$data/wbcatch.ini"
printf '1;%s;0\r\n' "$sample/boxes/box001" >"$data/qvscan_f.bin"
printf 'II*\0 sample fax' >"$sample/incoming.tif"

echo "== quillbox-host info"
"$host" info
echo
echo "== quillbox-host receive (a sender whose name holds a comma and a semicolon)"
"$host" receive --box 1 --file "$sample/incoming.tif" --remote-number "03 1234-5678" \
    --remote-id "QB-1234" --sub-address 1234 --admin-mail fax-admin@example.org --language 1 \
    --remote-name "Tanaka Trading, Ltd.; Osaka"
echo
echo "== diagnostic trace"
cat "$WBFAX_TRACE"
