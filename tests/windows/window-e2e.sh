#!/usr/bin/env bash
# vemkard.exe under Wine, on the X display DISPLAY, against the Linux simulator
# on a pseudo-terminal that the prefix maps as COMN, stored as the window's
# port: `window-e2e.sh CASE VEMKARD_EXE PROBE_EXE SIMULATOR N`. The window is
# read through its test hook (VEMKARD_STATE: title, status, counter, bar,
# then the grid's rows) and through window messages (probe.exe); xdotool
# clicks and types, and keys reach the dialog in front. `window-e2e.sh
# screenshot ... N OUT.png` saves the window with the sample files listed.
set -u
case_name=$1 exe=$2 probe_exe=$3 sim=$4 number=$5
source "$(dirname "$0")/sim-port.sh"
state=$work/state window=
trap '[[ -n $window ]] && kill "$window"; cleanup' EXIT
done_text="Операция успешно завершена."

# Starts the window with COMN and the ВМ-4 console stored, as its test hook
# writing to $state, and waits for the start-up listing (or TEXT).
start() {
    local key='HKCU\Software\Tarvisk\Vemkard'
    wine reg add "$key" /v ComPort /t REG_SZ /d "$port" /f >/dev/null 2>&1
    wine reg add "$key" /v Device /t REG_DWORD /d 0 /f >/dev/null 2>&1
    VEMKARD_STATE="Z:${state//\//\\}" wine "$exe" >"$work/out" 2>&1 </dev/null &
    window=$!
    state_has "${1:-$done_text}"
}

# state_has TEXT: the hook's file holds TEXT within 20 s.
state_has() {
    for _ in $(seq 200); do grep -qF -- "$1" "$state" 2>/dev/null && return; sleep 0.1; done
    fail "the window never showed «$1»"
    cat "$state" >&2
}

# state_lacks TEXT: TEXT leaves the hook's file within 20 s.
state_lacks() {
    for _ in $(seq 200); do grep -qF -- "$1" "$state" || return; sleep 0.1; done
    fail "the window still shows «$1»"
}

# probe [--until TEXT] [--close]: the window as its messages read it.
probe() {
    wine "$probe_exe" "$@" >"$work/probe" 2>&1 || fail "probe $*: $(cat "$work/probe")"
}

# click NAME [COUNT]: at the point that the probe names NAME.
click() {
    probe
    local at
    at=$(sed -n "s/^$1=//p" "$work/probe")
    xdotool mousemove "${at%,*}" "${at#*,}" click --repeat "${2:-1}" --delay 100 1
}

# answer TEXT: types TEXT and Enter into the dialog that the last click
# opened, and waits for it to go.
answer() {
    probe --until box=
    [[ -n $1 ]] && xdotool type --delay 10 "$1"
    xdotool key Return
    for _ in $(seq 50); do probe && ! grep -q '^box=' "$work/probe" && return; sleep 0.1; done
    fail "the dialog stayed: $(cat "$work/probe")"
}

# Closes the idle window, which must ask nothing and end with status 0.
finish() {
    probe --close
    for _ in $(seq 100); do kill -0 "$window" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$window" 2>/dev/null; then
        probe
        fail "the window did not close: $(cat "$work/probe")"
        return
    fi
    wait "$window" || fail "vemkard.exe ended with status $?"
    window=
}

case $case_name in
    start)
        start_sim --samples
        start
        state_has 'C:\Пульт\Советская - Кирова.m1'
        probe
        cat "$work/probe"
        # The messages read what the hook wrote; no box came up.
        expected=$(head -n 4 "$state" | sed '1s/^/title=/;2s/^/status=/;3s/^/counter=/;4s/^/progress=/;4s|/.*||')
        [[ $(grep -E '^(title|status|counter|progress)=' "$work/probe") == "$expected" ]] ||
            fail "the messages read other than the hook: $expected"
        grep -qxF 'title=Пульт ВМ-4. Менеджер файлов.' "$work/probe" || fail "not the console's title"
        grep -q '^box=' "$work/probe" && fail "a box at start-up"
        finish
        ;;
    no-port)
        # A failed start-up says why on the status line, as on Linux; no box.
        rm -f "$link"
        start "Невозможно открыть порт! Порта $port нет"
        probe
        grep -q '^box=' "$work/probe" && fail "a box at start-up"
        finish
        ;;
    put)
        # xdotool cannot type Cyrillic into Wine reliably: an ASCII name.
        plan=$work/plan.h6s
        head -c 300 /dev/urandom >"$plan"
        start_sim
        start
        click button.ToolButton8
        answer "Z:${plan//\//\\}"
        state_has "Z:${plan//\//\\}"
        probe --until "status=$done_text"
        finish
        stop_sim
        tail -c 300 "$store/000.bin" | cmp - "$plan" || fail "the console holds other data"
        ;;
    rm)
        start_sim --samples
        start
        first=$(sed -n 6p "$state" | cut -f 2)
        click row1 2
        state_lacks "$first"
        probe --until "status=$done_text"
        finish
        ;;
    clear)
        start_sim --samples
        start
        click button.ToolButton6
        answer ""
        state_lacks 'C:\'
        probe --until "status=$done_text"
        finish
        ;;
    flash)
        image=$work/main.mts
        head -c 200 /dev/urandom >"$image"
        start_sim --verify-error 40
        start
        click button.ToolButton10
        answer ""
        answer "Z:${image//\//\\}"
        probe --until "status=Ошибка верификации по адресу 40h!"
        finish
        ;;
    screenshot)
        # Wine draws the frame itself, as no window manager runs.
        frame='HKCU\Software\Wine\X11 Driver'
        wine reg add "$frame" /v Managed /d N /f >/dev/null 2>&1
        start_sim --samples
        start
        wine reg delete "$frame" /v Managed /f >/dev/null 2>&1
        xdotool mousemove 0 0
        sleep 1
        probe
        import -window root -crop "$(sed -n 's/^frame=//p' "$work/probe")" "$6" || fail "no picture"
        finish
        ;;
    *) echo "unknown case $case_name" >&2 && exit 2 ;;
esac
exit "$failed"
