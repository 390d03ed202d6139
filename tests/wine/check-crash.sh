#!/bin/sh
# A Windows program that crashes under Wine ends at once and fails:
#   check-crash.sh SECONDS COMMAND...
# COMMAND runs a program that prints "crashing now" and crashes; it must end
# within SECONDS, with a non-zero exit status.
set -u
limit=$1
shift
log=$(mktemp)
trap 'rm -f "$log"' EXIT
start=$(date +%s)
# The output goes to a file: a process that Wine starts could keep a pipe open.
timeout "$((limit * 2))" "$@" >"$log" 2>&1
rc=$?
elapsed=$(($(date +%s) - start))
cat "$log"
grep -q "crashing now" "$log" || { echo "FAIL: the program did not run (exit status $rc)"; exit 1; }
[ "$rc" -ne 124 ] || { echo "FAIL: still running $((limit * 2)) s after its crash (Wine's debugger waits on its dialog?)"; exit 1; }
[ "$rc" -ne 0 ] || { echo "FAIL: the crash reported exit status 0"; exit 1; }
[ "$elapsed" -le "$limit" ] || { echo "FAIL: the crash took $elapsed s to end the program"; exit 1; }
echo "the crash ended the program after $elapsed s, exit status $rc"
