#!/usr/bin/env bash
# The full test command (and CI; scripts/quick-test.sh is the everyday one): installs what is missing, checks formatting, checks that the program
# configures without any test library, runs clang-tidy over every source (scripts/check.sh),
# builds everything with warnings as errors under AddressSanitizer and UndefinedBehaviorSanitizer
# into build-test/ and runs every test, then runs the threaded tests again under ThreadSanitizer
# from build-tsan/. Any finding, warning or sanitizer report fails. The cheap checks come first;
# clang-tidy (several minutes) comes before the sanitizer build, so a finding fails early.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
scripts/check.sh --format-only

# The program alone needs neither GoogleTest, Google Benchmark nor Qt Test.
cmake --preset minimal >/dev/null

# clang-tidy over every source (the formatting check again with it takes seconds).
scripts/check.sh

cmake --preset test >/dev/null
cmake --build --preset test

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
(cd build-test && ctest --output-on-failure --timeout 600 -j "$(nproc)")

# The tests whose code runs on more than one thread, again under ThreadSanitizer. The window's
# tests are not among them: Qt is not built for ThreadSanitizer, so the hand-overs through its
# event queues and QtConcurrent's templates (compiled into our code) look raced; the recorder, the
# call tool's compressing thread and the network code use only the standard library's locks.
threaded=(test_transport test_http_request test_http_response test_http_headers test_http_charsets
    test_http_cookies test_tls test_history_store test_history_recorder test_history_schema
    test_answer_blob test_call_tool test_row_run)
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target "${threaded[@]}"
# Test servers are started as child processes after threads exist; Qt's own event loop (not
# its glib one) keeps the library threads that ThreadSanitizer cannot see to a minimum.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$PWD/tests/tsan.supp"
export QT_NO_GLIB=1
pattern=$(IFS='|'; echo "${threaded[*]}")
(cd build-tsan && ctest --output-on-failure --timeout 600 -j "$(nproc)" -L "^($pattern)\$")
