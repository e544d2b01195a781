#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for SECONDS (default
# 60), starting from tests/fuzz/corpus (replies of the simulated logger and
# files of the program's own writers), plus the inputs of earlier findings.
set -e
cd "$(dirname "$0")/.."
seconds=${1:-60}
sh scripts/deps.sh --fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DLX300_FUZZ=ON \
    -DLX300_SANITIZE=address -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz
corpus=build-fuzz/corpus
rm -rf "$corpus" && cp -r tests/fuzz/corpus "$corpus" # the fuzzers add to their first folder
for target in receive readers; do
    mkdir -p "$corpus/$target" "tests/fuzz/regressions/$target"
    echo "== fuzz_$target for $seconds s"
    status=0
    ./build-fuzz/tests/fuzz/fuzz_$target -max_total_time="$seconds" -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="build-fuzz/finding-$target-" \
        "$corpus/$target" "tests/fuzz/regressions/$target" > "build-fuzz/fuzz_$target.log" 2>&1 ||
        status=$?
    tail -12 "build-fuzz/fuzz_$target.log"
    if [ "$status" -ne 0 ]; then
        echo "fuzz_$target found a failing input (see build-fuzz/finding-$target-*)"
        exit 1
    fi
done
