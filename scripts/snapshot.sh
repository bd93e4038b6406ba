#!/bin/sh
# Everything the stand-in host writes for the bundled examples, in one folder, so that two builds
# can be compared byte for byte (diff -r) before and after a change that must not change output:
# each example's OBJ frames, pictures and saved scene, the saved scene run again, the panel in
# both languages with and without a press, and `info`. Paths in printed text become OUT and
# HOSTDIR. Usage: scripts/snapshot.sh HOST_PROGRAM OUT_DIR
set -u
[ $# -eq 2 ] || { echo "usage: $0 HOST_PROGRAM OUT_DIR" >&2; exit 2; }
host=$(realpath "$1")
mkdir -p "$2" && out=$(realpath "$2") && rm -rf "${out:?}"/*
cd "$(dirname "$0")/.."
for example in tail gradient body-tail rope; do
  "$host" run examples/$example.json --out "$out/$example" --save-scene "$out/$example.saved.json" --quiet \
    >"$out/$example.run.txt" 2>&1
  echo "status $?" >>"$out/$example.run.txt"
  "$host" run "$out/$example.saved.json" --out "$out/$example.again" --no-preview --quiet >/dev/null 2>&1
done
for locale in ja en; do
  "$host" panel examples/tail.json --object Tail --locale $locale >"$out/panel.$locale.txt" 2>&1
  echo "status $?" >>"$out/panel.$locale.txt"
  "$host" panel examples/tail.json --object Tail --locale $locale --press "Edit Node" >"$out/press.$locale.txt" 2>&1
  echo "status $?" >>"$out/press.$locale.txt"
done
"$host" info >"$out/info.txt" 2>&1
echo "status $?" >>"$out/info.txt"
for text in "$out"/*.txt; do
  sed -i "s|$out|OUT|g;s|$(dirname "$host")|HOSTDIR|g" "$text"
done
echo "snapshot of $(basename "$host") in $out"
