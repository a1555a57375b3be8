#!/usr/bin/env bash
# Installs what is missing, builds the debug program and tests with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test; then,
# where clang is installed, runs every fuzz target for a short while.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake --preset sanitize >/dev/null     # build-test/, see CMakePresets.json
cmake --build --preset sanitize --parallel "$(nproc)"
ctest --preset sanitize
if command -v clang++ >/dev/null; then
    fuzz/run.sh 20
fi
