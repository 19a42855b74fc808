#!/usr/bin/env bash
# The everyday test command, after each change: installs what is missing, checks formatting,
# builds incrementally into build-quick/ with warnings as errors under AddressSanitizer and
# UndefinedBehaviorSanitizer (through ccache when it is installed), runs clang-tidy on the files
# that are compiled (so only on what the change rebuilt), and runs every test but the slow ones
# (installing and packaging, the keyring's session bus). ThreadSanitizer and the whole clang-tidy
# pass are left to scripts/test.sh, which CI runs.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
scripts/check.sh --format-only

cmake --preset quick >/dev/null
cmake --build --preset quick

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
ctest --preset quick -j "$(nproc)"
