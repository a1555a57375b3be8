#!/usr/bin/env bash
# Makes the README's screenshots of both pages of the main window under a
# virtual X display: docs/page0.png ("Зовница") and docs/page1.png ("Настройка").
# The program runs from a temporary program directory holding a sample
# directory file and settings file, so nothing of a real installation is used.
# Usage: tools/screenshots.sh [path/to/Vesmar]   (default: build/Vesmar)
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/xvfb.sh
binary=$(readlink -f "${1:-build/Vesmar}")
[ -x "$binary" ] || { echo "No program at $binary; build it first (./run.sh or cmake)." >&2; exit 1; }
for tool in Xvfb xdotool import iconv; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (tools/install-deps.sh installs it)." >&2; exit 1; }
done

work=$(mktemp -d)
cleanup() {
    [ -n "${app_pid:-}" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cp "$binary" "$work/Vesmar"
# The data files are Windows-1251 text with CR LF line ends. The sample
# directory names this machine (so the copy finds itself) and other loopback
# addresses, so that no datagram of the demonstration leaves the machine.
printf '%s\r\n' 'ИВАНОВ _|_ 127.0.0.1' 'ПЕТРОВА _|_ 127.0.0.12' \
    'СИДОРОВ _|_ 127.0.0.13' 'БУХГАЛТЕРИЯ _|_ 127.0.0.20' |
    iconv -f UTF-8 -t CP1251 >"$work/ListCorr.dat"
printf '%s\r\n' '[ANY]' 'MyName=ИВАНОВ' 'YesPopUp_Mess=1' 'TextPopUp_Mess=' 'YesPopUp_Corr=1' \
    'TextPopUp_Corr=' 'YesBeep_Mess=1' 'TextBeep_Mess=' 'YesBeep_Corr=0' 'TextBeep_Corr=' \
    '[START]' 'MinimizeOnStart=0' |
    iconv -f UTF-8 -t CP1251 >"$work/Vesmar.ini"

start_xvfb

# The users are Russian; their clock shows Russian time and date formats.
LC_TIME=ru_RU.UTF-8 QT_QPA_PLATFORM=xcb "$work/Vesmar" >/dev/null 2>&1 &
app_pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --pid "$app_pid" | head -n 1)
[ -n "$window" ] || { echo "The program showed no window." >&2; exit 1; }
xdotool windowfocus --sync "$window" 2>/dev/null || true
sleep 1.5  # the first tick (0.5 s) has run and the clock shows
# A line to everyone: the own copy is in the roster, so it comes back to the log.
xdotool type --delay 30 'Добрый день! Совещание в 15:00.'
xdotool key Return
sleep 0.5
mkdir -p docs
import -window "$window" docs/page0.png
xdotool key --window "$window" ctrl+Tab
sleep 0.5
import -window "$window" docs/page1.png
echo "Wrote docs/page0.png and docs/page1.png"
