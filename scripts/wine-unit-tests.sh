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

export WINEDEBUG=-all
export WINEPREFIX=$root/build/windows/wineprefix
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer prompts
wineserver=/usr/lib/wine/wineserver

stop_wineserver() { "$wineserver" -k 2>/dev/null || true; }
trap stop_wineserver EXIT

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(seconds)" 'BEGIN { printf "%.1f s", b - a }'; }
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
# in this prefix. TRX_SOURCE_DIR tells the tests where the repository is.
wine "$root/build/windows/trxcom.exe" /RegServer || fail "trxcom.exe /RegServer failed"
export TRX_SOURCE_DIR
TRX_SOURCE_DIR=$(winepath -w "$root" 2>/dev/null)

failed=()
for exe in "${programs[@]}"; do
  name=$(basename "$exe")
  echo "==> $name"
  log=$root/build/windows/${name%.exe}.log
  t=$(seconds)
  status=0
  wine "$exe" --gtest_color=no "$@" >"$log" 2>&1 || status=$?
  tr -d '\r' <"$log" | grep -E '^\[ *(OK|FAILED|PASSED|SKIPPED) *\]|^\[=+\]|Failure$' || true
  echo "$name: exit $status, $(elapsed "$t")"
  # A test program that dies half-way prints no summary: the exit status
  # and the summary line must both say it passed.
  if [[ $status -ne 0 ]] || ! tr -d '\r' <"$log" | grep -q '^\[  PASSED  \]' ||
    tr -d '\r' <"$log" | grep -q '^\[  FAILED  \]'; then
    failed+=("$name (output in ${log#"$root"/})")
  fi
done

((${#failed[@]} == 0)) || fail "${failed[*]}"
echo "wine-unit-tests: OK"
