#!/usr/bin/env bash
# Smoke test of trxcom.exe under Wine: builds the windows preset, registers
# the server in a fresh Wine prefix, activates its object from VBScript,
# unregisters it and waits for the server process to end after its quiet
# period. The prefix's wineserver is stopped at the end, whatever happens.
#   scripts/wine-test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

export WINEDEBUG=-all
export WINEPREFIX=$root/build/windows/wineprefix
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer prompts
wineserver=/usr/lib/wine/wineserver
clsid='{3A90E90B-4F6B-48CC-88C9-254009044AAE}'

stop_wineserver() { "$wineserver" -k 2>/dev/null || true; }
trap stop_wineserver EXIT

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(seconds)" 'BEGIN { printf "%.1f s", b - a }'; }
fail() { echo "wine-test: FAILED: $*" >&2; exit 1; }

scripts/install-deps.sh windows

echo "==> windows: configure and build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j 2
exe=$root/build/windows/trxcom.exe
[[ -f $exe ]] || fail "no $exe"

echo "==> fresh Wine prefix"
t=$(seconds)
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wine wineboot -i >/dev/null 2>&1 || true
"$wineserver" -w
echo "prefix: $(elapsed "$t")"

# wine reg query: 0 when the key is there.
has_key() { wine reg query "$1" >/dev/null 2>&1; }

echo "==> /RegServer"
t=$(seconds)
status=0
wine "$exe" /RegServer || status=$?
echo "RegServer: exit $status, $(elapsed "$t")"
[[ $status -eq 0 ]] || fail "RegServer exited with $status"
has_key 'HKCR\trxcom.CNVcoTRX\CLSID' || fail 'HKCR\trxcom.CNVcoTRX\CLSID missing'
has_key "HKCR\\CLSID\\$clsid\\LocalServer32" || fail "HKCR\\CLSID\\$clsid\\LocalServer32 missing"
wine reg query "HKCR\\CLSID\\$clsid\\LocalServer32" 2>/dev/null | tr -d '\r' | grep -i "trxcom.exe" >/dev/null ||
  fail "LocalServer32 does not name trxcom.exe"
has_key 'HKCR\TypeLib\{7FF56E4D-5E78-4835-9402-4354BEA8EAA5}\1.0' || fail "type library not registered"
echo "registry keys and type library: present"

echo "==> activate.vbs"
t=$(seconds)
# Into a file, not a pipe: the server COM starts inherits the script's
# output handles and would hold a pipe open until it ends.
log=$root/build/windows/activate.log
wine cscript //nologo "$(winepath -w "$root/tests/wine/activate.vbs")" >"$log" 2>&1 || true
output=$(tr -d '\r' <"$log")
echo "$output"
echo "activate.vbs: $(elapsed "$t")"
t_released=$(seconds)
[[ $(printf '%s\n' "$output" | tail -n 1) == "activate.vbs: OK" ]] || fail "activate.vbs did not finish"

echo "==> -UNREGSERVER"
t=$(seconds)
status=0
wine "$exe" -UNREGSERVER || status=$?
echo "UnregServer: exit $status, $(elapsed "$t")"
[[ $status -eq 0 ]] || fail "UnregServer exited with $status"
has_key 'HKCR\trxcom.CNVcoTRX' && fail 'HKCR\trxcom.CNVcoTRX still there'
has_key "HKCR\\CLSID\\$clsid" && fail "HKCR\\CLSID\\$clsid still there"
has_key 'HKCR\TypeLib\{7FF56E4D-5E78-4835-9402-4354BEA8EAA5}\1.0' && fail "type library still registered"
echo "registry keys and type library: gone"

echo "==> server process ends after its quiet period"
t=$(seconds)
# COM starts the server with the Windows path of our trxcom.exe on its
# command line.
winexe=$(winepath -w "$exe" 2>/dev/null)
running() { ps -eo args= | grep -v grep | grep -qiF "$winexe"; }
deadline=$((SECONDS + 60))
while running; do
  ((SECONDS < deadline)) || fail "trxcom.exe still runs after 60 s"
  sleep 1
done
echo "server gone: $(elapsed "$t") after unregistering, $(elapsed "$t_released") after the script released its object"
echo "wine-test: OK"
