#!/usr/bin/env bash
# Builds NUVE (installing what is missing) and starts it with the given arguments.
#
# When the browser uses the default account service (127.0.0.1:8808) and
# nothing listens there, a local nuve-account-server runs beside it for as
# long as the browser does: its SQLite database in the browser's data folder,
# and in development mode, so registration codes and reset links appear on
# this terminal instead of being mailed.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build" >/dev/null

listening() { (exec 3<>/dev/tcp/127.0.0.1/8808) 2>/dev/null; }

targets=(nuve)
local_service=0
if [ "${NUVE_SERVICE_HOST:-127.0.0.1:8808}" = 127.0.0.1:8808 ] && ! listening; then
  local_service=1
  targets+=(nuve-account-server)
fi
cmake --build "$here/build" -j "$(nproc)" --target "${targets[@]}"

if [ "$local_service" = 1 ]; then
  # The browser's version check asks the same local service, by default
  # under the key both programs were built with.
  key_option=()
  [ -n "${NUVE_VERSION_KEY:-}" ] && key_option=(--version-key "$NUVE_VERSION_KEY")
  "$here/build/src/server/nuve-account-server" --listen 127.0.0.1:8808 "${key_option[@]}" &
  service_pid=$!
  trap 'kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 50); do
    listening && break
    kill -0 "$service_pid" 2>/dev/null || break
    sleep 0.1
  done
fi

status=0
"$here/build/src/ui/nuve" "$@" || status=$?
exit "$status"
