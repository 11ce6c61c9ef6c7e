# Sourced by the other scripts: installs missing Debian packages (needs root on a fresh machine).
ensure_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq >/dev/null &&
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

# What every build needs.
BUILD_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libbenchmark-dev libacl1-dev acl libcurl4-openssl-dev libssl-dev openssl libtiff-dev dpkg-dev python3 python3-aiosmtpd)

# Packages whose installation would start a system service (a fax server, a file server): the
# service stays down, as the tests start their own on their own ports.
ensure_packages_without_services() {
    local guard=/usr/sbin/policy-rc.d status=0
    if [ -e "$guard" ]; then
        ensure_packages "$@" || status=$?
    else
        printf '#!/bin/sh\nexit 101\n' >"$guard" && chmod +x "$guard"
        ensure_packages "$@" || status=$?
        rm -f "$guard"
    fi
    return $status
}

# The fax server test (HylaFAX, libtiff's tools, Samba) and the Debian package.
FAX_SERVER_PACKAGES=(hylafax-server libtiff-tools samba smbclient)
