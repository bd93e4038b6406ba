#!/usr/bin/env bash
# Builds everything from scratch and runs every test: Linux, ASan+UBSan, TSan, each fuzzer for a
# short while (FUZZ_SECONDS, 45 by default), and the 64-bit Windows build under Wine.
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
      # A short run of every fuzzer; scripts/fuzz.sh 600 is the long campaign.
      scripts/fuzz.sh "${FUZZ_SECONDS:-45}"
      ;;
    *) echo "unknown stage: $stage" >&2; exit 2 ;;
  esac
  summary+=("$stage")
done
echo "All stages passed: ${summary[*]}"
