#!/usr/bin/env bash
# A 32-bit Debian root for running the shipping 32-bit build under 32-bit Wine: multiarch i386
# does not install beside the machine's own amd64 packages, a root of its own does.
#   i386-root.sh make                         make the root unless it is there (about 80 s once)
#   i386-root.sh enter [--bind DIR]... COMMAND [ARGS...]
#                                             run COMMAND inside it, in the current folder
# The root lies outside any checkout ($WBFAX_I386_ROOT, default /var/cache/wbfax/i386-root) and
# is shared by all of them. `enter` mounts /proc, /dev, /sys, this checkout and every DIR at their
# own paths in a mount namespace of the command's own, so parallel commands never unmount each
# other's folders and nothing stays mounted when a command ends, however it ends.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
root=${WBFAX_I386_ROOT:-/var/cache/wbfax/i386-root}
# fonts-wine: the caption buttons' Marlett; fonts-ipafont-gothic: the Japanese dialogs' glyphs.
packages=(wine wine32 xvfb xauth locales fonts-wine fonts-ipafont-gothic)
locales=("ja_JP.UTF-8 UTF-8" "en_US.UTF-8 UTF-8")

fail() { echo "i386-root.sh: $*" >&2; exit 1; }

# The suite and the Debian source of the machine's own apt configuration: the first source of
# binary packages that carries the machine's release (one-line or deb822 format).
debian_source() {
    local suite=$1 file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        awk -v s="$suite" '$1 == "deb" { i = 2; if ($2 ~ /^\[/) while (i <= NF && $i !~ /\]$/) i++;
            if ($2 ~ /^\[/) i++; if ($(i + 1) == s) { print $i; exit } }' "$file"
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        awk -v s="$suite" 'function flush() { if (deb && on && suites ~ (" " s " ")) { print uri; found = 1 }
                deb = 0; on = 1; suites = ""; uri = "" }
            BEGIN { on = 1 }
            /^[ \t]*$/ { flush(); if (found) exit; next }
            tolower($1) == "types:" { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
            tolower($1) == "enabled:" { on = (tolower($2) != "no") }
            tolower($1) == "uris:" { uri = $2 }
            tolower($1) == "suites:" { suites = " "; for (i = 2; i <= NF; i++) suites = suites $i " " }
            END { if (!found) flush() }' "$file"
    done
}

# In the root, with a Debian package list and the locales made.
install_packages() {
    (inside_root /bin/sh -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends ${packages[*]} && locale-gen && apt-get clean") >>"$root.log" 2>&1 ||
        fail "installing Wine in the root failed, see $root.log"
    echo "${packages[*]}" >"$root/.wbfax-ready"
}

ready() { [ "$(cat "$root/.wbfax-ready" 2>/dev/null)" = "${packages[*]}" ]; }

make_root() {
    ready && return 0
    [ "$(id -u)" -eq 0 ] || fail "making the root needs root"
    mkdir -p "$(dirname "$root")"
    # Two checkouts may ask at once: one makes it, the other waits and reuses it.
    exec 8>"$root.lock"
    flock 8
    ready && return 0
    # A root made with an older package list gets what the list has gained.
    if [ -f "$root/.wbfax-ready" ]; then
        echo "adding to the 32-bit root: ${packages[*]}"
        install_packages
        return 0
    fi
    local suite source
    # shellcheck disable=SC1091
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$suite" ] || fail "the machine's Debian release is not named in /etc/os-release"
    source=$(debian_source "$suite" | head -1)
    [ -n "$source" ] || fail "no Debian source for $suite in the apt configuration"
    if ! command -v debootstrap >/dev/null; then
        apt-get install -y -qq debootstrap >/dev/null 2>&1 ||
            { apt-get update -qq >/dev/null 2>&1 && apt-get install -y -qq debootstrap >/dev/null 2>&1; } ||
            fail "debootstrap is missing and could not be installed"
    fi
    # What a broken earlier attempt left is made again.
    rm -rf "$root"
    echo "making the 32-bit root $root ($suite)"
    debootstrap --arch=i386 --variant=minbase "$suite" "$root" "$source" >"$root.log" 2>&1 ||
        fail "debootstrap failed, see $root.log"
    printf '%s\n' "${locales[@]}" >"$root/etc/locale.gen"
    install_packages
}

# inside_root [--bind DIR]... COMMAND: becomes COMMAND, whose namespace alone holds the mounts.
inside_root() {
    local binds=()
    while [ "${1:-}" = "--bind" ]; do binds+=("$(realpath -m "$2")"); shift 2; done
    exec unshare --mount --propagation private -- /bin/bash -c '
        set -e
        root=$1 dirs=$2 cwd=$3
        shift 3
        mount --bind /proc "$root/proc"
        mount --rbind /dev "$root/dev"
        mount --rbind /sys "$root/sys"
        while IFS= read -r dir; do
            [ -n "$dir" ] && [ -d "$dir" ] || continue
            mkdir -p "$root$dir"
            mount --bind "$dir" "$root$dir"
        done <<<"$dirs"
        [ -d "$root$cwd" ] || cwd=/
        exec chroot "$root" /usr/bin/env -C "$cwd" PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/root "$@"
    ' inside-root "$root" "$(printf '%s\n' "${binds[@]}")" "$PWD" "$@"
}

case "${1:-}" in
    make) make_root ;;
    enter)
        shift
        [ -f "$root/.wbfax-ready" ] || fail "no 32-bit root at $root (scripts/i386-root.sh make)"
        [ "$(id -u)" -eq 0 ] || fail "entering the root needs root"
        inside_root --bind "$here" "$@" ;;
    *) echo "usage: i386-root.sh make | enter [--bind DIR]... COMMAND [ARGS...]" >&2; exit 2 ;;
esac
