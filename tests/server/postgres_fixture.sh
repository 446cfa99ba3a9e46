#!/usr/bin/env bash
# Starts (start STATE_DIR) or stops (stop STATE_DIR) a throw-away PostgreSQL
# cluster on 127.0.0.1 for the account service's tests. The cluster lives in
# a fresh temporary folder; STATE_DIR/url receives its address. As root the
# server runs as the "postgres" user, which PostgreSQL requires.
set -euo pipefail
action=$1
state=$2

bindir=""
for candidate in /usr/lib/postgresql/15/bin $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
  if [ -x "$candidate/initdb" ]; then bindir=$candidate; break; fi
done
if [ -z "$bindir" ]; then
  echo "postgres_fixture: no PostgreSQL server found (install postgresql-15)" >&2
  exit 1
fi

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

case "$action" in
  start)
    rm -rf "$state"
    mkdir -p "$state"
    cluster=$(mktemp -d /tmp/nuve-pg.XXXXXX)
    echo "$cluster" > "$state/cluster"
    chmod 755 "$cluster"
    [ "$(id -u)" -eq 0 ] && chown postgres "$cluster"
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    as_owner "$bindir/initdb" -D "$cluster/data" -U nuve -A trust --no-sync -E UTF8 --locale=C >"$cluster/initdb.log"
    as_owner "$bindir/pg_ctl" -D "$cluster/data" -l "$cluster/server.log" -w -t 60 \
      -o "-p $port -k $cluster -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=300" \
      start >/dev/null
    echo "postgresql://nuve@127.0.0.1:$port/postgres" > "$state/url"
    ;;
  stop)
    if [ -f "$state/cluster" ]; then
      cluster=$(cat "$state/cluster")
      as_owner "$bindir/pg_ctl" -D "$cluster/data" -m immediate -w stop >/dev/null 2>&1 || true
      rm -rf "$cluster"
    fi
    rm -rf "$state"
    ;;
  *)
    echo "usage: postgres_fixture.sh start|stop STATE_DIR" >&2
    exit 2
    ;;
esac
