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

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" wine "$@"
fi
exec wine "$@"
