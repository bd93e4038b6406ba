#!/usr/bin/env bash
# Runs the benchmarks and prints the per-point cost of the module's evaluate against its floor
# (the four host queries of the delayed frame and the arithmetic; with node inputs, also a check
# and an evaluate of each of the three inputs), both timed in alternation in the same run: the
# median over the rounds of the ratio, and its spread (first to third quartile of the rounds).
# Then the load of a 200,000-point object with a weight map from a LightWave object file against
# the same mesh as OBJ with the weights in a JSON scene, also timed in alternation (median ratio
# and spread over the rounds), with the heap the object-file load takes beyond what it returns.
# Then the stand-in host's frame loop: its speed on linear keys; a pivot three items deep on TCB
# curves against the same on linear keys, and on 2 threads against 1, each pair timed in
# alternation frame by frame; and what the four codes a point asks of the host cost.
# Arguments go to the benchmark program (e.g. --benchmark_filter=OverFloor).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh demo
cmake --preset default >/dev/null
cmake --build --preset default --target tarrow_bench Tarrow_plus
out=$(mktemp)
trap 'rm -f "$out"' EXIT
build/default/bin/tarrow_bench --benchmark_repetitions="${REPETITIONS:-5}" \
  --benchmark_report_aggregates_only=true "$@" | tee "$out"
# The counters of the median row: the medians over the repetitions of each repetition's figure.
awk 'function counter(name,   i) {
       for (i = 1; i <= NF; i++) if (index($i, name "=") == 1) return substr($i, length(name) + 2)
       return ""
     }
     /^BM_EvaluateOverFloor[/_][^ ]*_median/         {line["evaluate"] = $0}
     /^BM_EvaluateNodesOverFloor[/_][^ ]*_median/    {line["nodes"] = $0}
     /^BM_FrameLoop\/1\/[^ ]*_median/                {line["loop"] = $0}
     /^BM_FrameLoopTcbOverLinear\/1\/[^ ]*_median/   {line["tcb1"] = $0}
     /^BM_FrameLoopTcbOverLinear\/2\/[^ ]*_median/   {line["tcb2"] = $0}
     /^BM_FrameLoopTwoThreadsOverOne[/_][^ ]*_median/ {line["threads"] = $0}
     /^BM_FourCodes\/0_median/                       {line["codes0"] = $0}
     /^BM_FourCodes\/1_median/                       {line["codes1"] = $0}
     /^BM_LwoLoadOverJson[/_][^ ]*_median/           {line["lwo"] = $0}
     END {
       split("evaluate nodes", order, " ")
       title["evaluate"] = "evaluate / floor            "
       title["nodes"]    = "evaluate (nodes) / its floor"
       goal["evaluate"] = " (goal <= 1.25)"
       for (k = 1; k <= 2; k++) {
         if (!(order[k] in line)) continue
         $0 = line[order[k]]
         printf "%s: %.3f, middle half of the rounds %.3f to %.3f (%s / %s ns per point)%s\n", title[order[k]],
                counter("ratio"), counter("ratio_q1"), counter("ratio_q3"), counter("path_ns"), counter("floor_ns"),
                goal[order[k]]
       }
       if ("loop" in line) {
         $0 = line["loop"]
         printf "frame loop, linear keys, 1 thread: %s points (goal >= 4.5M/s)\n", counter("items_per_second")
       }
       split("tcb1 tcb2 threads", order, " ")
       title["tcb1"]    = "frame loop, TCB / linear, 1 thread "
       title["tcb2"]    = "frame loop, TCB / linear, 2 threads"
       title["threads"] = "frame loop, 2 threads / 1 (TCB)   "
       goal["tcb1"] = goal["tcb2"] = " (goal >= 0.8)"
       goal["threads"] = " (goal >= 1.7)"
       for (k = 1; k <= 3; k++) {
         if (!(order[k] in line)) continue
         $0 = line[order[k]]
         printf "%s: %.3f, middle half of the rounds %.3f to %.3f (%s / %s M points/s)%s\n", title[order[k]],
                counter("ratio"), counter("ratio_q1"), counter("ratio_q3"), counter("second_Mpts"), counter("first_Mpts"),
                goal[order[k]]
       }
       if ("codes0" in line && "codes1" in line) {
         $0 = line["codes0"]; linear = $4 " " $5
         $0 = line["codes1"]; tcb = $4 " " $5
         printf "the four codes of a point, pivot three items deep: %s of processor time on linear keys, %s on TCB\n",
                linear, tcb
       }
       if ("lwo" in line) {
         $0 = line["lwo"]
         printf "lwo load / json load         : %.3f, middle half of the rounds %.3f to %.3f (%s / %s ms a load; %.3f against the mesh without weights) (goal <= 1.5)\n",
                counter("ratio"), counter("ratio_q1"), counter("ratio_q3"), counter("lwo_ms"), counter("json_ms"),
                counter("ratio_mesh_only")
         printf "lwo load heap beyond result  : %s MB, %.2f x the points own %s MB (goal <= 2; json load: %s MB)\n",
                counter("lwo_extra_MB"), counter("extra_over_points"), counter("points_MB"), counter("json_extra_MB")
       }
     }' "$out"
