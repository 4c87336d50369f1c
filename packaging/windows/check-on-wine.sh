#!/usr/bin/env bash
# Run by scripts/check-package --windows on a virtual display, in the fresh
# Wine prefix WINEPREFIX: `check-on-wine.sh SETUP ZIP VERSION PROBE VERSION_INFO`.
# The installer in both modes (/S takes Wine's administrator rights: all
# users; /CurrentUser: the user's own programs folder), what it installs,
# both programs started from there, the uninstaller from the entry's
# QuietUninstallString; then the zip from a folder of its own.
set -u
setup=$1 zip=$2 version=$3 probe=$4 version_info=$5
failed=0
fail() {
    echo "check-package: FAILED: $*" >&2
    failed=1
}
windows_path() { winepath -w "$1" 2>/dev/null; }

user=$(wine cmd /c 'echo %USERNAME%' 2>/dev/null | tr -d '\r')
c=$WINEPREFIX/drive_c
home=$c/users/$user
settings='HKCU\Software\Tarvisk\Vemkard'
product="ВМ-4. Менеджер файлов"
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Vemkard'

# A user's settings, which no uninstall may take: a port that does not exist,
# so the window comes up at once with the reason on its status line.
wine reg add "$settings" /v ComPort /t REG_SZ /d COM99 /f >/dev/null 2>&1
wine reg add "$settings" /v Device /t REG_DWORD /d 0 /f >/dev/null 2>&1

# value KEY NAME: a registry value, a string as it is, a DWORD as a decimal
# number. From `wine reg export` (UTF-16), as `reg query` loses Cyrillic.
value() {
    local exported=$WINEPREFIX/drive_c/value.reg line
    rm -f "$exported"
    wine reg export "$1" "$(windows_path "$exported")" >/dev/null 2>&1 || return 0
    line=$(iconv -f UTF-16 -t UTF-8 "$exported" | tr -d '\r' | grep -F "\"$2\"=")
    rm -f "$exported"
    line=${line#*\"=}
    if [[ $line == dword:* ]]; then
        echo $((16#${line#dword:}))
    else
        line=${line#\"}
        line=${line%\"}
        sed 's/\\\\/\\/g; s/\\"/"/g' <<<"$line"
    fi
}

# version_of FILE: its version resource, as Windows reads it, is VERSION.
version_of() {
    local info
    info=$(wine "$version_info" "$(windows_path "$1")" 2>&1 | tr -d '\r')
    grep -qx "fixed=$version.0" <<<"$info" && grep -qx "ProductVersion=$version" <<<"$info" &&
        grep -qx "FileVersion=$version" <<<"$info" ||
        fail "${1##*/}: the version resource is not $version: $info"
}

# cli_version FILE: the program prints its version.
cli_version() {
    local said
    said=$(wine "$1" --version 2>&1 | tr -d '\r')
    [[ $said == "vemkard-cli $version" ]] || fail "$1 --version says «$said»"
    echo "check-package: $1 --version: $said"
}

# window FILE: the program shows its window, which the probe reads, with the
# reason the stored port does not open, and ends at once, with status 0, when
# it is closed.
window() {
    local pid out
    wine "$1" >/dev/null 2>&1 </dev/null &
    pid=$!
    out=$(wine "$probe" --until "status=Невозможно открыть порт! Порта COM99 нет" 2>&1 | tr -d '\r')
    if ! grep -qx "title=.*$product." <<<"$out" ||
        ! grep -q "^status=Невозможно открыть порт! Порта COM99 нет" <<<"$out"; then
        fail "$1 showed no window with the port's failure: $out"
    else
        echo "check-package: $(grep -E '^(title|status)=' <<<"$out" | paste -sd ' ')"
    fi
    wine "$probe" --close >/dev/null 2>&1
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
        fail "$1 did not close"
        kill "$pid"
    fi
    wait "$pid" || fail "$1 ended with status $?"
}

# installed MODE ROOT DIR MENU: one install and uninstall in MODE (AllUsers
# or CurrentUser), the entry under ROOT (HKLM or HKCU), the programs in DIR,
# the shortcut in the Start menu folder MENU.
installed() {
    local mode=$1 root=$2 dir=$3 menu=$4 key="$2\\$uninstall_key" status=0
    local options=(/S)
    [[ $mode == CurrentUser ]] && options+=(/CurrentUser)
    echo "check-package: $setup ${options[*]}"
    wine "$setup" "${options[@]}" >/dev/null 2>&1 || status=$?
    [[ $status -eq 0 ]] || fail "the installer (${options[*]}) ended with status $status"
    for file in vemkard.exe vemkard-cli.exe uninstall.exe; do
        [[ -f $dir/$file ]] || fail "no $dir/$file"
    done
    local link=$menu/$product.lnk
    [[ -f $link ]] || fail "no shortcut $link"
    # The shortcut starts the installed window and takes its icon.
    local target
    target=$(windows_path "$dir/vemkard.exe")
    LC_ALL=C grep -qaF "${target##*\\}" "$link" 2>/dev/null || fail "the shortcut does not name vemkard.exe"

    [[ $(value "$key" DisplayName) == "$product" ]] || fail "$key: DisplayName «$(value "$key" DisplayName)»"
    [[ $(value "$key" Publisher) == Tarvisk ]] || fail "$key: Publisher «$(value "$key" Publisher)»"
    [[ $(value "$key" DisplayVersion) == "$version" ]] || fail "$key: DisplayVersion «$(value "$key" DisplayVersion)»"
    [[ $(value "$key" InstallLocation) == "$(windows_path "$dir")" ]] ||
        fail "$key: InstallLocation «$(value "$key" InstallLocation)»"
    [[ $(value "$key" DisplayIcon) == "\"$target\",0" ]] || fail "$key: DisplayIcon «$(value "$key" DisplayIcon)»"
    local size quiet
    size=$(value "$key" EstimatedSize)
    # In KiB: the two programs are a few MiB.
    [[ -n $size ]] && ((size > 1000 && size < 100000)) || fail "$key: EstimatedSize «$size»"
    [[ $(value "$key" UninstallString) == "\"$(windows_path "$dir/uninstall.exe")\" /$mode" ]] ||
        fail "$key: UninstallString «$(value "$key" UninstallString)»"
    quiet=$(value "$key" QuietUninstallString)
    [[ $quiet == "\"$(windows_path "$dir/uninstall.exe")\" /S /$mode" ]] ||
        fail "$key: QuietUninstallString «$quiet»"
    echo "check-package: $key: $(value "$key" DisplayName) $(value "$key" DisplayVersion), $size KiB, $quiet"

    # Installed again without a mode, as an update would be: the same mode
    # and folder, one entry.
    status=0
    wine "$setup" /S >/dev/null 2>&1 || status=$?
    [[ $status -eq 0 ]] || fail "the installer, again, ended with status $status"
    local other=HKLM
    [[ $root == HKLM ]] && other=HKCU
    wine reg query "$other\\$uninstall_key" >/dev/null 2>&1 &&
        fail "installed again, it made a second entry under $other"
    [[ $(value "$key" InstallLocation) == "$(windows_path "$dir")" ]] ||
        fail "installed again, it moved to «$(value "$key" InstallLocation)»"

    cli_version "$dir/vemkard-cli.exe"
    version_of "$dir/vemkard-cli.exe"
    version_of "$dir/vemkard.exe"
    window "$dir/vemkard.exe"

    # The uninstaller copies itself to the temporary folder and returns; its
    # copy removes the files. Run as Apps and Features would, from the entry.
    echo "check-package: uninstalling: $quiet"
    local program=${quiet#\"}
    program=${program%%\"*}
    local arguments
    read -ra arguments <<<"${quiet#\"$program\"}"
    wine "$program" "${arguments[@]}" >/dev/null 2>&1 || fail "the uninstaller ended with status $?"
    for _ in $(seq 300); do
        [[ -e $dir ]] || break
        sleep 0.1
    done
    [[ -e $dir ]] && fail "left after uninstall: $(find "$dir" | paste -sd ' ')"
    [[ -e $link ]] && fail "the shortcut is left after uninstall"
    wine reg query "$key" >/dev/null 2>&1 && fail "$key is left after uninstall"
    [[ $(value "$settings" ComPort) == COM99 ]] || fail "the uninstall took the user's settings"
}

installed AllUsers HKLM "$c/Program Files/Vemkard" "$c/ProgramData/Microsoft/Windows/Start Menu/Programs"
installed CurrentUser HKCU "$home/AppData/Local/Programs/Vemkard" \
    "$home/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"

# The zip: one folder with both programs and the read-me, which run from any
# folder (one with a space and Cyrillic in its name here).
listed=$(unzip -Z1 "$zip" | sort | paste -sd ' ')
expected="vemkard-$version/ vemkard-$version/readme.txt vemkard-$version/vemkard-cli.exe vemkard-$version/vemkard.exe"
[[ $listed == "$expected" ]] || fail "the zip holds: $listed"
unpacked="$home/Рабочий стол/Пульт"
mkdir -p "$unpacked"
unzip -q "$zip" -d "$unpacked" || fail "the zip does not unpack"
cli_version "$unpacked/vemkard-$version/vemkard-cli.exe"
version_of "$unpacked/vemkard-$version/vemkard-cli.exe"
window "$unpacked/vemkard-$version/vemkard.exe"
readme=$unpacked/vemkard-$version/readme.txt
grep -q "версия $version" "$readme" || fail "the read-me names no version $version"
# For Notepad: a byte order mark and CRLF.
[[ $(head -c 3 "$readme" | od -An -tx1 | tr -d ' ') == efbbbf ]] || fail "the read-me has no byte order mark"
grep -qv $'\r$' "$readme" && fail "the read-me has lines without CR"

version_of "$setup"
exit "$failed"
