# Sourced by the end-to-end scripts, which set `sim` (the Linux simulator) and
# `number`: a work folder, the simulator on a pseudo-terminal that the prefix
# WINEPREFIX maps as COM<number>, and failures noted in `failed`.
port=COM$number link=$WINEPREFIX/dosdevices/com$number
work=$(mktemp -d) failed=0 sim_pid=
store=$work/store
cleanup() {
    [[ -n $sim_pid ]] && kill "$sim_pid" && wait "$sim_pid"
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    failed=1
}

# Starts the simulator with OPTIONS, which links the COM port to its pty.
start_sim() {
    "$sim" --link "$link" --store "$store" "$@" >"$work/sim.out" 2>"$work/sim.err" &
    sim_pid=$!
    for _ in $(seq 100); do [[ -L $link ]] && return; sleep 0.05; done
    fail "the simulator made no link $link"
}

# Stops the simulator, which saves its store.
stop_sim() { kill -TERM "$sim_pid" && wait "$sim_pid" && sim_pid=; }
