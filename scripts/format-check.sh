#!/bin/sh
# Checks that every C++ file git tracks follows the declared .clang-format;
# lists those that do not and exits 1. Fix them with: clang-format -i FILE
set -eu
cd "$(dirname "$0")/.."

off=$(git ls-files '*.cpp' '*.h' | while read -r f; do
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || echo "$f"
done)
if [ -n "$off" ]; then
    echo "format-check: these files differ from .clang-format (clang-format -i them):" >&2
    echo "$off" >&2
    exit 1
fi
echo "format-check: every C++ file follows .clang-format"
