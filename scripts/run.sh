#!/usr/bin/env bash
# Builds NUVE (installing what is missing) and starts it with the given arguments.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build" >/dev/null
cmake --build "$here/build" -j "$(nproc)" --target nuve
exec "$here/build/src/ui/nuve" "$@"
