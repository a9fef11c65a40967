#!/usr/bin/env bash
# The sync server under load: LOAD_CLIENTS corvanectl stores (50) add items
# to one shared list and sync with corvane-syncd on 127.0.0.1 for
# LOAD_SECONDS (60), on SQLite and on PostgreSQL (skipped with the reason
# when no cluster can start). Then every store syncs twice more, and all must
# hold the same lists and items, every item whose sync was accepted among
# them. Prints syncs per second and the 99th percentile of a sync's time.
set -euo pipefail
source "$(dirname "$0")/common.sh"

clients="${LOAD_CLIENTS:-50}"
seconds="${LOAD_SECONDS:-60}"

names_of() { # the sorted names of lists and items in a store
  "$ctl" --store "$1" dump | grep -o '"name": "[^"]*"' | sort
}

client() { # client DIR NUMBER: add an item, sync, until the time is up
  local dir="$1" k="$2" n=0 start end status
  local stop=$((SECONDS + seconds))
  while [ "$SECONDS" -lt "$stop" ]; do
    n=$((n + 1))
    "$ctl" --store "$dir/$k.sqlite" add-item -l Load "client $k edit $n" >/dev/null 2>>"$dir/$k.err"
    start=$(date +%s%N)
    status=0; (sync_store "$dir/$k.sqlite") >/dev/null 2>>"$dir/$k.err" || status=$?
    end=$(date +%s%N)
    if [ "$status" -eq 0 ]; then
      echo "client $k edit $n" >> "$dir/accepted"
      echo $(((end - start) / 1000000)) >> "$dir/latency"
    else
      echo "client $k edit $n: sync ended with $status" >> "$dir/refused"
    fi
  done
}

run() { # run NAME DB
  local name="$1" dir="$work/$1"
  mkdir -p "$dir"; : > "$dir/accepted"; : > "$dir/latency"; : > "$dir/refused"
  start_server "$2"
  "$ctl" --store "$dir/0.sqlite" add-list Load >/dev/null
  (sync_store "$dir/0.sqlite") >/dev/null
  # The other stores start as copies of the first after its sync: one list,
  # known to the server.
  for k in $(seq 1 $((clients - 1))); do cp "$dir/0.sqlite" "$dir/$k.sqlite"; done

  for k in $(seq 0 $((clients - 1))); do client "$dir" "$k" & done
  wait $(jobs -p | grep -v -F -x -f <(printf '%s\n' "${pids[@]}")) 2>/dev/null || true

  for _ in 1 2; do
    for k in $(seq 0 $((clients - 1))); do (sync_store "$dir/$k.sqlite") >/dev/null; done
  done
  names_of "$dir/0.sqlite" > "$dir/names-0"
  for k in $(seq 1 $((clients - 1))); do
    names_of "$dir/$k.sqlite" | cmp -s - "$dir/names-0" \
      || { echo "$name: client $k differs from client 0" >&2; diff <(names_of "$dir/$k.sqlite") "$dir/names-0" | head >&2; exit 1; }
  done
  while read -r edit; do
    grep -qxF "\"name\": \"$edit\"" "$dir/names-0" || { echo "$name: accepted edit \"$edit\" is missing" >&2; exit 1; }
  done < "$dir/accepted"

  local syncs p99
  syncs=$(wc -l < "$dir/latency")
  p99=$(sort -n "$dir/latency" | awk '{ v[NR] = $1 } END { i = int(NR * 0.99 + 0.999); if (i < 1) i = 1; print v[i] }')
  printf '%s: %d clients, %d s: %d syncs accepted (%s per second), %d refused, 99th percentile %s ms; all converged\n' \
    "$name" "$clients" "$seconds" "$syncs" "$(awk -v s="$syncs" -v t="$seconds" 'BEGIN { printf "%.1f", s / t }')" \
    "$(wc -l < "$dir/refused")" "$p99"
}

run SQLite "sqlite:$work/server.sqlite"
if start_postgres; then
  run PostgreSQL "$pg_address"
else
  echo "PostgreSQL: skipped, the cluster could not start"
fi
