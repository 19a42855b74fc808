#!/usr/bin/env bash
# Checks the habits of the sources: formatting (clang-format, .clang-format) and lint (clang-tidy,
# .clang-tidy). Run it before landing on the files you touched; scripts/test.sh runs both over
# everything.
# Usage: scripts/check.sh [--format-only] [FILE ...]
#        (no files: every C++ source and header in the repository)
# Any finding fails. The compile commands clang-tidy needs come from build-check/ (configured
# here, nothing is compiled).
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in clang-format-14 clang-tidy-14 run-clang-tidy-14; do
    command -v "$tool" >/dev/null || {
        echo "check.sh: $tool missing (Debian packages clang-format and clang-tidy)" >&2
        exit 2
    }
done

format_only=0
if [ "${1:-}" = --format-only ]; then
    format_only=1
    shift
fi
if [ $# -gt 0 ]; then
    files=("$@")
else
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
fi
sources=()
for file in "${files[@]}"; do
    [[ "$file" == *.cpp ]] && sources+=("$file")
done

failed=0
echo "check.sh: formatting of ${#files[@]} files"
clang-format-14 --dry-run -Werror "${files[@]}" || failed=1

if [ $format_only -eq 1 ] || [ ${#sources[@]} -eq 0 ]; then
    exit $failed
fi
echo "check.sh: clang-tidy over ${#sources[@]} sources"
cmake --preset check >/dev/null
# run-clang-tidy takes regular expressions; each source becomes one that matches only itself.
patterns=()
for source in "${sources[@]}"; do
    patterns+=("$PWD/$(printf '%s' "$source" | sed 's/[][\.*^$+?(){}|]/\\&/g')\$")
done
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! run-clang-tidy-14 -p build-check -j "$(nproc)" -quiet "${patterns[@]}" >"$log" 2>&1; then
    # Only the findings, without colour codes: the progress lines say nothing here.
    sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -E '(warning|error|note):' -A2 || cat "$log"
    echo "check.sh: clang-tidy found the problems above" >&2
    failed=1
fi
[ $failed -eq 0 ] && echo "check.sh: clean"
exit $failed
