#!/usr/bin/env bash
# Installs what is missing, builds the release program into build/, lets it
# use UDP ports 333 and 334 and starts it.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh run
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
cmake --workflow --preset program      # build/, see CMakePresets.json
tools/grant-port.sh build/Vesmar || echo "Could not grant the port right; the program will say so."
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting Vesmar on a virtual X display (Xvfb)."
    exec xvfb-run -a -s "-screen 0 1024x768x24" build/Vesmar
fi
exec build/Vesmar
