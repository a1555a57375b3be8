#!/usr/bin/env bash
# Installs what is missing, builds the release program into build/, lets it
# use UDP port 333 and starts it.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVESMAR_TESTS=OFF -DVESMAR_BENCH=OFF >/dev/null
cmake --build build --parallel "$(nproc)"
tools/grant-port.sh build/Vesmar || echo "Could not grant the port right; the program will say so."
exec build/Vesmar
