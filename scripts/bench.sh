#!/usr/bin/env bash
# Runs the benchmarks and prints the per-point cost of the module's evaluate against the floor
# (the four host queries of the delayed frame and the arithmetic), measured in the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh demo
cmake --preset default >/dev/null
cmake --build --preset default --target tarrow_bench Tarrow_plus
out=$(mktemp)
build/default/bin/tarrow_bench --benchmark_repetitions="${REPETITIONS:-5}" \
  --benchmark_report_aggregates_only=true "$@" | tee "$out"
awk '/^BM_Evaluate_median/ {for (i = 1; i <= NF; i++) if ($i ~ /^ns_per_point=/) e = substr($i, 14)}
     /^BM_Floor_median/    {for (i = 1; i <= NF; i++) if ($i ~ /^ns_per_point=/) f = substr($i, 14)}
     END {if (e != "" && f != "") printf "BM_Evaluate / BM_Floor (medians, ns per point): %s / %s = %.2f (goal <= 1.25)\n", e, f, e / f}' "$out"
rm -f "$out"
