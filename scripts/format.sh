#!/bin/sh
# Lays out every C++ file of the tree with clang-format and the tree's .clang-format (the
# generated host layout table excepted). ctest `format` fails on what this would change.
set -eu
cd "$(dirname "$0")/.."
git ls-files '*.h' '*.cpp' '*.inc' | grep -v '^tests/unit/host_layout_table\.inc$' | xargs clang-format -i --style=file
