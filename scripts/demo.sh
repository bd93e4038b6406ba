#!/usr/bin/env bash
# Builds the module and the stand-in host, then runs the bundled default scene.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh demo
cmake --preset default >/dev/null
cmake --build --preset default --target tarrow-host Tarrow_plus
host=build/default/bin/tarrow-host
if [ -f examples/tail.json ] && "$host" run --help >/dev/null 2>&1; then
  "$host" run examples/tail.json --out out/tail
  echo
  echo "OBJ frames and the preview picture are in out/tail/ (preview.png shows the lag at a glance)."
else
  "$host" info build/default/bin/Tarrow_plus.p
fi
