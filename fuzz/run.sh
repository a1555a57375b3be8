#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for the given number of seconds
# (default 20), starting from the committed seed corpus. New inputs go to a
# scratch folder, never into the corpus; a finding stops the run with the
# crashing input left in build-fuzz/findings/.
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

cmake --preset fuzz >/dev/null         # build-fuzz/ with clang++, see CMakePresets.json
cmake --build --preset fuzz --parallel "$(nproc)" --target "${targets[@]}"

mkdir -p build-fuzz/findings
for target in "${targets[@]}"; do
    seeds="fuzz/corpus/${target#fuzz_}"
    scratch="$(mktemp -d)"
    echo "== $target: ${seconds} s"
    set +e
    build-fuzz/fuzz/"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix=build-fuzz/findings/"$target"- \
        "$scratch" "$seeds" 2>&1 | grep -E "^(#[0-9]+ +DONE|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written)" 
    status=${PIPESTATUS[0]}
    set -e
    rm -rf "$scratch"
    if [ "$status" -ne 0 ]; then
        echo "$target: finding (exit $status), see build-fuzz/findings/"
        exit 1
    fi
done
