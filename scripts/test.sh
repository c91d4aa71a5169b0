#!/usr/bin/env bash
# Sets up, builds and runs every test suite: the Linux build, then the same
# tests under AddressSanitizer and UBSan, then the Windows build under Wine
# (whose private prefix the first Windows test creates).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --windows
export WINEDEBUG=-all

for preset in default asan windows; do
  echo "== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
