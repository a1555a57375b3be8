#!/usr/bin/env bash
# Tries the Debian package the way a user meets it: installs it with apt,
# starts the installed program by the command of its menu entry as an
# ordinary user (nobody) with a fresh home folder, on a virtual X display and
# inside a network namespace of its own (only loopback, so nothing leaves the
# machine), checks the firewall files for port 333, that its window appears,
# that it bound UDP port 333, that a second start is refused and that its
# data files land in ~/.config/Vesmar/,
# starting from a directory handed out in /usr/share/vesmar/, then removes the
# package and checks that the user's files stay.
# Needs root. Usage: tools/try-package.sh [path/to/vesmar_*.deb]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/xvfb.sh
deb=$(readlink -f "${1:-$(ls build-package/vesmar_*.deb 2>/dev/null | head -n 1)}")
[ -f "$deb" ] || { echo "No package found; build it first (see README)." >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "Run as root: it installs and removes a package." >&2; exit 1; }
for tool in Xvfb xdotool ip setpriv ss getcap iconv; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (tools/install-deps.sh)." >&2; exit 1; }
done
if dpkg-query -W -f='${Status}' vesmar 2>/dev/null | grep -q 'install ok installed'; then
    echo "The vesmar package is already installed here; not touching it." >&2
    exit 1
fi

work=$(mktemp -d)
namespace="vesmar-try-$$"
installed=0
cleanup() {
    for pid in ${second_pid:-} ${app_pid:-} ${xvfb_pid:-}; do
        kill "$pid" 2>/dev/null || true
    done
    ip netns delete "$namespace" 2>/dev/null || true
    [ -n "${seed_folder:-}" ] && rm -rf "$seed_folder"
    if [ "$installed" -eq 1 ]; then
        apt-get remove -y -qq vesmar >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
step() { echo "== $*"; }
fail() { echo "FAILED: $*"; exit 1; }

step "installing $(basename "$deb")"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get install"; }
installed=1
program=$(command -v Vesmar) || fail "Vesmar is not on PATH"
echo "installed: $program"
echo "capability: $(getcap "$program")"
getcap "$program" | grep -q cap_net_bind_service || fail "the port capability was not granted"
for file in /etc/ufw/applications.d/vesmar /usr/lib/firewalld/services/vesmar.xml; do
    grep -q 333 "$file" || fail "$file does not open port 333"
done
echo "firewall files: /etc/ufw/applications.d/vesmar, /usr/lib/firewalld/services/vesmar.xml"
desktop=/usr/share/applications/org.vesmar.Vesmar.desktop
command_line=$(sed -n 's/^Exec=//p' "$desktop")
echo "menu entry command: $command_line"

# An administrator's starting directory, handed out beside the package.
seed_folder=/usr/share/vesmar
[ ! -e "$seed_folder" ] || fail "$seed_folder exists already; not touching it"
mkdir "$seed_folder"
printf 'АДМИН _|_ 127.0.0.1\r\n' | iconv -f UTF-8 -t CP1251 >"$seed_folder/ListCorr.dat"
seed_copy=$(cat "$seed_folder/ListCorr.dat")

# A home of the user nobody, and a display and a network of the test's own.
home="$work/home"
mkdir -p "$home/runtime"
chmod 700 "$home/runtime"
chown -R nobody:nogroup "$home"
chmod 755 "$work"
start_xvfb
ip netns add "$namespace"
ip -n "$namespace" link set lo up

# Run in the background, the function's subshell becomes the program, so $!
# is the program's own process.
as_user() {
    exec ip netns exec "$namespace" setpriv --reuid=nobody --regid=nogroup --clear-groups \
        env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$home/runtime" DISPLAY="$DISPLAY" \
        LANG=ru_RU.UTF-8 QT_QPA_PLATFORM=xcb "$@"
}

step "starting '$command_line' as nobody, HOME=$home"
# shellcheck disable=SC2086  # the menu entry's command line, split as a launcher would
as_user $command_line >"$work/first.log" 2>&1 &
app_pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --class '^Vesmar$' 2>/dev/null | head -n 1) || true
[ -n "$window" ] || { cat "$work/first.log"; fail "no window appeared"; }
echo "window: $(xdotool getwindowname "$window")"
ip netns exec "$namespace" ss -ulnp | grep -q ':333 .*Vesmar' || fail "port 333 is not bound"
echo "port: $(ip netns exec "$namespace" ss -ulnp | grep ':333 ' | awk '{print $4}') bound by Vesmar"

step "starting a second copy"
# shellcheck disable=SC2086
as_user $command_line >"$work/second.log" 2>&1 &
second_pid=$!
for _ in $(seq 100); do
    grep -q 'уже запущена' "$work/second.log" && break
    sleep 0.1
done
grep -q 'уже запущена' "$work/second.log" || fail "the second copy was not refused"
echo "second copy said: $(head -n 1 "$work/second.log")"
kill "$second_pid" 2>/dev/null || true
wait "$second_pid" 2>/dev/null || true
second_pid=

step "closing the program (SIGTERM closes the window the normal way)"
kill -TERM "$app_pid"
wait "$app_pid" && status=0 || status=$?
app_pid=
echo "exit status: $status"
cat "$work/first.log"
ls -l "$home/.config/Vesmar/"
for file in Vesmar.ini ListCorr.dat; do
    [ -f "$home/.config/Vesmar/$file" ] || fail "$file was not written to ~/.config/Vesmar/"
done
[ ! -e "$(dirname "$program")/Vesmar.ini" ] || fail "a data file was written next to the executable"
echo "directory started from $seed_folder/ListCorr.dat: $(iconv -f CP1251 -t UTF-8 "$home/.config/Vesmar/ListCorr.dat" | tr -d '\r')"
grep -q 'АДМИН' <(iconv -f CP1251 -t UTF-8 "$home/.config/Vesmar/ListCorr.dat") ||
    fail "the starting directory was not copied in"
[ "$(cat "$seed_folder/ListCorr.dat")" = "$seed_copy" ] || fail "the handed-out directory was changed"

step "removing the package"
apt-get remove -y -qq vesmar >/dev/null 2>&1 || fail "apt-get remove"
installed=0
[ ! -e "$program" ] || fail "$program is still there"
for file in Vesmar.ini ListCorr.dat; do
    [ -f "$home/.config/Vesmar/$file" ] || fail "removing the package removed ~/.config/Vesmar/$file"
done
echo "the user's files stay: $(ls "$home/.config/Vesmar/" | tr '\n' ' ')"
echo "PASSED"
