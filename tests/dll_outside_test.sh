#!/bin/sh
# dll_outside_test.sh OBJDUMP WINDRES DLL: the DLL as the host's loader meets it: one undecorated
# export, imports from system DLLs only (the runtimes linked in), version 2.2.2 in the Japanese block.
set -eu
objdump=$1 windres=$2 dll=$3
fail() { echo "FAIL: $*"; exit 1; }
headers=$("$objdump" -p "$dll")
exports=$(printf '%s\n' "$headers" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')
[ "$exports" = "wbCatchExtExpFunc" ] || fail "the export table must hold wbCatchExtExpFunc alone, not: $exports"
imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imports" ] || fail "no import table found"
for name in $imports; do
    case $(printf '%s' "$name" | tr '[:upper:]' '[:lower:]') in
    kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | shell32.dll | comctl32.dll | comdlg32.dll | \
        ws2_32.dll | wsock32.dll | mpr.dll | netapi32.dll | ole32.dll | msvcrt.dll) ;;
    *) fail "imports $name, which is not part of the system" ;;
    esac
done
resources=$("$windres" -J coff -O rc -i "$dll")
printf '%s\n' "$resources" | grep -qE '^ *FILEVERSION 2, 2, 2, 0$' || fail "file version is not 2, 2, 2, 0"
for line in 'FILETYPE 0x2' 'BLOCK "041104b0"' 'VALUE "FileVersion", "2.2.2"'; do
    printf '%s\n' "$resources" | grep -qF "$line" || fail "version information lacks $line"
done
echo "ok: exports $exports; imports" $imports
