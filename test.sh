#!/usr/bin/env bash
# Installs what is missing, builds the debug program and tests with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test, label
# by label (unit, window, e2e); then, where clang is installed, builds the
# fuzz targets and runs each for a short while (label fuzz). Both are
# workflow presets of CMakePresets.json (sanitize, fuzz); a failing step
# stops the run.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh test
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
cmake --workflow --preset sanitize     # build-test/
if command -v clang++ >/dev/null; then
    cmake --workflow --preset fuzz     # build-fuzz/
fi
