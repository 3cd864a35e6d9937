#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests: a temporary folder, a free
# port on 127.0.0.1, password authentication, stopped and removed again.
#   pg_cluster.sh start STATE   writes STATE (shell variables: PG_URL_BASE,
#                               PG_PASSWORD_FILE, PG_DIR, PG_PORT, PG_BIN)
#   pg_cluster.sh stop STATE    stops the cluster and removes its folder
#   pg_cluster.sh restart STATE stops and starts the same cluster
# initdb refuses to run as root: as root the cluster belongs to "nobody".
set -euo pipefail

cmd=${1:?start|stop|restart}
state=${2:?state file}
PG_BIN=${PG_BIN:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)}

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi
}

case "$cmd" in
start)
  if [ -z "$PG_BIN" ] || [ ! -x "$PG_BIN/initdb" ]; then
    echo "pg_cluster: PostgreSQL server binaries not found (Debian package postgresql)" >&2
    exit 1
  fi
  PG_DIR=$(mktemp -d /tmp/vanta-pg.XXXXXX)
  chmod 755 "$PG_DIR"
  # The server's password, and a copy only the tests (the invoking user) read.
  head -c 18 /dev/urandom | base64 | tr -d '/+=' > "$PG_DIR/pw.server"
  cp "$PG_DIR/pw.server" "$PG_DIR/pw.client"
  chmod 600 "$PG_DIR/pw.client"
  if [ "$(id -u)" -eq 0 ]; then chown -R nobody "$PG_DIR"; chown root "$PG_DIR/pw.client"; fi
  as_owner "$PG_BIN/initdb" -D "$PG_DIR/data" -U vanta --auth=scram-sha-256 --pwfile="$PG_DIR/pw.server" \
    -E UTF8 --locale=C.UTF-8 >"$PG_DIR/initdb.log" 2>&1 || { cat "$PG_DIR/initdb.log" >&2; exit 1; }
  PG_PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  as_owner "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -l "$PG_DIR/server.log" -w -t 60 \
    -o "-p $PG_PORT -k $PG_DIR -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=300" start >/dev/null
  cat >"$state" <<STATE
PG_DIR=$PG_DIR
PG_PORT=$PG_PORT
PG_BIN=$PG_BIN
PG_URL_BASE=postgresql://vanta@127.0.0.1:$PG_PORT
PG_PASSWORD_FILE=$PG_DIR/pw.client
STATE
  echo "pg_cluster: PostgreSQL on 127.0.0.1:$PG_PORT ($PG_DIR)"
  ;;
stop)
  [ -f "$state" ] || exit 0
  # shellcheck disable=SC1090
  . "$state"
  as_owner "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -m immediate -w stop >/dev/null 2>&1 || true
  rm -rf "$PG_DIR" "$state"
  ;;
restart)
  # shellcheck disable=SC1090
  . "$state"
  as_owner "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -m fast -w stop >/dev/null
  as_owner "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -l "$PG_DIR/server.log" -w -t 60 \
    -o "-p $PG_PORT -k $PG_DIR -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=300" start >/dev/null
  ;;
*)
  echo "pg_cluster: unknown command $cmd" >&2
  exit 1
  ;;
esac
