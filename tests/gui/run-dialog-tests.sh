#!/usr/bin/env bash
# run-dialog-tests.sh WINE_RUN PREFIX PROGRAM [--screenshots FOLDER] [gtest options]
# The dialog tests on an Xvfb screen of their own, in Japanese (code page 932), then in English
# (the language module); --screenshots leaves BMP pictures in FOLDER. Exits 77 without Xvfb.
set -euo pipefail
wine_run=$1 prefix=$2 program=$3 first=${WBFAX_FIRST_DISPLAY:-91}
shift 3
shots=""
[ "${1:-}" != "--screenshots" ] || { shots=$(realpath -m "$2"); shift 2; }
command -v Xvfb >/dev/null || { echo "SKIPPED: the dialog tests need Xvfb (apt-get install xvfb)"; exit 77; }

# Inside the 32-bit root /tmp is the root's own: the abstract sockets show the machine's screens.
display=""
for n in $(seq "$first" $((first + 49))); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ] &&
        ! grep -q "@/tmp/.X11-unix/X$n\$" /proc/net/unix 2>/dev/null; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free X display number"; exit 1; }
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
[ -e "/tmp/.X11-unix/X$display" ] || { echo "Xvfb did not start"; exit 1; }

export WBFAX_WINE_DISPLAY=":$display" WBFAX_TEST_OWNS_APPDATA=1
"$wine_run" --prefix "$prefix" --init
# No window manager: Wine draws the frames itself, with its own fonts (Marlett), copied in below.
"$wine_run" --prefix "$prefix" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
# Japanese glyphs: the dialogs' faces become IPA P Gothic (fonts-ipafont-gothic).
for face in "MS UI Gothic" "ＭＳ Ｐゴシック"; do
    "$wine_run" --prefix "$prefix" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d IPAPGothic /f \
        >/dev/null 2>&1 || true
done
for font in /usr/share/wine/fonts/*.ttf; do
    [ -e "$font" ] && [ ! -e "$prefix/drive_c/windows/Fonts/${font##*/}" ] && cp "$font" "$prefix/drive_c/windows/Fonts/"
done

args=()
[ -z "$shots" ] || { mkdir -p "$shots"; args=(--screenshots "Z:${shots//\//\\}"); }
status=0
echo "--- Japanese, the module's own resources"
WBFAX_WINE_LANG=ja_JP.UTF-8 "$wine_run" --prefix "$prefix" "$program" "${args[@]}" "$@" || status=1
echo "--- English, the language module"
"$wine_run" --prefix "$prefix" "$program" --english "${args[@]}" "$@" || status=1
exit $status
