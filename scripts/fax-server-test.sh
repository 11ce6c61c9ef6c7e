#!/usr/bin/env bash
# A Linux fax server end to end, with the real packages: HylaFAX's own faxrcvd hands real G3 faxes
# through the FaxDispatch fragment and the hook to the module, which places them by the box's
# rules; PF_SMTP.exe mails them to a local aiosmtpd; smbd on loopback shares the storage folders
# and the network name in the mail, fetched with smbclient, gives the stored fax. No system
# service is started: the spool, smbd's configuration and ports are the test's own.
# The steps follow the README's "On a Linux fax server".
#   usage: fax-server-test.sh [BUILD_DIR]   (default build/test, already built)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build/test}" && pwd)
source "$here/scripts/ensure-packages.sh"
if ! ensure_packages_without_services "${FAX_SERVER_PACKAGES[@]}" || ! [ -x /var/spool/hylafax/bin/faxrcvd ] ||
    ! command -v smbd smbclient tiffcp tiffset >/dev/null; then
    echo "SKIPPED: the fax server test: ${FAX_SERVER_PACKAGES[*]} could not be installed"
    exit 0
fi

root=$(mktemp -d /tmp/quillbox-fax-server-XXXXXX)
chmod 755 "$root"  # smbd serves the share as the guest account
export WBFAX_IPC_PREFIX="faxsrv$$-" WBFAX_COMMON_APPDATA="$root/appdata" WBFAX_TRACE="$root/trace.log"
export WBFAX_SMB_CONF="$root/samba/smb.conf" WBFAX_SENDER_IDLE_MS=2000 WBFAX_SENDER_RETRY_MS=500
data="$WBFAX_COMMON_APPDATA/Corvane/Quillbox"
pids=()
source "$here/scripts/scratch-install.sh"
trap 'set +e; end_scratch_install "$data" "$root"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
ok() { echo "ok: $*"; }
free_port() {  # FROM: the first free loopback port from FROM on, in this script's range
    /usr/bin/python3 -c '
import socket, sys
for port in range(int(sys.argv[1]), 28000):
    with socket.socket() as s:
        try: s.bind(("127.0.0.1", port)); print(port); break
        except OSError: pass' "$1"
}
smtp_port=$(free_port $((27000 + RANDOM % 400)))
smb_port=$(free_port $((27500 + RANDOM % 400)))

# The installation: program folder, data folder, one box and its storage folder.
host="$build/bin/quillbox-host"
mkdir -p "$data" "$root/program" "$root/srv/fax/box001"
cp "$build/bin/PF_SMTP.exe" "$build/bin/PF_SQB.exe" "$root/program/"
printf '[PATH]\r\nCONF=%s\r\n[LANGUAGE]\r\nLanguage=English\r\n' "$root/program" >"$data/wbcatch.ini"
printf '1;%s;Main office\r\n' "$root/srv/fax/box001" >"$data/qvscan_f.bin"

# Mail settings and the box's rules, through the settings commands, then made live.
"$host" settings set --notify mail --server 127.0.0.1 --port "$smtp_port" --attach yes >/dev/null
"$host" rules add --box 1 --kind sub-address --code 5678 --folder Sales --mail sales@example.org >/dev/null
"$host" rules add --box 1 --kind sender --code "+81 3 1234 5678" --folder Tokyo --mail tokyo@example.org >/dev/null
"$host" finish --commit
"$host" which-rule --box 1 --remote-number "+81 3 1234 5678" >"$root/which-rule.out"
grep -q '^winner.*Tokyo' "$root/which-rule.out" || fail "which-rule does not name the sender rule"
ok "which-rule names the sender rule"

# The modems mapped to boxes.
export QUILLBOX_HYLAFAX_MAP="$root/hylafax-boxes" QUILLBOX_HOST="$host" QUILLBOX_DEFAULTS="$root/no-defaults"
export QUILLBOX_HOOK="$here/hylafax/hylafax-hook" QUILLBOX_ADMIN_MAIL=faxmaster@example.org
printf 'device ttyS0 1\ndestination 0501111111 1\n' >"$QUILLBOX_HYLAFAX_MAP"

# HylaFAX's spool for the test: its scripts and templates, its configuration with a sendmail
# that keeps the FaxMaster's mail, and the fragment in FaxDispatch.
spool="$root/spool"
mkdir -p "$spool/etc" "$spool/recvq" "$spool/log" "$root/faxmaster"
ln -s /var/spool/hylafax/bin "$spool/bin"
ln -s /etc/hylafax/templates "$spool/etc/templates"
printf '#!/bin/sh\ncat >"%s/mail.$$"\n' "$root/faxmaster" >"$root/sendmail"
chmod +x "$root/sendmail"
{ cat /etc/hylafax/setup.cache; echo "SENDMAIL='$root/sendmail'"; } >"$spool/etc/setup.cache"
cat "$here/hylafax/FaxDispatch" >"$spool/etc/FaxDispatch"

# smbd on loopback with a configuration of its own, sharing the storage folders; the module
# reads its shares from the same file.
mkdir -p "$root/samba"/{private,lock,state,cache,pid,ncalrpc}
cat >"$WBFAX_SMB_CONF" <<EOF
[global]
    server role = standalone server
    smb ports = $smb_port
    interfaces = 127.0.0.1
    bind interfaces only = yes
    private dir = $root/samba/private
    lock directory = $root/samba/lock
    state directory = $root/samba/state
    cache directory = $root/samba/cache
    pid directory = $root/samba/pid
    ncalrpc dir = $root/samba/ncalrpc
    log file = $root/samba/log.%m
    map to guest = Bad User
    load printers = no
    disable spoolss = yes
[faxes]
    path = $root/srv/fax
    guest ok = yes
    read only = yes
EOF
setsid smbd --foreground --no-process-group --configfile="$WBFAX_SMB_CONF" </dev/null >"$root/samba/smbd.out" 2>&1 &
pids+=($!)
/usr/bin/python3 -m aiosmtpd -n -l "127.0.0.1:$smtp_port" -c aiosmtpd.handlers.Mailbox "$root/mailbox" \
    >"$root/smtp.out" 2>&1 &
pids+=($!)

# Real G3 faxes, tagged as HylaFAX tags what it receives.
n=0
receive_fax() {  # TSI SUBADDRESS DEVICE DESTINATION CALLER
    n=$((n + 1))
    local id
    id=$(printf '%09d' "$n")
    make_fax "$spool/recvq/fax$id.tif" "$1" "$2"
    cp "$spool/recvq/fax$id.tif" "$root/sent$n.tif"
    : >"$spool/log/c$id"
    (cd "$spool" && bin/faxrcvd "recvq/fax$id.tif" "$3" "$id" "" "0312345678" "$5" "$4" >"$root/faxrcvd$n.out" 2>&1) ||
        fail "faxrcvd failed: $(cat "$root/faxrcvd$n.out")"
    cmp -s "$spool/recvq/fax$id.tif" "$root/sent$n.tif" || fail "the spool file of fax $n changed"
    [ "$(ls "$root/faxmaster" | wc -l)" = "$n" ] || fail "no FaxMaster mail for fax $n"
}

receive_fax "+81 3 1234 5678" 5678 ttyS0 "" "Tanaka Trading"
receive_fax "+81 3 1234 5678" "" ttyS1 0501111111 "Tanaka Trading"
receive_fax "+1 555 0100" "" ttyS9 0509999999 "Nobody"
ok "faxrcvd ran 3 times, left the spool files alone and mailed the FaxMaster 3 times"
cmp -s "$root/srv/fax/box001/Sales/fax000000001.tif" "$root/sent1.tif" || fail "fax 1 is not in Sales"
cmp -s "$root/srv/fax/box001/Tokyo/fax000000002.tif" "$root/sent2.tif" || fail "fax 2 is not in Tokyo"
ok "by sub-address into Sales, by sender into Tokyo"
line=$(grep 'quillbox:' "$spool/log/c000000003" || true)
[ "$(printf '%s\n' "$line" | grep -c 'no box for this device')" = 1 ] || fail "no log line for the unmapped modem"
ok "the unmapped modem is one line in HylaFAX's log: ${line#*]: }"

# Bad mappings: one line each, and the fax is not handed over.
while IFS='|' read -r mapping want; do
    printf '%b\n' "$mapping" >"$root/bad-map"
    said=$(cd "$spool" && QUILLBOX_HYLAFAX_MAP="$root/bad-map" FILE=recvq/fax000000001.tif DEVICE=ttyS0 \
        "$QUILLBOX_HOOK" 2>&1 >/dev/null) && fail "mapping '$mapping' was taken"
    [[ $said == *"$want"* && $(wc -l <<<"$said") == 1 ]] || fail "mapping '$mapping': $said"
done <<'EOF'
device ttyS0|line 1: needs three fields
device ttyS0 1\nmodem ttyS0 1|line 2: "modem" is neither device nor destination
device ttyS0 1000|line 1: box "1000" is not a number from 0 to 999
device * 7|box 7 of
EOF
ok "bad mappings: one line each"

# The mails, through PF_SMTP.exe.
for _ in $(seq 150); do [ "$(ls "$root/mailbox/new" 2>/dev/null | wc -l)" -ge 2 ] && break; sleep 0.2; done
/usr/bin/python3 - "$root" <<'EOF' >"$root/mails" || fail "the mails: $(cat "$root/mails")"
import email, email.policy, glob, re, sys
root = sys.argv[1]
want = {"sales@example.org": "Sales/fax000000001.tif", "tokyo@example.org": "Tokyo/fax000000002.tif"}
for path in sorted(glob.glob(root + "/mailbox/new/*")):
    mail = email.message_from_binary_file(open(path, "rb"), policy=email.policy.default)
    to = mail["To"].addresses[0].addr_spec
    path = root + "/srv/fax/box001/" + want.pop(to)
    stored = open(path, "rb").read()
    body = mail.get_body(("plain",)).get_content()
    parts = [p for p in mail.iter_attachments() if p.get_payload(decode=True) == stored]
    assert parts, "%s: the fax is not attached" % to
    assert "+81 3 1234 5678" in body, "%s: no sender's number in the body:\n%s" % (to, body)
    unc = re.search(r"\\\\[^\s]+", body)
    assert unc, "%s: no network name in the body:\n%s" % (to, body)
    print(unc.group(0), path)
assert not want, "no mail to %s" % ", ".join(want)
EOF
ok "2 mails with the fax attached and the sender's number in the body"

# What a PC opens: the network name of the stored fax in the mail, over SMB.
while read -r unc stored; do
    rest=${unc#\\\\}
    server=${rest%%\\*} rest=${rest#*\\}
    share=${rest%%\\*} path=${rest#*\\}
    smbclient "//$server/$share" -p "$smb_port" -I 127.0.0.1 -N -c "get \"$path\" \"$root/fetched\"" \
        >"$root/smbclient.out" 2>&1 || fail "smbclient //$server/$share $path: $(cat "$root/smbclient.out")"
    cmp -s "$root/fetched" "$stored" || fail "$unc over SMB is not the stored fax"
    ok "$unc over SMB gives the stored fax's bytes"
done <"$root/mails"
