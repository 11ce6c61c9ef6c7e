#!/usr/bin/env bash
# The Debian package: built with CPack from a finished build, installed into this machine with
# dpkg -i, used from its installed paths (quillbox-host info, one receive that reads the fax's
# own tags, one fax through the installed HylaFAX hook), then removed and purged.
#   usage: package-test.sh [BUILD_DIR]   (default build/test, already built)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build/test}" && pwd)
source "$here/scripts/ensure-packages.sh"
source "$here/scripts/scratch-install.sh"
if ! ensure_packages_without_services dpkg-dev libtiff-tools; then
    echo "SKIPPED: the Debian package test: dpkg-dev or libtiff-tools could not be installed"
    exit 0
fi
if dpkg-query -W -f='${Status}' quillbox 2>/dev/null | grep -q installed || [ -e /var/lib/Corvane/Quillbox ]; then
    echo "SKIPPED: the Debian package test: quillbox is installed here already, or /var/lib/Corvane/Quillbox exists"
    exit 0
fi
fail() { echo "FAILED: $*"; exit 1; }
ok() { echo "ok: $*"; }
show() { sed 's/^/    /'; }

mkdir -p "$build/package"
(cd "$build" && cpack -G DEB -B "$build/package" >"$build/package/cpack.log" 2>&1) ||
    fail "cpack: $(tail -5 "$build/package/cpack.log")"
deb=$(ls "$build"/package/quillbox_*.deb)
ok "built ${deb##*/}"

# What is installed runs as installed: no variable of a scratch installation.
unset WBFAX_COMMON_APPDATA WBFAX_MODULE WBFAX_SMB_CONF WBFAX_TRACE WBFAX_ACCESS_GROUP
export WBFAX_IPC_PREFIX="package$$-"
scratch=$(mktemp -d /tmp/quillbox-package-XXXXXX)
chmod 755 "$scratch"
pids=()
trap 'set +e; dpkg --purge quillbox >/dev/null 2>&1; end_scratch_install /var/lib/Corvane/Quillbox "$scratch"' EXIT

dpkg -i "$deb" 2>&1 | show
/usr/bin/quillbox-host info | show
[ "$(stat -c '%a %G' /var/lib/Corvane/Quillbox)" = "2770 quillbox" ] || fail "the data folder is not 2770, group quillbox"
grep -qx 'WBFAX_ACCESS_GROUP=quillbox' /etc/default/quillbox || fail "/etc/default/quillbox does not set the group"
ok "the data folder /var/lib/Corvane/Quillbox is mode 2770, group quillbox"
[ "$(stat -c '%a %G %s' /var/lib/Corvane/Quillbox/notice.key)" = "640 quillbox 32" ] ||
    fail "the notice key is not 32 bytes, mode 640, group quillbox"
ok "the notice key is made, readable by the group only"

# One box with a sender rule; a fax received without its number on the command line.
install -d -m 2775 -g quillbox "$scratch/box001"
printf '1;%s;Main office\r\n' "$scratch/box001" >>/var/lib/Corvane/Quillbox/qvscan_f.bin
quillbox-host rules add --box 1 --kind sender --code "+81 3 1234 5678" --folder Tokyo >/dev/null
quillbox-host finish --commit
make_fax "$scratch/fax1.tif" "+81 3 1234 5678"
quillbox-host receive --box 1 --file "$scratch/fax1.tif" | show
[ -f "$scratch/box001/Tokyo/fax1.tif" ] || fail "the fax did not go by the sender's number in its tags"
ok "received from the installed paths, by the sender's number in the fax's tags"

# The installed hook, as HylaFAX's FaxDispatch runs it: as HylaFAX's fax user, a member of the
# group quillbox, when HylaFAX is installed.
printf 'device ttyS0 1\n' >/etc/quillbox/hylafax-boxes
make_fax "$scratch/fax2.tif" "+81 3 1234 5678"
as=()
id -nG uucp 2>/dev/null | grep -qw quillbox && as=(runuser -u uucp --)
(cd "$scratch" && FILE=fax2.tif DEVICE=ttyS0 COMMID=000000002 "${as[@]}" /usr/lib/quillbox/hylafax-hook) ||
    fail "the installed hook failed${as:+ as uucp}"
[ -f "$scratch/box001/Tokyo/fax2.tif" ] && [ -f "$scratch/fax2.tif" ] || fail "the hook did not place a copy"
ok "the installed HylaFAX hook placed a copy of the fax${as:+, run as the fax user uucp}"

dpkg -r quillbox 2>&1 | show
[ ! -e /usr/lib/quillbox ] && [ ! -e /usr/bin/quillbox-host ] || fail "dpkg -r left programs behind"
dpkg --purge quillbox 2>&1 | show
[ ! -e /etc/default/quillbox ] && [ ! -e /etc/quillbox ] && [ ! -e /var/lib/Corvane ] ||
    fail "the purge left configuration or data behind"
! dpkg-query -W -f='${Status}' quillbox 2>/dev/null | grep -q installed || fail "still installed"
ok "removed and purged: no programs, configuration or data folder left"
