#!/usr/bin/env bash
# Tests of trxcom.exe under Wine: builds the windows preset, registers the
# server in a fresh Wine prefix and drives it from the tools a user has:
#
#   1. tests/wine/activate.vbs: activation from VBScript.
#   2. Without a client attached: tests/wine/methods.vbs, methods.js and
#      trxcomclient methods (every method of INVTRXAutomation, with what each
#      answers when no client is there), a sink connected and disconnected at
#      the connection point, and the call rate of a call that needs no client.
#   3. With the simulated Norvik client running as its own process
#      (trx.exe client, fed JSON lines through a fifo): the same three tools
#      against it, tools sharing the one service object (two listeners and
#      another tool see the same root descriptor; recording started from a
#      fourth tool, a user action played on the client, both listeners
#      receive the Record), and the benchmark with a client.
#   4. The GoogleTest programs built for Windows (build/windows/*_tests.exe):
#      the XML seam against MSXML, the core's unit tests, and the bridge's
#      acceptance tests against trx.exe serve (tool, service and client as
#      three processes).
#   5. Unregistration, and the server process ending after its quiet period.
#
# The steps with a client need build/windows/trx.exe with its "client"
# command. TRX_WINE_CLIENT chooses: "auto" (the default) runs them when
# trx.exe was built, "on" requires it, "off" skips them. The prefix's
# wineserver, and with it every Wine process of the run, is stopped at the
# end whatever happens. Each tool's output: build/windows/wine-test/*.log.
#   scripts/wine-test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# shellcheck source=scripts/wine-common.sh
source scripts/wine-common.sh
clsid='{3A90E90B-4F6B-48CC-88C9-254009044AAE}'
client_mode=${TRX_WINE_CLIENT:-auto}
out=$root/build/windows/wine-test
fifo=$out/client.fifo

# Background processes of this run, by id: stopped first, then the wineserver
# takes the rest of the prefix's processes with it.
client_pid=
listener_pid=
listener2_pid=
cleanup() {
  exec 3>&-
  for pid in $listener_pid $listener2_pid $client_pid; do kill "$pid" 2>/dev/null || true; done
  "$wineserver" -k 2>/dev/null || true
  rm -f "$fifo"
}
trap cleanup EXIT

fail() { echo "wine-test: FAILED: $*" >&2; exit 1; }
failed_steps=()
step_failed() { echo "  FAILED: $*"; failed_steps+=("$*"); }

# run_tool NAME LAST_LINE COMMAND...: runs a tool with its output in
# $out/NAME.log (a file, not a pipe: the server COM starts inherits the
# tool's output handles and would hold a pipe open), prints its failed checks
# and its last line, and counts the step as failed unless the last line is
# LAST_LINE. cscript's exit status does not tell whether a script failed.
run_tool() {
  local name=$1 expected=$2
  shift 2
  local log=$out/$name.log t status=0
  t=$(seconds)
  timeout 180 "$@" >"$log" 2>&1 || status=$?
  local output last
  output=$(tr -d '\r' <"$log")
  last=$(printf '%s\n' "$output" | tail -n 1)
  printf '%s\n' "$output" | grep -F "FAILED" | sed 's/^/    /' || true
  echo "  $name: \"$last\" ($(elapsed "$t"), exit $status, log $log)"
  [[ $last == "$expected" ]] || step_failed "$name: last line \"$last\", expected \"$expected\""
}
# A file of the tree as the Windows programs name it.
winpath() { winepath -w "$root/$1" 2>/dev/null; }

scripts/install-deps.sh windows

echo "==> windows: configure and build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j 2
exe=$root/build/windows/trxcom.exe
tool=$root/build/windows/trxcomclient.exe
trx=$root/build/windows/trx.exe
[[ -f $exe ]] || fail "no $exe"
[[ -f $tool ]] || fail "no $tool"
case $client_mode in
  on) [[ -f $trx ]] || fail "TRX_WINE_CLIENT=on but no $trx" ;;
  auto) if [[ -f $trx ]]; then client_mode=on; else client_mode=off; fi ;;
  off) ;;
  *) fail "TRX_WINE_CLIENT is auto, on or off, not \"$client_mode\"" ;;
esac
rm -rf "$out"
mkdir -p "$out"

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
run_tool activate.vbs "activate.vbs: OK" wine cscript //nologo "$(winpath tests/wine/activate.vbs)"

echo "==> without a client"
run_tool methods.vbs-noclient "methods.vbs: OK" wine cscript //nologo "$(winpath tests/wine/methods.vbs)" noclient
run_tool methods.js-noclient "methods.js: OK" wine cscript //nologo "$(winpath tests/wine/methods.js)" noclient
run_tool trxcomclient-methods-noclient "trxcomclient methods: OK" wine "$tool" methods noclient
# A sink connects and disconnects at the connection point; no events come.
run_tool trxcomclient-listen-noclient "trxcomclient listen: OK 0" wine "$tool" listen 0 1
run_tool trxcomclient-bench-noclient "trxcomclient bench: done" wine "$tool" bench 2 noclient
grep -h "^bench" "$out/trxcomclient-bench-noclient.log" | tr -d '\r' | sed 's/^/  /' || true

# ---- with the client process ---------------------------------------------------------

# client_call ID JSON: sends one request line (whose "id" is the string ID)
# to the client process and prints its reply (waits up to 60 s).
client_call() {
  printf '%s\n' "$2" >&3
  local deadline=$((SECONDS + 60)) reply
  until reply=$(tr -d '\r' <"$out/client.out" | grep -F "{\"id\":\"$1\"," | head -n 1) && [[ -n $reply ]]; do
    ((SECONDS < deadline)) || { echo "(no reply)"; return; }
    sleep 0.2
  done
  echo "$reply"
}

# wait_for_line FILE PATTERN SECONDS: 0 once FILE has a line matching PATTERN.
wait_for_line() {
  local deadline=$((SECONDS + $3))
  # The file of a tool started in the background may not be there yet.
  until { tr -d '\r' <"$1"; } 2>/dev/null | grep -q "$2"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}

# listener_stuck NAME: a listener that did not connect its sink in time.
listener_stuck() {
  step_failed "$1 did not connect its sink"
  echo "    its output so far:"
  tr -d '\r' <"$out/$1.log" 2>/dev/null | sed 's/^/      /' || true
  echo "    Wine processes:"
  ps -eo pid,etime,args | grep -iE '\.exe|wineserver' | grep -v grep | sed 's/^/      /' || true
}

if [[ $client_mode == on ]]; then
  echo "==> with a client: trx.exe client"
  t=$(seconds)
  rm -f "$fifo"
  mkfifo "$fifo"
  wine "$trx" client --app "$(winepath -w "$root/samples/crm.xml")" <"$fifo" >"$out/client.out" 2>"$out/client.err" &
  client_pid=$!
  # The script holds the fifo's writing end until it wants the client to end.
  exec 3>"$fifo"
  if ! wait_for_line "$out/client.out" '^{"ready"' 60; then
    step_failed "trx.exe client wrote no ready line in 60 s"
  fi
  ready=$(tr -d '\r' <"$out/client.out" | head -n 1)
  echo "  client: $ready ($(elapsed "$t"))"
  # Every call that needs a client waits for it twice the submit time-out
  # before it answers busy: the tools run only when the client registered
  # with the service, lest each of their calls take minutes.
  state=
  [[ $ready == '{"ready":true,"attach":0}' ]] && state=$(client_call state '{"id":"state","call":"client.state"}')
  echo "  client.state: $state"
  if [[ $ready != '{"ready":true,"attach":0}' || $state != *'"registered":true'* ]]; then
    step_failed "trx.exe client is not ready and registered: $ready $state"
    sed 's/^/    /' "$out/client.err" || true
  else
    run_tool methods.vbs-client "methods.vbs: OK" wine cscript //nologo "$(winpath tests/wine/methods.vbs)" client
    run_tool methods.js-client "methods.js: OK" wine cscript //nologo "$(winpath tests/wine/methods.js)" client
    run_tool trxcomclient-methods-client "trxcomclient methods: OK" wine "$tool" methods client
    # The keyboard accelerators the three tools submitted reached the client.
    journal=$(client_call journal '{"id":"journal","call":"client.journal","clear":true}')
    accelerators=$(grep -o '"request":"REQID_PROCESSACCELERATOR"' <<<"$journal" | wc -l || true)
    echo "  client.journal: $accelerators keyboard accelerators"
    ((accelerators >= 3)) || step_failed "the client received $accelerators keyboard accelerators, expected 3: $journal"

    echo "==> tools sharing one service object"
    # Two listening tools (C++ sinks), a third that reads the root and a
    # fourth that starts recording: both listeners see the same root and
    # receive the Record of the user's action. The second listener starts
    # once the first listens: the step is about sharing the object, not about
    # two activations racing in Wine.
    wine "$tool" listen 1 60 root >"$out/listener.log" 2>&1 &
    listener_pid=$!
    wait_for_line "$out/listener.log" '^listening:' 60 || listener_stuck listener
    wine "$tool" listen 1 60 root >"$out/listener2.log" 2>&1 &
    listener2_pid=$!
    wait_for_line "$out/listener2.log" '^listening:' 60 || listener_stuck listener2
    listener_root=$(tr -d '\r' <"$out/listener.log" | sed -n 's/^root: //p')
    listener2_root=$(tr -d '\r' <"$out/listener2.log" | sed -n 's/^root: //p')
    [[ -n $listener_root && $listener_root == "$listener2_root" ]] ||
      step_failed "the listeners saw different roots: \"$listener_root\" and \"$listener2_root\""
    run_tool trxcomclient-root "$listener_root" wine "$tool" root
    echo "  root seen by the listeners: $listener_root"
    run_tool recording.vbs-start "recording.vbs: OK" wine cscript //nologo "$(winpath tests/wine/recording.vbs)" start
    reply=$(client_call ctrl-n '{"id":"ctrl-n","call":"client.action","eventId":"PROCESSACCELERATOR","arguments":[["0","78"],["1","FALSE"],["2","TRUE"],["3","FALSE"]]}')
    echo "  client.action Ctrl+N: $reply"
    [[ $reply == '{"id":"ctrl-n","hr":0}' ]] || step_failed "client.action Ctrl+N answered $reply"
    for pid in $listener_pid $listener2_pid; do
      timeout 90 tail --pid="$pid" -f /dev/null || true
      wait "$pid" || true
    done
    listener_pid=
    listener2_pid=
    for log in listener listener2; do
      echo "  $log:"
      tr -d '\r' <"$out/$log.log" | sed 's/^/    /'
      tr -d '\r' <"$out/$log.log" | grep -qF "$(printf 'Record\tProcessKeyboardAccelerator\t"Ctrl+N"\ton %s' "$listener_root")" ||
        step_failed "$log did not receive Record ProcessKeyboardAccelerator \"Ctrl+N\""
      [[ $(tr -d '\r' <"$out/$log.log" | tail -n 1) == "trxcomclient listen: OK 1" ]] ||
        step_failed "$log did not end with \"trxcomclient listen: OK 1\""
    done
    run_tool recording.vbs-stop "recording.vbs: OK" wine cscript //nologo "$(winpath tests/wine/recording.vbs)" stop
    reply=$(client_call after-stop '{"id":"after-stop","call":"client.action","eventId":"PROCESSACCELERATOR","arguments":[["0","78"],["1","FALSE"],["2","TRUE"],["3","FALSE"]]}')
    echo "  client.action after StopRecording: $reply"
    [[ $reply == '{"id":"after-stop","hr":1}' ]] || step_failed "client.action after StopRecording answered $reply"

    echo "==> benchmark with a client (printed, not checked)"
    run_tool trxcomclient-bench "trxcomclient bench: done" wine "$tool" bench 3
    grep -h "^bench" "$out/trxcomclient-bench.log" | tr -d '\r' | sed 's/^/  /' || true
  fi

  echo "==> the client process ends at the end of its input"
  exec 3>&-
  status=0
  timeout 60 tail --pid="$client_pid" -f /dev/null || status=$?
  if ((status != 0)); then
    step_failed "trx.exe client still runs 60 s after its input ended"
  else
    status=0
    wait "$client_pid" || status=$?
    echo "  trx.exe client: exit $status"
    ((status == 0)) || step_failed "trx.exe client exited with $status"
  fi
  client_pid=
else
  echo "==> with a client: skipped (no build/windows/trx.exe, or TRX_WINE_CLIENT=off)"
fi

# ---- the test programs ----------------------------------------------------------------

# build/windows/*_tests.exe: GoogleTest programs built for Windows. The XML
# seam's contract against MSXML, the core's unit tests, and the bridge's
# acceptance tests, each of which runs trx.exe serve against the registered
# server with the client as a third process.
run_test_programs "$out"
for program in "${failed_programs[@]}"; do step_failed "$program"; done

# COM starts the server with the Windows path of our trxcom.exe on its
# command line.
winexe=$(winepath -w "$exe" 2>/dev/null)
running() { ps -eo args= | grep -v grep | grep -qiF "$winexe"; }
if running; then echo "server: still running after the last tool"; else echo "server: already ended"; fi

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
deadline=$((SECONDS + 60))
while running; do
  ((SECONDS < deadline)) || fail "trxcom.exe still runs after 60 s"
  sleep 1
done
echo "server gone: $(elapsed "$t") after unregistering"

if ((${#failed_steps[@]} > 0)); then
  echo "wine-test: ${#failed_steps[@]} step(s) FAILED:"
  printf '  %s\n' "${failed_steps[@]}"
  exit 1
fi
echo "wine-test: OK (client process: $client_mode)"
