#!/usr/bin/env bash
# A fuzzing campaign: builds the fuzz targets of tests/fuzz/ with clang as libFuzzer programs
# (AddressSanitizer and UndefinedBehaviorSanitizer on) into build-fuzz/ and runs each for SECONDS
# (default 60), starting from the corpus in the repository. New inputs go to
# build-fuzz/corpus/<target>/, findings to build-fuzz/findings/; copy a finding into
# tests/fuzz/corpus/ once it is mended, so every test run replays it.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

scripts/install-deps.sh fuzz
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVL_FUZZ=ON -DVL_SANITIZE=ON -DVL_BUILD_TESTS=ON -DVL_BUILD_BENCH=OFF >/dev/null
targets=(FuzzResponse FuzzUrl FuzzCharsets FuzzAnswerBlob)
cmake --build build-fuzz --target "${targets[@]}"

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
mkdir -p build-fuzz/findings
status=0
for target in "${targets[@]}"; do
    mkdir -p "build-fuzz/corpus/$target"
    echo "== $target for ${seconds}s"
    "build-fuzz/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
        -artifact_prefix="build-fuzz/findings/$target-" \
        "build-fuzz/corpus/$target" tests/fuzz/corpus || status=1
done
exit $status
