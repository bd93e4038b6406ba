#!/usr/bin/env bash
# Builds everything from scratch and runs every test: Linux, ASan+UBSan, TSan, the fuzzer for a
# short while, and the 64-bit Windows build under Wine.
# Usage: scripts/test.sh [stage ...]   stages: default asan tsan win64 fuzz (all by default)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh all

export WINEDEBUG=-all
stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=(default asan tsan win64 fuzz)
jobs=$(nproc)
summary=()

run_ctest() {
  local preset=$1
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j 1
}

for stage in "${stages[@]}"; do
  echo "=== $stage ==="
  case "$stage" in
    default|asan|tsan|win64)
      if [ "$stage" = win64 ]; then
        # The first Wine start builds its prefix; do it before the timed tests.
        /usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1 || true
      fi
      run_ctest "$stage"
      ;;
    fuzz)
      cmake --preset fuzz >/dev/null
      cmake --build --preset fuzz -j "$jobs"
      for fuzzer in build/fuzz/bin/*_fuzzer; do
        [ -x "$fuzzer" ] || continue
        name=$(basename "$fuzzer")
        corpus=$(mktemp -d)
        seeds="fuzz/corpus/${name%_fuzzer}"
        [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
        "$fuzzer" -max_total_time="${FUZZ_SECONDS:-60}" -rss_limit_mb=2048 "$corpus"
        rm -rf "$corpus"
      done
      ;;
    *) echo "unknown stage: $stage" >&2; exit 2 ;;
  esac
  summary+=("$stage")
done
echo "All stages passed: ${summary[*]}"
