#!/usr/bin/env bash
# Formats Corvane's C++ and Objective-C++ sources with clang-format (the root's .clang-format).
#   scripts/format.sh           rewrite the files in place
#   scripts/format.sh --check   change nothing; list the files that differ and fail if any do
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.mm')
if [[ "${1:-}" == "--check" ]]; then
    if ! clang-format --dry-run -Werror "${files[@]}" 2>/tmp/corvane-format.$$; then
        grep -o '^[^:]*\.\(cpp\|h\|mm\)' /tmp/corvane-format.$$ | sort -u | sed 's/^/not formatted: /'
        rm -f /tmp/corvane-format.$$
        echo "Run scripts/format.sh to format them."
        exit 1
    fi
    rm -f /tmp/corvane-format.$$
    echo "Formatting: ${#files[@]} files as clang-format writes them."
else
    clang-format -i "${files[@]}"
fi
