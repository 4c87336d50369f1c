#!/usr/bin/env bash
# vemkard-cli.exe under Wine against the Linux simulator on a pseudo-terminal
# that the prefix maps as a COM port: `cli-e2e.sh CASE CLI_EXE SIMULATOR N`
# runs one case on COMN, in the prefix WINEPREFIX with its wineserver up.
set -u
case_name=$1 cli=$2 sim=$3 number=$4
source "$(dirname "$0")/sim-port.sh"

# cli STATUS TEXT ARGS...: the program's status must be STATUS, its output
# hold TEXT. Output goes to files, as Wine's helpers would hold a pipe open.
# With `interrupt` set, a SIGINT (Wine: the console's Ctrl-C) comes once the
# simulator has logged that many lines.
cli() {
    local status=$1 text=$2
    shift 2
    WINEDEBUG=-all wine "$cli" --port "$port" "$@" >"$work/out" 2>"$work/err" </dev/null &
    local pid=$!
    if [[ -n ${interrupt:-} ]]; then
        for _ in $(seq 600); do
            (($(wc -l <"$work/sim.err") >= interrupt)) && break
            sleep 0.05
        done
        kill -INT "$pid"
    fi
    wait "$pid"
    local got=$?
    echo "\$ vemkard-cli.exe --port $port $* -> $got"
    cat "$work/out" "$work/err"
    [[ $got == "$status" ]] || fail "status $got, not $status"
    grep -qF -- "$text" "$work/out" "$work/err" || fail "no «$text» in the output"
}

le16() { printf '%02x%02x' $(($1 & 255)) $(($1 >> 8)); }

# expect_stored INDEX TYPE LOCAL_FILE DATA_FILE: the console's file INDEX is,
# byte for byte, the upload of LOCAL_FILE with DATA_FILE: its name is the
# Windows path (Wine's drive Z: is the root) in CP1251, made odd with a space.
expect_stored() {
    local name size header
    name=$(printf 'Z:%s' "${3//\//\\}" | iconv -f UTF-8 -t CP1251 | od -An -v -tx1 | tr -d ' \n')
    ((${#name} % 4 == 0)) && name+=20
    size=$(stat -c %s "$4")
    header=$(le16 "$2")$(le16 $((${#name} / 2 + 7 + size)))$(printf %02x $((${#name} / 2)))
    { printf '%b' "$(sed 's/../\\x&/g' <<<"$header$name$(le16 "$size")")"; cat "$4"; } >"$work/expected"
    cmp "$store/$(printf %03d "$1").bin" "$work/expected" || fail "file $1 differs from the upload"
}

case $case_name in
    ls)
        start_sim --samples
        cli 0 '{"number": 2, "name": "C:\\Пульт\\Советская - Кирова.m1 ", "type": {"code": 19794' ls --json
        grep -qF '"free": 28392' "$work/out" || fail "no free space in the listing"
        ;;
    put)
        # An organisation: A = 32 at 1029, B = 16 at 1024 + 32, so its
        # uploaded part is the 48 bytes from 1024.
        org=$work/org.m0
        head -c 1100 /dev/urandom >"$org"
        printf '\x20\x00' | dd of="$org" bs=1 seek=1029 conv=notrunc status=none
        printf '\x10\x00' | dd of="$org" bs=1 seek=1056 conv=notrunc status=none
        dd if="$org" of="$work/org.part" bs=1 skip=1024 count=48 status=none
        plan="$work/Годовой план «Юг».h6s"
        head -c 300 /dev/urandom >"$plan"
        start_sim
        cli 0 "$plan: Операция успешно завершена." put "$org" "$plan"
        stop_sim
        expect_stored 0 $((0x4D52)) "$org" "$work/org.part"
        expect_stored 1 1 "$plan" "$plan"
        ;;
    rm-clear)
        # Each checks the console's fresh listing itself: status 0 means done.
        start_sim --samples
        cli 0 "Операция успешно завершена." rm 'C:\Пульт\Громкость.z0'
        cli 0 "Операция успешно завершена." clear --yes
        ;;
    verify-error)
        head -c 200 /dev/urandom >"$work/main.mts"
        start_sim --verify-error 40
        cli 6 "Ошибка верификации по адресу 40h!" flash --yes "$work/main.mts"
        ;;
    silent)
        start_sim --samples --silent-after 2
        cli 4 "Нет связи с устройством! Список файлов не дочитан." ls --timeout 0.5
        ;;
    no-port)
        rm -f "$link"
        cli 3 "Невозможно открыть порт! Порта $port нет" ls
        ;;
    faults)
        head -c 2000 /dev/urandom >"$work/plan.h6s"
        start_sim --lose 0.05 --damage 0.05 --noise 0.05 --seed 7
        cli 0 "Операция успешно завершена." put "$work/plan.h6s" --trace "$work/trace"
        grep -qF 'ПОВРЕЖДЁН' "$work/trace" || fail "no damaged frame in the trace"
        stop_sim
        expect_stored 0 1 "$work/plan.h6s" "$work/plan.h6s"
        ;;
    interrupt)
        head -c 3000 /dev/urandom >"$work/main.mts"
        start_sim --log
        interrupt=40 cli 130 "Прервано, порт закрыт. Запись основной программы прервана на блоке" \
            flash --yes "$work/main.mts"
        ;;
    console)
        # On a console (Wine's, on the pseudo-terminal of `script`): the
        # question is asked and answered there, the messages go through
        # WriteConsoleW.
        start_sim --samples
        mkfifo "$work/keys"
        WINEDEBUG=-all script -qec "wine '$cli' --port $port clear" /dev/null \
            <"$work/keys" >"$work/out" 2>&1 &
        pid=$!
        exec 3>"$work/keys"
        for _ in $(seq 600); do grep -qF '[да/нет]' "$work/out" && break; sleep 0.05; done
        printf 'да\r' >&3
        wait "$pid"
        got=$?
        exec 3>&-
        cat "$work/out"
        [[ $got == 0 ]] || fail "status $got, not 0"
        grep -qF 'Операция успешно завершена.' "$work/out" || fail "no message on the console"
        ;;
    *) echo "unknown case $case_name" >&2 && exit 2 ;;
esac
exit "$failed"
