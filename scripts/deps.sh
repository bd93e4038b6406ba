#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
# Usage: scripts/deps.sh [demo|all]   (demo: just what the Linux build of the host needs)
set -euo pipefail

# The fonts are those the pictures' labels are drawn in, English and Japanese.
demo=(cmake ninja-build g++ pkg-config nlohmann-json3-dev libcli11-dev libcairo2-dev libgif-dev
      fonts-dejavu-core fonts-ipafont-gothic googletest libgtest-dev libgmock-dev libbenchmark-dev)
all=("${demo[@]}" g++-mingw-w64-x86-64 wine64 clang libclang-rt-14-dev clang-format clang-tidy binutils)
case "${1:-all}" in
  demo) wanted=("${demo[@]}") ;;
  all) wanted=("${all[@]}") ;;
  *) echo "usage: $0 [demo|all]" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
run_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
run_root apt-get update -qq
run_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
