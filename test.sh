#!/usr/bin/env bash
# Installs what is missing, builds the debug program and tests with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test; then,
# where clang is installed, runs every fuzz target for a short while.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DVESMAR_SANITIZE=ON >/dev/null
cmake --build build-test --parallel "$(nproc)"
(cd build-test && ctest --output-on-failure --timeout 600)
if command -v clang++ >/dev/null; then
    fuzz/run.sh 20
fi
