#!/usr/bin/env bash
# The real program when another version is published: the start-up check
# opens "发现新版本"; "下载更新" opens the download page and "关闭程序" does
# not, and either ends the process with exit code 0. Needs a display (the
# test script runs CTest under Xvfb), xdotool and python3 (the version
# source is a static file served on 127.0.0.1).
set -u
nuve="$1"
work=$(mktemp -d)
pid=""
source_pid=""
trap 'rm -rf "$work"; [ -n "$pid" ] && kill "$pid" 2>/dev/null; [ -n "$source_pid" ] && kill "$source_pid" 2>/dev/null' EXIT
fail() { echo "FAIL: $*"; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "no display: skipping"; exit 0; }

mkdir -p "$work/source/fcg-bin"
printf 'cb({"77":["1234567x"beta M1.3.10",0]})' >"$work/source/fcg-bin/cgi_get_portrait.fcg"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 -d "$work/source" >/dev/null 2>&1 &
source_pid=$!
# The browser asks as soon as it starts: the source must be listening first.
for _ in $(seq 1 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
export NUVE_VERSION_SOURCE="http://127.0.0.1:$port" NUVE_VERSION_KEY=77 NUVE_SERVICE_HOST=127.0.0.1:9
# The desktop's web browser is a script of the test's own that notes the
# address it is given, whatever browsers the machine has.
mkdir -p "$work/xdg-data/applications" "$work/xdg-config"
printf '#!/bin/sh\necho "$1" >>"%s/opened"\n' "$work" >"$work/opener"
chmod +x "$work/opener"
printf '[Desktop Entry]\nType=Application\nName=Opener\nExec=%s/opener %%u\nMimeType=x-scheme-handler/http;\n' \
  "$work" >"$work/xdg-data/applications/nuve-test-opener.desktop"
printf '[Default Applications]\nx-scheme-handler/http=nuve-test-opener.desktop\n' >"$work/xdg-config/mimeapps.list"
export XDG_DATA_HOME="$work/xdg-data" XDG_CONFIG_HOME="$work/xdg-config"
export NUVE_DOWNLOAD_PAGE="http://127.0.0.1:9/nuve-download" NUVE_PORTAL_A="data:text/html,<title>start page</title>"

# Starts the browser, presses `keys` in the offer and checks the exit code.
run() {
  local keys="$1"
  export NUVE_HOME="$work/home-$2"
  "$nuve" 2>"$work/stderr-$2" &
  pid=$!
  local offer=""
  for _ in $(seq 1 150); do
    for w in $(xdotool search --onlyvisible --pid "$pid" --name . 2>/dev/null); do
      [ "$(xdotool getwindowname "$w")" = "发现新版本" ] && offer="$w"
    done
    [ -n "$offer" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the browser exited before the offer"
    sleep 0.2
  done
  [ -n "$offer" ] || fail "no new-version window"
  # No window manager gives the window the focus: a click into it does.
  xdotool mousemove --window "$offer" 4 4 click 1
  sleep 0.3
  xdotool key $keys
  for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$pid" 2>/dev/null && fail "$2: the program goes on"
  wait "$pid"
  local status=$?
  pid=""
  [ "$status" -eq 0 ] || fail "$2: exit code $status"
}

opened() { grep -q "nuve-download" "$work/opened" 2>/dev/null; }
run "Return" download
for _ in $(seq 1 50); do opened && break; sleep 0.1; done
opened || fail "下载更新 did not open the download page"
rm -f "$work/opened"
run "Tab Return" close
sleep 1
opened && fail "关闭程序 opened the download page"
echo "2 passed, 0 failed"
