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
pids=()
source "$here/scripts/scratch-install.sh"
trap 'set +e; end_scratch_install "${data:-/nonexistent}" "$sample"' EXIT
export WBFAX_COMMON_APPDATA="$sample"
export WBFAX_TRACE="$sample/trace.log"
data="$sample/Corvane/Quillbox"
box="$sample/faxes/box001"
mkdir -p "$data" "$box" "$sample/incoming" "$sample/program"
# The real sender programs; the mail server is started on loopback later, so that the first
# mails wait for it.
cp "$build/bin/PF_SMTP.exe" "$build/bin/PF_SQB.exe" "$sample/program/"
export WBFAX_SENDER_IDLE_MS=2000 WBFAX_SENDER_RETRY_MS=1000 WBFAX_SENDER_RETRY_MAX_MS=2000
smtp_port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '[PATH]\r\nCONF=%s\r\n[LANGUAGE]\r\nLanguage=English\r\n[MANAGEMENT]\r\nOverWrite=0\r\n' "$sample/program" >"$data/wbcatch.ini"
printf '[RCVFAX]\r\nUSESMTP=1\r\nSMTPServer=127.0.0.1\r\nSMTPPortNo=%s\r\nADDFFILE=1\r\n' "$smtp_port" >>"$data/wbcatch.ini"
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
# The same checks as the settings dialog; the rule waits in the box's work file until the commit.
"$host" rules add --box 1 --kind sender --code "052 *" --folder Nagoya | show
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
echo
echo "== the mail server comes up on loopback; the waiting mails go out"
# The system's Python, which has the mail server from the package manager.
/usr/bin/python3 -m aiosmtpd -n -l "127.0.0.1:$smtp_port" -c aiosmtpd.handlers.Mailbox "$sample/mailbox" \
    >"$sample/smtp.log" 2>&1 &
pids+=($!)
mails() { find "$sample/mailbox/new" -type f 2>/dev/null | sort; }
for _ in $(seq 150); do [ "$(mails | wc -l)" -ge 3 ] && break; sleep 0.2; done
echo "    $(mails | wc -l) mails in the mailbox"
for _ in $(seq 50); do flock -n "$data/pfsmtp.lck" true && break; sleep 0.2; done  # idle, it leaves
echo
echo "== what the mail sender did: its job list afterwards (delivered entries marked)"
sed 's/\r$//' "$data/pfsmtp_job.pfs" | sed "s#$sample#<sample>#" | show
echo
echo "== diagnostic trace"
sed "s#$sample#<sample>#" "$WBFAX_TRACE" | show
echo
echo "== the mailbox"
for mail in $(mails); do
    printf '    %s | %s\n' "$(grep -m1 '^To:' "$mail")" "$(grep -m1 '^Subject:' "$mail")"
done
echo "   --- the first mail in full"
sed 's/\r$//' "$(grep -l 'fax1.tif' $(mails) | head -1)" | sed "s#$sample#<sample>#" | show

echo
echo "== a fax for PCs: what the receiver on a PC printed"
# The key the fax server and the PCs share; PF_SQB finds it as notice.key in the data folder.
head -c 32 /dev/urandom >"$data/notice.key"
"$build/bin/quillbox-notice" --key "$data/notice.key" --listen 127.0.0.1 --port 0 --count 1 >"$sample/notice.out" &
pids+=($!)
for _ in $(seq 50); do grep -q '^listening' "$sample/notice.out" && break; sleep 0.1; done
pc=$(sed -n 's/^listening on //p' "$sample/notice.out")
# PC notification now, to the receiver and to a PC that is switched off; no retention period.
sed -i 's/^USESMTP=1\r$/USESMTP=0\r\nNotifyDays=0\r/' "$data/wbcatch.ini"
sed -i "s/^F002=Orders;5678;orders@example.org;\r\$/F002=Orders;5678;orders@example.org;$pc,127.0.0.1:9;\r/" \
    "$data/WbFaxRcv001.rfd"
fax received "0120 555 555" 5678 "Yamada Printing"
for _ in $(seq 100); do grep -q '^notice' "$sample/notice.out" && break; sleep 0.1; done
for _ in $(seq 100); do [ "$(wc -l <"$data/sqb_NTFY.log" 2>/dev/null)" = 2 ] && break; sleep 0.1; done
grep -v '^listening' "$sample/notice.out" | sed "s#$sample#<sample>#" | show
echo "   --- the notification log (sqb_NTFY.log)"
sed 's/\r$//' "$data/sqb_NTFY.log" | show
echo "   --- what the error log window lists"
"$build/bin/quillbox-error-log" | show
