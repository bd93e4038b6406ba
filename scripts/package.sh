#!/usr/bin/env bash
# Builds the 64-bit Windows plug-in and its release package, Tarrow_plus-<version>-win64.zip:
# the plug-in, the guides with their pictures, the licence and the changelog.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh all
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target Tarrow_plus
(cd build/win64 && cpack --config CPackConfig.cmake >/dev/null)
ls build/win64/package/Tarrow_plus-*-win64.zip
