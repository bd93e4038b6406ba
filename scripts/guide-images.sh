#!/usr/bin/env bash
# Makes the pictures of the guides and the README (docs/images/) with the stand-in host, from the
# bundled examples and from variants of them set up through the deformer's panel, as an artist
# would. Run it again after a change to what the deformer or the pictures show, then commit
# docs/images/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh demo
cmake --preset default >/dev/null
cmake --build --preset default --target tarrow-host Tarrow_plus >/dev/null
host=build/default/bin/tarrow-host
images=docs/images
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$images"

# run SCENE NAME KIND...: runs the scene; copies its preview.KIND to docs/images/NAME.KIND.
run() {
  local scene=$1 name=$2
  shift 2
  "$host" run "$scene" --out "$work/$name" --quiet >/dev/null
  for kind in "$@"; do cp "$work/$name/preview.$kind" "$images/$name.$kind"; done
}

# variant NAME PANEL-ARGUMENTS...: the tail with its panel set otherwise; the still picture.
variant() {
  local name=$1
  shift
  "$host" panel examples/tail.json --object Tail --locale en "$@" --save-scene "$work/$name.json" >/dev/null
  run "$work/$name.json" "$name" png
}

run examples/tail.json tail png gif
variant lag-rate-0.05 --set "Lag Rate (s/m)=0.05"
variant lag-rate-0.3 --set "Lag Rate (s/m)=0.3"
variant no-weight-map --set "Weight Map=0"
run examples/gradient.json gradient png gif
run examples/body-tail.json body-tail png
run examples/rope.json rope png

du -ch "$images"/* | sed 's/^/  /'
echo "Pictures written to $images/."
