#!/usr/bin/env bash
# What the pictures cost on a big mesh: runs a generated cloth of 448 x 448 points (200,704) over
# 61 frames with and without previews, in the same session, and prints the time and peak memory
# of each and their ratio (RUNS=N runs each way, the least of each counted). Goal: previews add at
# most 25 % to the time and 50 % to the memory.
# Usage: scripts/preview-cost.sh [HOST]   (default: build/default/bin/tarrow-host, built first)
set -euo pipefail
cd "$(dirname "$0")/.."
host=${1:-}
if [ -z "$host" ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default --target tarrow-host Tarrow_plus >/dev/null
  host=build/default/bin/tarrow-host
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The cloth hangs in the x-y plane from its top edge, 8 m wide; a null "Hand" carries it across and
# is the deformer's pivot, so the cloth trails it.
side=448
awk -v n="$side" 'BEGIN {
  for (j = 0; j < n; j++) for (i = 0; i < n; i++) printf "v %.5f %.5f 0\n", 8 * i / (n - 1) - 4, -8 * j / (n - 1)
  for (j = 0; j < n - 1; j++) for (i = 0; i < n - 1; i++) {
    a = j * n + i + 1
    printf "f %d %d %d %d\n", a, a + 1, a + n + 1, a + n
  }
}' >"$work/cloth.obj"
cat >"$work/cloth.json" <<'EOF'
{"fps": 30, "frames": [0, 60], "items": [
  {"name": "Hand", "type": "object",
   "motion": [{"time": 0, "position": [-6, 4, 0]}, {"time": 1, "position": [0, 5, 3], "rotation": [60, 0, 0]},
              {"time": 2, "position": [6, 4, 0], "rotation": [0, 0, 0]}]},
  {"name": "Cloth", "type": "object", "parent": "Hand", "mesh": "cloth.obj",
   "deformers": [{"server": "Tarrow_plus", "state": "{ Version 1 }\n{ LagRate 0.08 }\n{ PivotItem 1 10000000 }\n"}]}]}
EOF

# measure LABEL ARGS...: one run; keeps the least elapsed and processor seconds and peak kilobytes
# of LABEL's runs so far (the least is the run the other work of the machine disturbed least).
measure() {
  local label=${1//-/_}
  shift
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$host" run "$work/cloth.json" --out "$work/$label" \
    --quiet "$@" >/dev/null
  read -r seconds user system kilobytes <"$work/time"
  local best
  best=$(awk -v e="$seconds" -v c="$(awk -v u="$user" -v s="$system" 'BEGIN {print u + s}')" -v k="$kilobytes" \
    -v old="${!label:-}" 'BEGIN {
      if (old != "") { split(old, o, " "); if (o[1] < e) e = o[1]; if (o[2] < c) c = o[2]; if (o[3] < k) k = o[3] }
      print e, c, k }')
  printf -v "$label" '%s' "$best"
}
# Runs each way RUNS times (default 3), alternating, so that both meet the same load.
for ((i = 0; i < ${RUNS:-3}; i++)); do
  measure no-preview --no-preview
  measure preview
done
for label in no_preview preview; do
  read -r e c k <<<"${!label}"
  printf '%-12s %7.2f s elapsed %7.2f s processor %8d kB   (least of %d runs)\n' "${label//_/-}" "$e" "$c" "$k" "${RUNS:-3}"
done
awk -v a="$no_preview" -v b="$preview" 'BEGIN {
  split(a, x, " "); split(b, y, " ")
  printf "previews add %+.0f %% elapsed, %+.0f %% processor time (goal <= 25 %%), %+.0f %% peak memory (goal <= 50 %%)\n",
    100 * (y[1] / x[1] - 1), 100 * (y[2] / x[2] - 1), 100 * (y[3] / x[3] - 1)
}'
