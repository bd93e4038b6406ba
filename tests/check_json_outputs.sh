#!/bin/sh
# The OBJ frames of every JSON example and of the test scenes listed in
# tests/fixtures/json_outputs.sha256, byte for byte as the host wrote them when the list was made:
# a change to how the host keeps or evaluates motion must not move a point by one bit. Fails on
# a digest that differs, a frame missing or one too many, and an example the list leaves out.
# Usage: check_json_outputs.sh HOST_PROGRAM [SOURCE_DIR]
#        check_json_outputs.sh --write HOST_PROGRAM [SOURCE_DIR] > tests/fixtures/json_outputs.sha256
# (--write lists the scenes already in the list, and every example, from what HOST writes now.)
set -eu
export LC_ALL=C
write=0
if [ "${1:-}" = "--write" ]; then write=1; shift; fi
[ $# -ge 1 ] || { echo "usage: $0 [--write] HOST_PROGRAM [SOURCE_DIR]" >&2; exit 2; }
host=$(realpath "$1")
cd "${2:-$(dirname "$0")/..}"
list=tests/fixtures/json_outputs.sha256
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The scenes: those the list names, then any example it does not.
scenes=$( (sed -n 's/^[0-9a-f]\{64\}  \([^ ]*\)  .*/\1/p' "$list"; ls examples/*.json) | awk '!seen[$0]++')
for scene in $scenes; do
  out="$work/$(echo "$scene" | tr '/' '_')"
  if ! "$host" run "$scene" --out "$out" --no-preview --quiet >"$work/run.txt" 2>&1; then
    echo "json_outputs: $scene: the run failed: $(cat "$work/run.txt")" >&2
    exit 1
  fi
  for frame in $(cd "$out" && ls); do
    echo "$(sha256sum <"$out/$frame" | cut -c1-64)  $scene  $frame"
  done
done >"$work/now.sha256"

if [ $write -eq 1 ]; then
  cat "$work/now.sha256"
  exit 0
fi
if ! diff "$list" "$work/now.sha256" >"$work/diff.txt"; then
  sed -n 's/^</  was:/p; s/^>/  now:/p' "$work/diff.txt" | head -20 >&2
  echo "json_outputs: $(grep -c '^[<>]' "$work/diff.txt") line(s) differ from $list" >&2
  exit 1
fi
echo "json_outputs: $(wc -l <"$list") frames as before"
