#!/usr/bin/env bash
# Screenshots of how the program meets the desktop, made under a virtual X
# display inside a network namespace of the script's own (only loopback):
#   docs/save-dialog-ru.png     the log's save dialog under a Russian locale
#   docs/line-edit-menu-ru.png  a text field's right-click menu under a Russian locale
#   docs/page1-dark.png         the settings page under a dark GTK theme
# Needs root (for the namespace). Usage: tools/screenshots-desktop.sh [path/to/Vesmar]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/xvfb.sh
binary=$(readlink -f "${1:-build/Vesmar}")
[ -x "$binary" ] || { echo "No program at $binary; build it first." >&2; exit 1; }
for tool in Xvfb xdotool import iconv ip; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (tools/install-deps.sh)." >&2; exit 1; }
done

work=$(mktemp -d)
namespace="vesmar-shots-$$"
cleanup() {
    [ -n "${app_pid:-}" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
    ip netns delete "$namespace" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cp "$binary" "$work/Vesmar"
printf '%s\r\n' 'ИВАНОВ _|_ 127.0.0.1' 'ПЕТРОВА _|_ 127.0.0.12' |
    iconv -f UTF-8 -t CP1251 >"$work/ListCorr.dat"
printf '%s\r\n' '[ANY]' 'MyName=ИВАНОВ' 'YesPopUp_Mess=1' 'TextPopUp_Mess=' 'YesPopUp_Corr=0' \
    'TextPopUp_Corr=ПЕТРОВА' 'YesBeep_Mess=1' 'TextBeep_Mess=ИВАНОВ' 'YesBeep_Corr=0' \
    'TextBeep_Corr=' '[START]' 'MinimizeOnStart=0' |
    iconv -f UTF-8 -t CP1251 >"$work/Vesmar.ini"

start_xvfb
ip netns add "$namespace"
ip -n "$namespace" link set lo up
mkdir -p docs

# Starts the copy with the given environment and waits for its window.
start() {
    (cd "$work" && exec ip netns exec "$namespace" env "$@" QT_QPA_PLATFORM=xcb "$work/Vesmar" >/dev/null 2>&1) &
    app_pid=$!
    window=$(timeout 30 xdotool search --sync --onlyvisible --class '^Vesmar$' | head -n 1)
    [ -n "$window" ] || { echo "The program showed no window." >&2; exit 1; }
    sleep 1.5
}
stop() {
    kill -TERM "$app_pid"
    wait "$app_pid" || true
    app_pid=
}
# The top-level windows of the program other than the main window.
other_window() {
    xdotool search --onlyvisible --class '^Vesmar$' | grep -vx "$window" | tail -n 1
}

start LANG=ru_RU.UTF-8
# A line in the log, then the log's menu: Скопировать в > Текстовый файл.
xdotool type --delay 30 'Добрый день!'
xdotool key Return
sleep 0.5
xdotool mousemove --window "$window" 200 300 click 3
sleep 0.5
xdotool key Down Right Down Return
sleep 1.5
dialog=$(other_window)
[ -n "$dialog" ] || { echo "The save dialog did not open." >&2; exit 1; }
xdotool type --delay 30 'беседа'
sleep 0.3
import -window "$dialog" docs/save-dialog-ru.png
xdotool key Escape
sleep 0.5
# The message line's own menu, which Qt supplies.
xdotool mousemove --window "$window" 150 88 click 3
sleep 0.8
import -window root -crop 660x420+180+140 +repage docs/line-edit-menu-ru.png
xdotool key Escape
stop

start QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark
xdotool key --window "$window" ctrl+Tab
sleep 0.5
import -window "$window" docs/page1-dark.png
stop
echo "Wrote docs/save-dialog-ru.png, docs/line-edit-menu-ru.png and docs/page1-dark.png"
