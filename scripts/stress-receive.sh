#!/usr/bin/env bash
# Receives faxes as a fax server hands them over, one host process per fax and several at
# once, and counts what was lost: every fax must be stored once and whole, every job number
# must differ and wbcatch.ini must keep the host's keys.
#   scripts/stress-receive.sh [BUILD] [PROCESSES] [FAXES EACH] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/test}
processes=${2:-4}
each=${3:-50}
runs=${4:-1}
host="$build/bin/quillbox-host"
[ -x "$host" ] || { echo "no $host: build first (cmake --build $build)"; exit 2; }

failed=0
for run in $(seq "$runs"); do
    sample=$(mktemp -d /tmp/quillbox-stress-XXXXXX)
    export WBFAX_COMMON_APPDATA="$sample" WBFAX_IPC_PREFIX="stress$$-$run-"
    data="$sample/Corvane/Quillbox"
    mkdir -p "$data" "$sample/store" "$sample/program"
    host_key=$(head -c 3000 /dev/zero | tr '\0' k)
    printf '[PATH]\r\nCONF=%s\r\n[LANGUAGE]\r\nLanguage=English\r\n[MANAGEMENT]\r\nOverWrite=0\r\n' "$sample/program" >"$data/wbcatch.ini"
    printf '[RCVFAX]\r\nUSESMTP=1\r\nSMTPServer=127.0.0.1\r\n[HOST]\r\nLast=%s\r\n' "$host_key" >>"$data/wbcatch.ini"
    printf '3;%s;Box\r\n' "$sample/store" >"$data/qvscan_f.bin"
    printf '[OTHER]\r\nOtherFile=Inbox;;a@example.org;\r\n' >"$data/WbFaxRcv003.rfd"

    for p in $(seq "$processes"); do
        (
            for n in $(seq "$each"); do
                mkdir -p "$sample/in/$p-$n"
                printf 'II*\0fax %s/%s' "$p" "$n" >"$sample/in/$p-$n/scan.tif"
                "$host" receive --box 3 --file "$sample/in/$p-$n/scan.tif" --admin-mail fax@example.org >/dev/null
            done
        ) &
    done
    wait

    sent=$((processes * each))
    stored=$(find "$sample/store/Inbox" -type f | wc -l)
    distinct=$(find "$sample/store/Inbox" -type f -exec md5sum {} + | cut -d" " -f1 | sort -u | wc -l)
    jobs=$(find "$data" -maxdepth 1 -name '*_*.tmp' | sed 's/.*_\([0-9]*\)\.tmp/\1/' | sort -u | wc -l)
    left=$(find "$sample/in" -type f | wc -l)
    keys=ok
    for key in "CONF=" "Language=English" "OverWrite=0" "Last=$host_key"; do
        grep -aq "^$key" "$data/wbcatch.ini" || keys="lost ${key:0:12}"
    done
    echo "run $run: $sent sent, $stored stored, $distinct distinct, $left not moved, $jobs distinct job numbers, host keys $keys"
    if [ "$stored" -ne "$sent" ] || [ "$distinct" -ne "$sent" ] || [ "$jobs" -ne "$sent" ] || [ "$keys" != ok ]; then failed=1; fi
    rm -rf "$sample" /dev/shm/"$WBFAX_IPC_PREFIX"*
done
exit $failed
