#!/usr/bin/env bash
# Builds the module and the stand-in host, then runs the bundled default scene.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh demo
cmake --preset default >/dev/null
cmake --build --preset default --target tarrow-host Tarrow_plus
build/default/bin/tarrow-host run examples/tail.json --out out/tail
echo
echo "The deformed OBJ frames are out/tail/Tail_0000.obj ... Tail_0090.obj;"
echo "out/tail/preview.png shows the tail trailing its moving, turning pivot; out/tail/preview.gif"
echo "shows it frame by frame."
