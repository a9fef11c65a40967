#!/usr/bin/env bash
# Whole-process comparison with Taskwarrior on the same tasks (10,000 by
# default): importing them, dumping them (`corvanectl dump` against
# `task export`) and adding one item (`corvanectl add-item` against
# `task add`). Each step runs 5 times; the median wall time and the median
# peak resident size (/usr/bin/time) are printed side by side.
#
#   bench/peer.sh [N]
#
# Needs corvanectl and peer_tasks in build/default (or $PEER_BUILD):
#   cmake --build --preset default --target corvanectl peer_tasks
# Taskwarrior (Debian's taskwarrior) is installed with apt-get when `task` is
# missing. Everything happens in a temporary folder, removed at the end; the
# user's own Corvane store and Taskwarrior data are never touched.
set -euo pipefail
cd "$(dirname "$0")/.."

N=${1:-10000}
RUNS=5
LIMIT=${PEER_TIMEOUT:-120}   # seconds for any one command
BUILD=${PEER_BUILD:-build/default}
CTL=$PWD/$BUILD/src/ctl/corvanectl
GEN=$PWD/$BUILD/bench/peer_tasks

for program in "$CTL" "$GEN"; do
  if [ ! -x "$program" ]; then
    echo "missing $program: cmake --build --preset default --target corvanectl peer_tasks" >&2
    exit 1
  fi
done
if [ ! -x /usr/bin/time ]; then
  echo "missing /usr/bin/time (Debian package time)" >&2
  exit 1
fi

# Taskwarrior only for this benchmark.
if ! command -v task >/dev/null; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  candidate() { apt-cache policy taskwarrior 2>/dev/null | sed -n 's/^ *Candidate: *//p'; }
  if [ -z "$(candidate)" ] || [ "$(candidate)" = "(none)" ]; then
    "${sudo[@]}" apt-get update -qq
  fi
  if [ -z "$(candidate)" ] || [ "$(candidate)" = "(none)" ]; then
    echo "taskwarrior is not available from apt" >&2
    exit 1
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends taskwarrior >/dev/null
fi

TMP=$(mktemp -d "${TMPDIR:-/tmp}/corvane-peer.XXXXXX")
trap 'rm -rf "$TMP"' EXIT

STORE=$TMP/corvane/store.sqlite
export TASKRC=$TMP/taskrc TASKDATA=$TMP/task
cat >"$TASKRC" <<EOF
data.location=$TASKDATA
confirmation=off
verbose=nothing
color=off
detection=off
hooks=off
EOF

timeout "$LIMIT" "$GEN" "$N" "$TMP/tasks.corvx" "$TMP/tasks.json" 2>/dev/null

# timed FILE COMMAND...: appends "seconds kilobytes" of one run to FILE.
# timeout ends the whole process group, /usr/bin/time included, so a run
# that overran leaves no line.
timed() {
  local out=$1
  shift
  rm -f "$TMP/run"
  if ! timeout "$LIMIT" /usr/bin/time -o "$TMP/run" -f '%e %M' "$@" >/dev/null 2>"$TMP/stderr"; then
    echo "failed or over ${LIMIT} s: $*" >&2
    tail -n 5 "$TMP/stderr" >&2
    exit 1
  fi
  tail -n 1 "$TMP/run" >>"$out"
}

# median FILE COLUMN
median() {
  sort -n -k"$2","$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}

fresh_stores() {
  rm -rf "$TMP/corvane" "$TASKDATA"
  mkdir -p "$TMP/corvane" "$TASKDATA"
}

for ((i = 0; i < RUNS; i++)); do
  fresh_stores
  timed "$TMP/import.corvane" "$CTL" --store "$STORE" import "$TMP/tasks.corvx"
  timed "$TMP/import.task" task import "$TMP/tasks.json"
done
# The stores of the last run hold the N tasks for the other steps.
corvane_items=$("$CTL" --store "$STORE" dump 2>/dev/null | grep -c '"completionPercentage"' || true)
task_items=$(task count 2>/dev/null || true)
if [ "$corvane_items" != "$N" ] || [ "$task_items" != "$N" ]; then
  echo "the imports hold $corvane_items (Corvane) and $task_items (Taskwarrior) tasks, not $N" >&2
  exit 1
fi
for ((i = 0; i < RUNS; i++)); do
  timed "$TMP/dump.corvane" "$CTL" --store "$STORE" dump
  timed "$TMP/dump.task" task export
done
for ((i = 0; i < RUNS; i++)); do
  timed "$TMP/add.corvane" "$CTL" --store "$STORE" add-item --list Peer "One more task"
  timed "$TMP/add.task" task add "One more task"
done

echo "$N tasks, median of $RUNS runs: wall time in seconds, peak resident size in MiB"
echo "($(task --version 2>/dev/null | head -n 1 | sed 's/^/Taskwarrior /'))"
printf '%-22s %10s %8s %14s %8s %12s\n' step Corvane MiB Taskwarrior MiB "time ratio"
row() {
  local name=$1 step=$2
  awk -v name="$name" \
      -v ct="$(median "$TMP/$step.corvane" 1)" -v cm="$(median "$TMP/$step.corvane" 2)" \
      -v tt="$(median "$TMP/$step.task" 1)" -v tm="$(median "$TMP/$step.task" 2)" \
      'BEGIN { printf "%-22s %10.2f %8.1f %14.2f %8.1f %12s\n", name, ct, cm / 1024, tt, tm / 1024,
               (tt > 0 ? sprintf("%.2f", ct / tt) : "-") }'
}
row import import
row "dump / task export" dump
row "add one item" add

# For bench/run's table: each step's median time beside Taskwarrior's.
if [ -n "${CORVANE_BENCH_TABLE:-}" ]; then
  for pair in import:import dump:export add:add; do
    step=${pair%%:*}
    printf 'peer.sh\t%s\t%s\t%s\t%s\ts\n' "corvanectl $step" "task ${pair#*:}" \
      "$(median "$TMP/$step.corvane" 1)" "$(median "$TMP/$step.task" 1)" >> "$CORVANE_BENCH_TABLE"
  done
fi
