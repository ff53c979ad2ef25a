#!/usr/bin/env bash
# Builds and runs every test: the default build, then again with the address
# and undefined-behaviour sanitizers, then the Windows build (trxcom.exe,
# trx.exe and the test programs, cross-built with mingw-w64) and its tests
# under Wine (scripts/wine-test.sh). Installs missing Debian packages first.
#   scripts/test.sh           everything
#   scripts/test.sh default   one step only (default, sanitize, tsan,
#                             windows-core or windows)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh browser windows

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

windows() {
  echo "==> windows: trxcom.exe, trx.exe and the test programs, tested under Wine"
  scripts/wine-test.sh
}

if [[ $# -gt 0 ]]; then
  for p in "$@"; do
    case "$p" in
      windows-core) windows_core ;;
      windows) windows ;;
      *) run_preset "$p" ;;
    esac
  done
  exit 0
fi

run_preset default
run_preset sanitize
windows
echo "All tests passed."
