#!/usr/bin/env bash
# Every benchmark of the program in one table: figure, value, goal, held.
#
#   bench/run-all.sh [BUILD_DIR]      (default: build-bench, a release build)
#
# Builds the program and the benchmarks in release, then runs everything in
# a network namespace of its own (made here, removed on exit; needs root), on
# a virtual X display (Xvfb) started inside it, so no benchmark touches the
# real network or needs a real display. A private session bus with a tray's
# StatusNotifierWatcher on it (tests/e2e/desktop_services.py) stands for the
# desktop, so the program's tray icon registers as on a real one. The
# start-up comparison runs the program and bench/bare_window alternately,
# after one uncounted start of each, and takes medians: RUNS full runs each
# give resident memory SETTLE seconds after the start and processor time over
# the IDLE seconds after that; they and STARTS more short runs give the
# start-up time and the processor time spent until the window is mapped.
#   RUNS=7 STARTS=21 SETTLE=10 IDLE=60 by default; e.g. IDLE=10 for a quick look.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
RUNS=${RUNS:-7}
STARTS=${STARTS:-21}
SETTLE=${SETTLE:-10}
IDLE=${IDLE:-60}

if [[ ${1:-} == --inside ]]; then
    build=$2
    rows=$3
    work=$(mktemp -d)
    export XDG_RUNTIME_DIR=$work/runtime
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    ip link set lo up

    display=:$((100 + RANDOM % 800))
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -rf "$work"' EXIT
    for _ in $(seq 50); do
        [[ -S /tmp/.X11-unix/X${display#:} ]] && break
        sleep 0.1
    done
    export DISPLAY=$display QT_QPA_PLATFORM=xcb

    # The desktop's session bus, with a tray watcher and no notification
    # server (nothing is notified at rest).
    bus=$work/bus
    dbus-daemon --session --nofork --nopidfile --address="unix:path=$bus" \
        >"$work/dbus.log" 2>&1 &
    dbus=$!
    for _ in $(seq 50); do
        [[ -S $bus ]] && break
        sleep 0.1
    done
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$bus
    /usr/bin/python3 -u "$here/tests/e2e/desktop_services.py" --no-notifications \
        </dev/null >"$work/services.log" 2>&1 &
    services=$!
    trap 'kill $services $dbus $xvfb 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
    for _ in $(seq 50); do
        grep -q ready "$work/services.log" && break
        sleep 0.1
    done

    # Each benchmark's own report goes to standard error; its rows to the table.
    "$build/bench/bench_udp" >"$work/udp.out"
    cat "$work/udp.out" >&2
    awk '
        /^fan-out/ { part = "fan-out" }
        /^receive/ { part = "receive" }
        /ratio/ { value = $NF
            printf "| %s: endpoint / plain loop | %.2fx | <= 1.2x | %s |\n", part, value,
                (value <= 1.2 ? "yes" : "NO") }' "$work/udp.out" >>"$rows"
    for benchmark in bench_presence bench_roster bench_log bench_watch; do
        "$build/bench/$benchmark" >"$work/$benchmark.out" 2>/dev/null
        cat "$work/$benchmark.out" >&2
        grep '^| ' "$work/$benchmark.out" >>"$rows"
    done

    # A flood of chat lines into the real window on the display: with no
    # session bus (no screen reader), then with a screen reader's bus active.
    env -u DBUS_SESSION_BUS_ADDRESS "$build/bench/bench_flood" >"$work/flood.out" 2>/dev/null
    "$here/bench/flood_with_screen_reader.py" "$build/bench/bench_flood" \
        >>"$work/flood.out" 2>"$work/flood-atspi.err"
    grep -v 'fd limit' "$work/flood-atspi.err" >&2 || true
    cat "$work/flood.out" >&2
    grep '^| ' "$work/flood.out" >>"$rows"

    # The program runs from a folder of its own, so it starts with no data
    # files, as on a first start.
    mkdir "$work/program"
    cp "$build/Vesmar" "$work/program/Vesmar"
    # One start of each first, not counted: the first start after the other
    # benchmarks reads the libraries back from disk, which is no cost of
    # either program.
    "$build/bench/startup_probe" 1 0 "$build/bench/bare_window" >/dev/null 2>&1 || true
    "$build/bench/startup_probe" 1 0 "$work/program/Vesmar" >/dev/null 2>&1 || true
    rm -f "$work/program/ListCorr.dat" "$work/program/Vesmar.ini"
    for run in $(seq "$RUNS"); do
        for who in bare program; do
            if [[ $who == bare ]]; then
                command=("$build/bench/bare_window")
            else
                command=("$work/program/Vesmar")
            fi
            line=$("$build/bench/startup_probe" "$SETTLE" "$IDLE" "${command[@]}" 2>/dev/null)
            echo "run $run $who: $line" >&2
            echo "$who $line" >>"$work/startup"
        done
    done
    # Short runs for the start-up figures alone: each program is ended as soon
    # as its window is mapped.
    for run in $(seq "$STARTS"); do
        for who in bare program; do
            if [[ $who == bare ]]; then
                command=("$build/bench/bare_window")
            else
                command=("$work/program/Vesmar")
            fi
            line=$("$build/bench/startup_probe" 0 0 "${command[@]}" 2>/dev/null)
            echo "start $run $who: $line" >&2
            echo "$who $(cut -d' ' -f1-2 <<<"$line")" >>"$work/startup"
        done
    done
    awk -v runs="$RUNS" -v idle="$IDLE" '
        function median(list, n,    i, j, t) {
            for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++)
                if (list[j] < list[i]) { t = list[i]; list[i] = list[j]; list[j] = t }
            return list[int((n + 1) / 2)]
        }
        {
            who = $1
            for (f = 2; f <= NF; f++) {
                split($f, kv, "=")
                n[who, kv[1]]++
                v[who, kv[1], n[who, kv[1]]] = kv[2]
            }
        }
        function row(name, key, unit, goal,    p, b, i, c, r) {
            for (i = 1; i <= n["program", key]; i++) p[i] = v["program", key, i]
            for (i = 1; i <= n["bare", key]; i++) b[i] = v["bare", key, i]
            pm = median(p, n["program", key]); bm = median(b, n["bare", key])
            r = bm > 0 ? pm / bm : (pm > 0 ? 99 : 1)
            if (goal == "") {
                printf "| %s: program %s%s, bare window %s%s | %.2fx | (shown beside) | - |\n",
                    name, pm, unit, bm, unit, r
                return
            }
            printf "| %s: program %s%s, bare window %s%s | %.2fx | <= %sx | %s |\n",
                name, pm, unit, bm, unit, r, goal, (r <= goal ? "yes" : "NO")
        }
        END {
            row("start-up, exec to window mapped", "startup_ms", " ms", 1.2)
            # Beside the start-up time, without a goal of its own: the steadier
            # figure of the same start.
            row("processor time until the window is mapped", "startup_cpu_ms", " ms", "")
            row("resident memory after start", "rss_mb", " MB", 1.15)
            row("processor time while idle", "idle_cpu_s_per_min", " s/min", 1.5)
        }' "$work/startup" >>"$rows"
    exit 0
fi

build=$(realpath -m "${1:-$here/build-bench}")
if [[ $(id -u) != 0 ]]; then
    echo "run-all.sh needs root for its network namespace (the program binds UDP port 333)" >&2
    exit 1
fi
generator=()
if [[ ! -f $build/CMakeCache.txt ]] && command -v ninja >/dev/null; then
    generator=(-G Ninja)
fi
cmake -S "$here" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DVESMAR_TESTS=OFF \
    >/dev/null
cmake --build "$build" -j2 >/dev/null
if [[ ! -x $build/bench/startup_probe ]]; then
    echo "startup_probe was not built: install libxcb1-dev (tools/install-deps.sh)" >&2
    exit 1
fi

namespace=vesmar-bench-$$
rows=$(mktemp)
ip netns add "$namespace"
trap 'ip netns delete "$namespace" 2>/dev/null || true; rm -f "$rows"' EXIT
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg) at the start" >&2
RUNS=$RUNS STARTS=$STARTS SETTLE=$SETTLE IDLE=$IDLE \
    ip netns exec "$namespace" "$0" --inside "$build" "$rows"

echo
echo "| figure | value | goal | held |"
echo "|---|---|---|---|"
cat "$rows"
echo "(load $(cut -d' ' -f1-3 /proc/loadavg) at the end; $RUNS alternating full runs and" \
    "$STARTS start-ups after an uncounted one, memory at ${SETTLE} s, idle processor time over" \
    "${IDLE} s; a tray watcher on the session bus)"
