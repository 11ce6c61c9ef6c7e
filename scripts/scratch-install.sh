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
