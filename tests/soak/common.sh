# Shared by the soak scripts: the programs of the default build, a private
# home, a free port, a corvane-syncd with one account, and a PostgreSQL
# cluster of our own (as the postgres user when run as root).

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${CORVANE_BUILD:-$root/build/default}"
ctl="$build/src/ctl/corvanectl"
syncd="$build/src/syncd/corvane-syncd"
for program in "$ctl" "$syncd"; do
  [ -x "$program" ] || { echo "missing $program: build first (make build)" >&2; exit 2; }
done

work="$(mktemp -d /tmp/corvane-soak.XXXXXX)"
chmod 755 "$work"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

pids=()
pg_data=""
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "$pg_data" ] && as_postgres "$pg_bin/pg_ctl" -D "$pg_data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

EMAIL=soak@example.org
PASSWORD=soak-secret
echo "$PASSWORD" > "$work/password"

free_port() {
  local port
  for port in $(shuf -i 20000-60000 -n 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
  return 1
}

# start_server DB: corvane-syncd on a free port of 127.0.0.1 with the account
# EMAIL; sets server to its address.
start_server() {
  local db="$1" port
  echo "$PASSWORD" | "$syncd" --db "$db" add-user "$EMAIL" >/dev/null
  port="$(free_port)"
  "$syncd" --db "$db" --listen "127.0.0.1:$port" > "$work/syncd-$port.log" 2>&1 &
  pids+=($!)
  server="http://127.0.0.1:$port"
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "corvane-syncd did not start:" >&2; cat "$work/syncd-$port.log" >&2; return 1
}

as_postgres() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

# start_postgres: a temporary cluster; sets pg_address, or prints why not and fails.
start_postgres() {
  pg_bin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)"
  [ -n "$pg_bin" ] || { echo "PostgreSQL is not installed"; return 1; }
  local dir="$work/pg"
  mkdir -p "$dir" && { [ "$(id -u)" -ne 0 ] || chown postgres "$dir"; }
  as_postgres "$pg_bin/initdb" -D "$dir/data" -A trust -U postgres >/dev/null || return 1
  pg_data="$dir/data"
  as_postgres "$pg_bin/pg_ctl" -D "$pg_data" -l "$dir/log" -w -o "-p 5432 -k $dir -c listen_addresses='' -c max_connections=200" start >/dev/null || return 1
  as_postgres "$pg_bin/createdb" -h "$dir" -p 5432 -U postgres corvane || return 1
  pg_address="postgresql:///corvane?host=$dir&port=5432&user=postgres"
}

# sync_store STORE: replaces the calling (sub)shell with corvanectl, so that
# `(sync_store S) &` leaves one process to time or kill.
sync_store() {
  exec "$ctl" --store "$1" sync --server "$server" --email "$EMAIL" --password-stdin < "$work/password"
}
