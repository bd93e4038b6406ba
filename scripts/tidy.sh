#!/bin/sh
# Runs clang-tidy with the tree's .clang-tidy over the project's own sources, using the default
# build's compile commands. Usage: scripts/tidy.sh [FILE...]
set -eu
cd "$(dirname "$0")/.."
[ -f build/default/compile_commands.json ] || cmake --preset default >/dev/null
if [ $# -eq 0 ]; then
  set -- $(git ls-files 'common/*.cpp' 'instance/*.cpp' 'deform/*.cpp' 'ui/*.cpp' 'module/*.cpp' 'host/*.cpp' 'tools/*.cpp')
fi
# The build's GCC-only flags mean nothing to clang-tidy.
clang-tidy -p build/default --quiet --extra-arg=-Wno-unknown-warning-option "$@"
