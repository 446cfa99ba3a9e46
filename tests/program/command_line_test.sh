#!/usr/bin/env bash
# The real program from its command line: --help and --version print and
# exit 0 without a display; a malformed command line gets one line on
# standard error, the browser starts as with no argument, and closing its
# window ends the process with exit code 0. Needs a display (the test script
# runs CTest under Xvfb) and xdotool.
set -u
nuve="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null' EXIT
fail() { echo "FAIL: $*"; exit 1; }

DISPLAY= "$nuve" --help >"$work/help" 2>&1 || fail "--help exited non-zero"
grep -q "PROXY-HOST:PORT" "$work/help" || fail "--help printed no usage"
DISPLAY= "$nuve" --version >"$work/version" 2>&1 || fail "--version exited non-zero"
grep -q "beta M1.3.00" "$work/version" || fail "--version printed no version"

[ -n "${DISPLAY:-}" ] || { echo "no display: skipping the window part"; exit 0; }
export NUVE_HOME="$work/home" NUVE_VERSION_SOURCE=http://127.0.0.1:9 NUVE_SERVICE_HOST=127.0.0.1:9
export NUVE_PORTAL_A="data:text/html,<title>start page</title>"
"$nuve" 10.0.0.1 2>"$work/stderr" &
pid=$!
window=""
for _ in $(seq 1 150); do
  window=$(xdotool search --onlyvisible --pid "$pid" --name "start page" 2>/dev/null | head -n 1)
  [ -n "$window" ] && break
  kill -0 "$pid" 2>/dev/null || fail "the browser exited at start"
  sleep 0.2
done
[ -n "$window" ] || fail "the start page never showed"
# No window manager gives the window the focus: a click into it does.
xdotool mousemove --window "$window" 200 300 click 1
sleep 0.3
xdotool key ctrl+q
for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$pid" 2>/dev/null && fail "closing the window did not end the process"
wait "$pid"
status=$?
pid=""
[ "$status" -eq 0 ] || fail "exit code $status"
complaints=$(grep -c "10.0.0.1" "$work/stderr")
[ "$complaints" -eq 1 ] || fail "expected one line about the argument, got: $(cat "$work/stderr")"
echo "1 passed, 0 failed"
