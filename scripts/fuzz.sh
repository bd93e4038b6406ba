#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz") and runs each in turn for SECONDS (default 600),
# from its seed corpus in fuzz/corpus/NAME and the corpus earlier runs grew in
# build/fuzz/corpus/NAME, with fuzz/dict/NAME.dict and the flags in fuzz/flags/NAME.flags where
# they exist. Prints, per fuzzer, the number of runs, runs per second (of the time it ran and
# of the processor time it had, start-up included) and whether it found anything; what it
# found is kept in build/fuzz/findings/NAME and its log in build/fuzz/logs/NAME.log.
# Exits 1 when any fuzzer found something.
# Usage: scripts/fuzz.sh [SECONDS] [NAME ...]   (NAME without _fuzzer; all by default)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
[ $# -gt 0 ] && shift
case "$seconds" in
  ''|*[!0-9]*) echo "usage: $0 [SECONDS] [NAME ...]" >&2; exit 2 ;;
esac
scripts/deps.sh all

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for fuzzer in build/fuzz/bin/*_fuzzer; do
    [ -x "$fuzzer" ] && names+=("$(basename "${fuzzer%_fuzzer}")")
  done
fi

results=()
found=0
for name in "${names[@]}"; do
  fuzzer=build/fuzz/bin/${name}_fuzzer
  [ -x "$fuzzer" ] || { echo "no fuzzer $fuzzer" >&2; exit 2; }
  corpus=build/fuzz/corpus/$name
  findings=build/fuzz/findings/$name
  log=build/fuzz/logs/$name.log
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  options=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=60 -print_final_stats=1
           -artifact_prefix="$findings/")
  [ -f "fuzz/dict/$name.dict" ] && options+=(-dict="fuzz/dict/$name.dict")
  if [ -f "fuzz/flags/$name.flags" ]; then
    while read -r flag; do
      case "$flag" in ''|'#'*) ;; *) options+=("$flag") ;; esac
    done < "fuzz/flags/$name.flags"
  fi
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")

  echo "=== ${name}_fuzzer: $seconds s ==="
  stamp=$(mktemp)
  status=0
  timing=$(mktemp)
  TIMEFORMAT='%R %U %S'
  { time "$fuzzer" "${options[@]}" "$corpus" "${seeds[@]}" >"$log" 2>&1; } 2>"$timing" || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  # Per second of the time it ran, and per second of processor time it had (user and system):
  # on a shared machine the second is the one that compares.
  rate=$(awk -v runs="${runs:-0}" '{printf "%.0f runs/s, %.0f per CPU-s", ($1 > 0 ? runs / $1 : 0),
                                    ($2 + $3 > 0 ? runs / ($2 + $3) : 0)}' "$timing")
  rm -f "$timing"
  # libFuzzer names what it keeps by kind: crash-, leak-, timeout-, oom-.
  new=$(find "$findings" -type f -newer "$stamp" ! -name 'slow-unit-*' -printf '%f\n' | sed 's/-.*//' | sort -u | paste -sd, -)
  rm -f "$stamp"
  if [ "$status" -eq 0 ] && [ -z "$new" ]; then
    verdict="no crash, no leak"
  elif [ -z "$new" ] && grep -q 'libFuzzer: run interrupted' "$log"; then
    found=1
    verdict="INTERRUPTED by a signal before its time was up: no crash, no leak until then"
  else
    found=1
    verdict="FOUND ${new:-a fault} (exit status $status): see $log and $findings"
    grep -E '^(==[0-9]+== ?ERROR|SUMMARY|broken:)' "$log" | head -n 5 | sed 's/^/    /' || true
  fi
  results+=("$(printf '%-22s %10s runs in %s s (%s): %s' "${name}_fuzzer" "${runs:-?}" "$seconds" "$rate" \
    "$verdict")")
  echo "${results[-1]}"
done

echo "=== fuzzing summary ==="
printf '%s\n' "${results[@]}"
exit "$found"
