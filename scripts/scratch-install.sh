# Sourced by the scripts that play a whole installation in a scratch folder.
# end_scratch_install DATA_FOLDER SCRATCH_FOLDER: stops the sender programs that are still at work
# (their lock files name them) and the processes in the array pids, then removes the scratch
# folder and the IPC names of WBFAX_IPC_PREFIX.
end_scratch_install() {
    local lock pid
    for lock in "$1"/pf*.lck; do
        [ -e "$lock" ] && ! flock -n "$lock" true && kill "$(cat "$lock")" 2>/dev/null
    done
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$2" /dev/shm/"$WBFAX_IPC_PREFIX"* "${XDG_RUNTIME_DIR:-/tmp}/wbfax-windows-$WBFAX_IPC_PREFIX"
}

# make_fax FILE [TSI [SUBADDRESS]]: a real G3 fax page made with libtiff's tools, tagged as fax
# software tags what it receives (the TSI in ImageDescription, the sub-address in FaxSubAddress).
make_fax() {
    local work
    work=$(mktemp -d)
    /usr/bin/python3 -c '
import sys
rows = 200
sys.stdout.buffer.write(b"P4\n1728 %d\n" % rows + bytes((y * 7 + x) % 256 if y % 20 < 10 else 0 for y in range(rows) for x in range(216)))' \
        >"$work/page.pbm"
    ppm2tiff "$work/page.pbm" "$work/page.tif" && tiffcp -c g3:2d+fill "$work/page.tif" "$1" &&
        { [ -z "${2:-}" ] || tiffset -s 270 "$2" "$1"; } && { [ -z "${3:-}" ] || tiffset -s 34909 "$3" "$1"; }
    local status=$?
    rm -rf "$work"
    return $status
}
