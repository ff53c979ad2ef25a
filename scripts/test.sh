#!/usr/bin/env bash
# Builds and runs every test: the default build, then again with the address
# and undefined-behaviour sanitizers, then compiles the core for Windows with
# mingw-w64. Installs missing Debian packages first.
#   scripts/test.sh           everything
#   scripts/test.sh default   one preset only (default, sanitize or tsan)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

run_preset() {
  local preset=$1
  echo "==> $preset: configure, build, test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
}

windows_core() {
  echo "==> windows-core: compile the core with mingw-w64 against the Windows SDK"
  cmake --preset windows-core >/dev/null
  cmake --build --preset windows-core -j "$jobs"
}

if [[ $# -gt 0 ]]; then
  for p in "$@"; do
    if [[ "$p" == windows-core ]]; then windows_core; else run_preset "$p"; fi
  done
  exit 0
fi

run_preset default
run_preset sanitize
windows_core
echo "All tests passed."
