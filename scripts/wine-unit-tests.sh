#!/usr/bin/env bash
# The unit test programs built for Windows (build/windows/*_tests.exe, such
# as xml_tests.exe) run under Wine: builds the windows preset, makes the Wine
# prefix build/windows/wineprefix when there is none (or reuses it), runs
# every test program and fails when one of them fails. The prefix's
# wineserver is stopped at the end, whatever happens. Arguments go to every
# test program, for example --gtest_filter=CNVTRXXmlSelect.*
#   scripts/wine-unit-tests.sh [gtest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# shellcheck source=scripts/wine-common.sh
source scripts/wine-common.sh

stop_wineserver() { "$wineserver" -k 2>/dev/null || true; }
trap stop_wineserver EXIT

fail() { echo "wine-unit-tests: FAILED: $*" >&2; exit 1; }

scripts/install-deps.sh windows

echo "==> windows: configure and build"
cmake --preset windows -DTRX_BUILD_WINDOWS_TESTS=ON >/dev/null
cmake --build --preset windows -j 2

shopt -s nullglob
programs=("$root"/build/windows/*_tests.exe)
((${#programs[@]})) || fail "no *_tests.exe in build/windows"

if [[ ! -f $WINEPREFIX/system.reg ]]; then
  echo "==> new Wine prefix"
  t=$(seconds)
  mkdir -p "$WINEPREFIX"
  wine wineboot -i >/dev/null 2>&1 || true
  "$wineserver" -w
  echo "prefix: $(elapsed "$t")"
fi

# The acceptance tests reach the server through COM: it must be registered
# in this prefix.
wine "$root/build/windows/trxcom.exe" /RegServer || fail "trxcom.exe /RegServer failed"
run_test_programs "$root/build/windows" "$@"
((${#failed_programs[@]} == 0)) || fail "${failed_programs[*]}"
echo "wine-unit-tests: OK"
