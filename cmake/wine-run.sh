#!/usr/bin/env bash
# Runs a Windows program under Wine: wine-run.sh [--prefix DIR] PROGRAM [ARGS...]
# wine64 on the machine; inside the 32-bit root (scripts/i386-root.sh), which has no wine64, the
# 32-bit Wine there.
# The prefix is created on first use (DIR, else $WBFAX_WINEPREFIX). Programs see code page 1252,
# the native build's default, unless WBFAX_WINE_LANG names another locale (ja_JP.UTF-8: 932).
# Instead of a program: --init only creates the prefix; --serve keeps one wine server running for
# it until --stop, so that a suite neither pays for nor races with a server start per program.
set -euo pipefail
prefix=${WBFAX_WINEPREFIX:-}
if [ "${1:-}" = "--prefix" ]; then
    prefix=$2
    shift 2
fi
[ -n "$prefix" ] || { echo "wine-run.sh: no prefix given" >&2; exit 2; }
prefix=$(realpath -m "$prefix")
arch=win64
wine=${WBFAX_WINE:-/usr/lib/wine/wine64}
[ -x "$wine" ] || wine=$(command -v wine64 || true)
if [ -z "$wine" ] && [ -x /usr/lib/wine/wine ]; then
    wine=/usr/lib/wine/wine arch=win32
fi
[ -n "$wine" ] || { echo "wine-run.sh: Wine is not installed" >&2; exit 2; }
server="${wine%/*}/wineserver"
[ -x "$server" ] || server=$(command -v wineserver || echo wineserver)

export WINEPREFIX=$prefix WINEDEBUG=-all WINEARCH=$arch
# No Mono or Gecko prompts, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset LC_ALL LC_CTYPE LC_MESSAGES LANGUAGE DISPLAY WAYLAND_DISPLAY
# Programs with windows draw on the X display named here (the dialog tests bring an Xvfb).
if [ -n "${WBFAX_WINE_DISPLAY:-}" ]; then export DISPLAY=$WBFAX_WINE_DISPLAY; fi
export LANG=${WBFAX_WINE_LANG:-C.UTF-8}
# Wine takes the code page from the Unix locale; one the system lacks is compiled beside the prefix.
# (grep reads the whole list: an early exit would fail the pipeline on SIGPIPE.)
if ! locale -a 2>/dev/null | grep -ix "${LANG/UTF-8/utf8}" >/dev/null; then
    locales="$prefix-locales"
    if [ ! -d "$locales/$LANG" ]; then
        mkdir -p "$locales"
        localedef -i "${LANG%%.*}" -f "${LANG#*.}" "$locales/$LANG" >/dev/null 2>&1 || true
    fi
    export LOCPATH=$locales
fi

if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$(dirname "$prefix")"
    # Parallel first runs create the prefix once.
    exec 9>"$prefix.lock"
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
        "$wine" wineboot --init >/dev/null 2>&1 || true
        "$server" -w 2>/dev/null || true
    fi
    flock -u 9
    exec 9>&-
fi
case "${1:-}" in
    --init) exit 0 ;;
    --serve)
        "$server" --persistent
        # The server's first program starts the system's services, which keep its standard
        # streams for their lifetime: a test's pipe would then never close.
        "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
        # The desktop closes a second after its last program, and its explorer.exe, started by
        # the next one, keeps that program's streams open that long: a program that stays on
        # it (explorer's own window) saves every test the second.
        "$wine" explorer.exe </dev/null >/dev/null 2>&1 &
        # The desktop comes up a moment later. A program started before would start it itself,
        # and the desktop, kept alive by the explorer above, would hold that program's streams
        # for good: a test reading them would wait until its timeout.
        for _ in $(seq 200); do
            for cmdline in $(grep -lzs -- 'explorer.exe' /proc/[0-9]*/cmdline); do
                grep -qzx -- /desktop "$cmdline" 2>/dev/null || continue
                grep -qzxF -- "WINEPREFIX=$prefix" "${cmdline%/cmdline}/environ" 2>/dev/null && exit 0
            done
            sleep 0.1
        done
        echo "wine-run.sh: no desktop after 20 s; going on" >&2
        exit 0 ;;
    --stop) exec "$server" --kill ;;
esac
exec "$wine" "$@"
