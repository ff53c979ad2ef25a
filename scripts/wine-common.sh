# Shared by the scripts that run the Windows build under Wine; sourced from
# the repository's root with $root set to it.
#   WINEPREFIX  build/windows/wineprefix, WINEDEBUG=-all, no Mono or Gecko
#   seconds, elapsed START          a clock and "1.2 s" since START
#   run_test_programs LOGDIR ARGS   every build/windows/*_tests.exe, each
#                                   with ARGS and its output in LOGDIR; the
#                                   ones that failed in $failed_programs

export WINEDEBUG=-all
export WINEPREFIX=$root/build/windows/wineprefix
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer prompts
wineserver=/usr/lib/wine/wineserver

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(seconds)" 'BEGIN { printf "%.1f s", b - a }'; }

# The test programs reach the registered server through COM, and find the
# repository through TRX_SOURCE_DIR. A program that dies half-way prints no
# summary: the exit status and the summary line must both say it passed.
failed_programs=()
run_test_programs() {
  local logdir=$1 program name log t status
  shift
  export TRX_SOURCE_DIR
  TRX_SOURCE_DIR=$(winepath -w "$root" 2>/dev/null)
  for program in "$root"/build/windows/*_tests.exe; do
    [[ -f $program ]] || continue
    name=$(basename "$program")
    echo "==> $name"
    log=$logdir/${name%.exe}.log
    t=$(seconds)
    status=0
    timeout 900 wine "$program" --gtest_color=no "$@" >"$log" 2>&1 || status=$?
    tr -d '\r' <"$log" | grep -E '^\[ *(FAILED|PASSED|SKIPPED) *\]|^\[=+\]|Failure$' | sed 's/^/  /' || true
    echo "  $name: exit $status, $(elapsed "$t"), log $log"
    if [[ $status -ne 0 ]] || ! tr -d '\r' <"$log" | grep -q '^\[  PASSED  \]' ||
      tr -d '\r' <"$log" | grep -q '^\[  FAILED  \]'; then
      failed_programs+=("$name (output in ${log#"$root"/})")
    fi
  done
}
