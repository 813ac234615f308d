#!/bin/sh
# Fails, naming the files, when a C++ file of the tree is not formatted as
# .clang-format says (make format mends it).
#   check-format.sh [SOURCE_DIR]
set -eu
if ! command -v clang-format >/dev/null 2>&1; then
    echo "skipped: clang-format is not installed (scripts/setup.sh unit installs it, as root)"
    exit 77
fi
cd "${1:-$(dirname "$0")/..}"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    files=$(git ls-files '*.cpp' '*.h')
else
    files=$(find . -name build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
# One run for all; only when it fails, one per file to name them.
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files >/dev/null 2>&1 && { echo "check-format: every C++ file is formatted"; exit 0; }
unformatted=""
for f in $files; do
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || unformatted="$unformatted $f"
done
if [ -n "$unformatted" ]; then
    echo "not formatted (run make format):$unformatted" >&2
    exit 1
fi
