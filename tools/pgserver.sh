#!/usr/bin/env bash
# A throwaway PostgreSQL server for the PostgreSQL connector's tests and benchmarks.
#
#   tools/pgserver.sh start DIR [--trust]   initdb and start a server; DIR/server.env tells where
#   tools/pgserver.sh stop DIR              stop it and remove its files
#   tools/pgserver.sh halt DIR              stop it (fast: sessions ended, what was committed kept)
#   tools/pgserver.sh resume DIR            start a halted server again, where it listened before
#
# The cluster lives in a new folder under ${TMPDIR:-/tmp} (a Unix socket path must stay short),
# owned by the user the server runs as: the caller, or "nobody" when the caller is root, since
# initdb and the server refuse root. The server listens on no TCP address, only on a socket in
# that folder (a system cluster may hold the usual port), checks passwords with SCRAM (or trusts
# every local connection with --trust, for tests that need such a server) and runs with
# fsync=off. Its one superuser has a random password. DIR/server.env holds KEY=VALUE lines:
# DKPG_HOST (the socket folder), DKPG_PORT, DKPG_USER, DKPG_PASSWORD, DKPG_CLUSTER.
set -euo pipefail

die() { echo "pgserver: $*" >&2; exit 1; }

[ $# -ge 2 ] || die "usage: $0 start|stop|halt|resume DIR [--trust]"
action=$1
dir=$(realpath -m -- "$2")
cd /   # the server's user may not enter the caller's folder
auth=scram-sha-256
[ "${3:-}" = "--trust" ] && auth=trust

bindir=$(pg_config --bindir 2>/dev/null) || die "pg_config not found (tools/deps.sh installs libpq-dev)"
[ -x "$bindir/initdb" ] || die "no initdb in $bindir (tools/deps.sh installs postgresql)"

# Runs a command as the server's user.
if [ "$(id -u)" -eq 0 ]; then
  runas=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
  owner=nobody:nogroup
else
  runas=()
  owner=
fi
as_server() { "${runas[@]}" "$@"; }

read_env() {
  [ -f "$dir/server.env" ] || return 1
  cluster=$(sed -n 's/^DKPG_CLUSTER=//p' "$dir/server.env")
  [ -n "$cluster" ]
}

stop() {
  read_env || return 0
  if [ -f "$cluster/data/postmaster.pid" ]; then
    as_server "$bindir/pg_ctl" -D "$cluster/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf -- "$cluster"
  rm -f -- "$dir/server.env"
}

case "$action" in
start)
  mkdir -p "$dir"
  stop   # a server a crashed run left behind
  cluster=$(mktemp -d "${TMPDIR:-/tmp}/dkpg.XXXXXX")
  chmod 700 "$cluster"
  password=$(head -c 24 /dev/urandom | base64 | tr -d '/+=')
  printf '%s\n' "$password" > "$cluster/pwfile"
  [ -n "$owner" ] && chown -R "$owner" "$cluster"
  if ! as_server "$bindir/initdb" -D "$cluster/data" -U dk_super --pwfile="$cluster/pwfile" \
         --auth="$auth" -E UTF8 --locale=C.UTF-8 >"$cluster/initdb.log" 2>&1; then
    cat "$cluster/initdb.log" >&2
    rm -rf -- "$cluster"
    die "initdb failed"
  fi
  rm -f "$cluster/pwfile"
  cat >> "$cluster/data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = '$cluster'
port = 5432
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 200
password_encryption = scram-sha-256
EOF
  if ! as_server "$bindir/pg_ctl" -D "$cluster/data" -l "$cluster/server.log" -w -t 30 start >/dev/null; then
    cat "$cluster/server.log" >&2 || true
    rm -rf -- "$cluster"
    die "the server did not start"
  fi
  umask 077
  cat > "$dir/server.env" <<EOF
DKPG_HOST=$cluster
DKPG_PORT=5432
DKPG_USER=dk_super
DKPG_PASSWORD=$password
DKPG_CLUSTER=$cluster
EOF
  ;;
stop)
  stop
  ;;
halt)
  read_env || die "no server in $dir"
  as_server "$bindir/pg_ctl" -D "$cluster/data" -m fast -w stop >/dev/null
  ;;
resume)
  read_env || die "no server in $dir"
  as_server "$bindir/pg_ctl" -D "$cluster/data" -l "$cluster/server.log" -w -t 30 start >/dev/null
  ;;
*)
  die "unknown action $action (start, stop, halt or resume)"
  ;;
esac
