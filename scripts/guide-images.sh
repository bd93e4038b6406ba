#!/usr/bin/env bash
# Makes the pictures of the guides and the README with the stand-in host, from the bundled examples
# and from variants of them set up through the deformer's panel, as an artist would: English labels
# in docs/images/ (the English guide and the README), Japanese ones in docs/images/ja/ (the Japanese
# guide). Run it again after a change to what the deformer or the pictures show, then commit
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
mkdir -p "$images/ja"

# run SCENE NAME KIND...: runs the scene; copies its preview.KIND to docs/images/NAME.KIND, and
# the same with Japanese labels to docs/images/ja/NAME.KIND.
run() {
  local scene=$1 name=$2
  shift 2
  "$host" run "$scene" --out "$work/$name" --locale en --quiet >/dev/null
  "$host" run "$scene" --out "$work/ja/$name" --locale ja --quiet >/dev/null
  for kind in "$@"; do
    cp "$work/$name/preview.$kind" "$images/$name.$kind"
    cp "$work/ja/$name/preview.$kind" "$images/ja/$name.$kind"
  done
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
run examples/turned-body.json turned-body png
run examples/car-local.json car-local png
"$host" panel examples/car-local.json --object Tail --locale en --set "Local Pivot=off" \
  --save-scene "$work/car-local-world.json" >/dev/null
run "$work/car-local-world.json" car-local-world png

du -ch "$images"/*.* "$images"/ja/* | sed 's/^/  /'
echo "Pictures written to $images/."
