#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for the given number of seconds
# (default 20), starting from the committed seed corpus, as the CTest tests
# with the label fuzz (fuzz/CMakeLists.txt, fuzz/RunFuzzer.cmake). New inputs
# go to a scratch folder, never into the corpus; a finding fails its test
# with the crashing input left in build-fuzz/findings/.
#
#   fuzz/run.sh           a short run of every target, as ./test.sh does
#   fuzz/run.sh 600       ten minutes each
#   fuzz/run.sh 60 fuzz_receive   one target
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_receive fuzz_settings_file fuzz_directory_file fuzz_code_page)
fi
case "$seconds" in
    '' | *[!0-9]* | 0*) echo "usage: $0 [seconds] [target...]" >&2; exit 2 ;;
esac

cmake --preset fuzz >/dev/null         # build-fuzz/ with clang++, see CMakePresets.json
cmake --build --preset fuzz --parallel "$(nproc)" --target "${targets[@]}"
names=$(IFS='|'; echo "${targets[*]}")
VESMAR_FUZZ_SECONDS="$seconds" ctest --preset fuzz --timeout $((seconds + 300)) \
    -R "^(${names})\$"
