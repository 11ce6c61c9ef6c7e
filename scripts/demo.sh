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

# A scratch installation: the configuration, the box list, box 1's rules and its storage folder.
sample=$(mktemp -d /tmp/quillbox-demo-XXXXXX)
export WBFAX_IPC_PREFIX="demo$$-"
trap 'rm -rf "$sample" /dev/shm/"$WBFAX_IPC_PREFIX"* "${XDG_RUNTIME_DIR:-/tmp}/wbfax-windows-$WBFAX_IPC_PREFIX"' EXIT
export WBFAX_COMMON_APPDATA="$sample"
export WBFAX_TRACE="$sample/trace.log"
data="$sample/Corvane/Quillbox"
box="$sample/faxes/box001"
mkdir -p "$data" "$box" "$sample/incoming" "$sample/program"
# The mail sender is played by a double that prints what it would send.
cp "$build/bin/sender-double" "$sample/program/PF_SMTP.exe"
export WBFAX_SENDER_LOG="$sample/sender.log" WBFAX_SENDER_LINGER_MS=5000
printf '[PATH]\r\nCONF=%s\r\n[LANGUAGE]\r\nLanguage=English\r\n[MANAGEMENT]\r\nOverWrite=0\r\n' "$sample/program" >"$data/wbcatch.ini"
printf '[RCVFAX]\r\nUSESMTP=1\r\nSMTPServer=mail.example.org\r\nADDFFILE=1\r\n' >>"$data/wbcatch.ini"
printf '1;%s;Main office\r\n' "$box" >"$data/qvscan_f.bin"
printf '%s\r\n' '[FCODE]' 'F001=Sales;1234;sales@example.org;' 'F002=Orders;5678;orders@example.org;' \
    '[TSI]' 'T001=Head office;03 1234 5678;0312345678;boss@example.org;' 'T002=Abroad;+*;+*;intl@example.org;' \
    'T003=Osaka;*06*;*06*;;' '[DTN]' 'D001=Sent to Tokyo;03-*;03*;;' \
    '[OTHER]' 'OtherFile=Rx;;;' 'TXFile=Tx;;;' >"$data/WbFaxRcv001.rfd"

show() { sed 's/^/    /'; }
n=0
fax() {  # type, remote number, sub-address, remote name
    n=$((n + 1))
    local file="$sample/incoming/fax$n.tif"
    printf 'II*\0 fax %s' "$n" >"$file"
    echo "-- $1 document from/to \"$2\"${3:+, sub-address $3}"
    "$host" which-rule --box 1 --type "$1" --remote-number "$2" --sub-address "$3" | grep '^winner' | show
    "$host" receive --box 1 --file "$file" --type "$1" --remote-number "$2" --sub-address "$3" \
        --admin-mail fax-admin@example.org --remote-name "$4" | sed "s#$sample#<sample>#" | show
}

echo "== the module"
"$host" info | show
echo
echo "== box 1's rules"
sed 's/\r$//' "$data/WbFaxRcv001.rfd" | show
echo
echo "== faxes arrive"
fax received "03 1234 5678" 1234 "Tanaka Trading, Ltd.; Osaka"
fax received "03 1234 5678" "" "Tanaka Trading"
fax received "+49 30 1234567" "" "Berlin GmbH"
fax received "06-6543-2100" "" "Osaka branch"
fax received "0120 000 000" "" ""
fax sent "03-9876-5432" "" "Tokyo customer"
fax sent "06-1111-2222" "" "Osaka customer"
echo
echo "== why the Osaka fax went where it did"
"$host" which-rule --box 1 --remote-number "06-6543-2100" | show
echo
echo "== the host edits box 1: a new sender rule, then a commit"
"$host" edit-box --box 1
# What the settings dialog would write into the box's work file.
awk 'BEGIN{RS="\r\n"; ORS="\r\n"} {print} /^\[TSI\]/{print "T004=Nagoya;052 *;052*;;"}' \
    "$data/Work001.rfd" >"$sample/work.tmp" && mv "$sample/work.tmp" "$data/Work001.rfd"
"$host" finish --commit
grep -a '^T004' "$data/WbFaxRcv001.rfd" | sed 's/\r$//' | show
fax received "052 123 4567" "" "Nagoya plant"
echo
echo "== what box 1's storage folder holds now"
(cd "$box" && find . -type f | sort) | show
echo
echo "== the first mail job: job file and body, as written for the mail sender"
job=$(ls "$data"/*_1.tmp)
sed 's/\r$//' "$job" | show
echo "   --- body"
sed 's/\r$//' "${job%.tmp}.001" | show
sleep 5  # the sender double goes idle and stops
echo
echo "== what the sender double received (job messages and the job list it saw)"
show <"$WBFAX_SENDER_LOG"
echo
echo "== diagnostic trace"
show <"$WBFAX_TRACE"
