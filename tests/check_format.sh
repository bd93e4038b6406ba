#!/bin/sh
# Fails on any C++ file of the tree that clang-format (with the tree's .clang-format) would
# change, and lists them. Usage: check_format.sh [SOURCE_DIR]
set -eu
cd "${1:-$(dirname "$0")/..}"
command -v clang-format >/dev/null || { echo "format: clang-format is missing (scripts/deps.sh all installs it)" >&2; exit 1; }

# Generated from the host's interface document, row by row; see scripts/host-layout-table.py.
generated='tests/unit/host_layout_table.inc'

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  files=$(git ls-files -co --exclude-standard '*.h' '*.cpp' '*.inc')
else
  files=$(find . -path ./build -prune -o \( -name '*.h' -o -name '*.cpp' -o -name '*.inc' \) -print | sed 's|^\./||')
fi

files=$(for file in $files; do [ "$file" != "$generated" ] && [ -f "$file" ] && echo "$file"; done)
# One clang-format for the whole tree; it names each place it would change, and fails only when
# it cannot read a file or the layout.
report=$(clang-format --dry-run --style=file $files 2>&1) || { echo "$report" >&2; exit 1; }
unformatted=$(echo "$report" |
  sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning: code should be clang-formatted.*/\1/p' | sort -u)

if [ -n "$unformatted" ]; then
  echo "$unformatted" | sed 's/^/  /' >&2
  echo "format: $(echo "$unformatted" | wc -l) file(s) differ from clang-format; run scripts/format.sh" >&2
  exit 1
fi
echo "format: ok"
