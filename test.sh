#!/usr/bin/env bash
# Installs what is missing, builds the debug program and tests with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DVESMAR_SANITIZE=ON >/dev/null
cmake --build build-test --parallel "$(nproc)"
cd build-test
ctest --output-on-failure --timeout 300
