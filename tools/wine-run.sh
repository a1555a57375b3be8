#!/usr/bin/env bash
# Runs a Windows program under Wine, as CMake's cross-compiling emulator for
# the Windows build's tests:
#
#   tools/wine-run.sh PREFIX DLLDIR PROGRAM [ARGUMENTS...]
#
# PREFIX is the Wine prefix to use (created on first use and set to
# Windows 10: a new prefix reports Windows 7, below what Qt 6 runs on).
# The program finds Qt's DLLs in DLLDIR and the MinGW runtime through
# WINEPATH. Wine's own messages are off (WINEDEBUG=-all) unless WINEDEBUG is
# set. Without DISPLAY a virtual X display is started for the run, as Wine
# needs one for any window, even an offscreen Qt's hidden ones.
set -euo pipefail
prefix=${1:?usage: wine-run.sh PREFIX DLLDIR PROGRAM [ARGUMENTS...]}
dlldir=${2:?usage: wine-run.sh PREFIX DLLDIR PROGRAM [ARGUMENTS...]}
shift 2
[ $# -ge 1 ] || { echo "usage: wine-run.sh PREFIX DLLDIR PROGRAM [ARGUMENTS...]" >&2; exit 2; }

export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
WINEPATH="$(windows_path "$dlldir");$(windows_path /usr/lib/gcc/x86_64-w64-mingw32/12-posix)"
WINEPATH+=";$(windows_path /usr/x86_64-w64-mingw32/lib)"
export WINEPATH

# Wine keeps the Unix QT_* variables (meant for Linux Qt programs) from
# Windows programs and passes WINEQT_* on as QT_* instead: the tests' own
# settings, as QT_QPA_PLATFORM=offscreen, must reach the Windows Qt.
while IFS='=' read -r name _; do
    case "$name" in QT_*) export "WINE$name=${!name}" ;; esac
done < <(env)

# One prefix set-up at a time; tests run in parallel would otherwise race.
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.windows10" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wine winecfg /v win10 >/dev/null 2>&1
    wineserver -w
    touch "$prefix/.windows10"
fi
flock -u 9
exec 9>&-

# The offscreen platform of Qt for Windows reads its fonts from a folder.
export WINEQT_QPA_FONTDIR=${WINEQT_QPA_FONTDIR:-Z:/usr/share/fonts/truetype/dejavu}

# What a QtTest program prints to its standard output is lost between the
# Windows program and the Unix pipe under Wine, so a test writes its report
# to a file, shown here once it has ended.
report=""
if x86_64-w64-mingw32-objdump -p "$1" 2>/dev/null | grep -ci "DLL Name: Qt6Test.dll" >/dev/null; then
    report=$(mktemp --suffix=.txt)
    trap 'rm -f "$report"' EXIT
    set -- "$@" -o "$(printf 'Z:%s' "$report"),txt"
fi

run=(wine "$@")
[ -z "${DISPLAY:-}" ] && run=(xvfb-run -a -n 81 -s "-screen 0 1024x768x24 -nolisten tcp" "${run[@]}")
status=0
"${run[@]}" || status=$?
[ -n "$report" ] && cat "$report"
exit "$status"
