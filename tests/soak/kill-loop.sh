#!/usr/bin/env bash
# Kills corvanectl with SIGKILL at random moments while it saves an added
# item, imports a list file or syncs with corvane-syncd on 127.0.0.1, for
# SOAK_ROUNDS rounds (200). After every round the store must open, pass
# PRAGMA integrity_check, and hold every item whose command completed.
set -euo pipefail
source "$(dirname "$0")/common.sh"

rounds="${SOAK_ROUNDS:-200}"
store="$work/store.sqlite"
start_server "sqlite:$work/server.sqlite"

# A list file of 2,000 items, so that an import is long enough to be hit.
for i in $(seq 2000); do echo "imported $i"; done > "$work/Imported.csv"
"$ctl" --store "$work/source.sqlite" import-csv "$work/Imported.csv" >/dev/null
"$ctl" --store "$work/source.sqlite" export -o "$work/lists.corvx" >/dev/null
"$ctl" --store "$store" add-list Soak >/dev/null

expected="$work/expected"; : > "$expected"
imports=0; syncs=0; killed=0
for round in $(seq "$rounds"); do
  case $((RANDOM % 3)) in
    0) what=add;    "$ctl" --store "$store" add-item -l Soak "soak item $round" >/dev/null 2>&1 & ;;
    1) what=import; "$ctl" --store "$store" import "$work/lists.corvx" >/dev/null 2>&1 & ;;
    2) what=sync;   (sync_store "$store") >/dev/null 2>&1 & ;;
  esac
  pid=$!
  ms=$((RANDOM % 1500))
  sleep "$((ms / 1000)).$(printf '%03d' $((ms % 1000)))"
  kill -KILL "$pid" 2>/dev/null || true
  status=0; wait "$pid" 2>/dev/null || status=$?
  if [ "$status" -eq 137 ]; then
    killed=$((killed + 1))
  elif [ "$status" -eq 0 ]; then
    [ "$what" = add ] && echo "soak item $round" >> "$expected"
    [ "$what" = import ] && imports=$((imports + 1))
    [ "$what" = sync ] && syncs=$((syncs + 1))
  else
    echo "round $round: $what ended with status $status" >&2; exit 1
  fi

  check="$(sqlite3 "$store" 'PRAGMA integrity_check')"
  [ "$check" = ok ] || { echo "round $round ($what): integrity_check: $check" >&2; exit 1; }
  "$ctl" --store "$store" dump > "$work/dump.json" 2> "$work/dump.err" \
    || { echo "round $round ($what): the store does not open:" >&2; cat "$work/dump.err" >&2; exit 1; }
  while read -r name; do
    grep -qF "\"name\": \"$name\"" "$work/dump.json" \
      || { echo "round $round ($what): \"$name\" was saved and is gone" >&2; exit 1; }
  done < "$expected"
  lists="$(grep -cF '"name": "Imported.csv"' "$work/dump.json" || true)"
  [ "$lists" -ge "$imports" ] \
    || { echo "round $round ($what): $imports imports completed, $lists imported lists" >&2; exit 1; }
done
echo "kill loop: $rounds rounds, $killed killed mid-command, $(wc -l < "$expected") adds, $imports imports and $syncs syncs completed; the store stayed whole"
