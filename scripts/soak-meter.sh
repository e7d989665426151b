#!/usr/bin/env bash
# The meter's recorder over a long run against zor-sim at 2 500 000 bit/s,
# every frame recorded: the window (labbench-meter-soak, offscreen) and
# labbench-cli log, each
#   1. plain, for SECONDS;
#   2. with the line pulled out after a third of it and back 5 s later;
# and labbench-cli log killed with SIGKILL at a random moment.
# Per run: resident memory after the first minute (or the first sixth of a
# shorter run) and at the end, the CPU used as a share of one core, the lines
# and the longest pause between lines; every file must parse whole.
# Not part of the test suite: an hour is the target, the machine may allow less.
# Usage: scripts/soak-meter.sh SECONDS [build folder]
set -euo pipefail
seconds=${1:?usage: soak-meter.sh SECONDS [build folder]}
build=$(cd "${2:-build}" && pwd)
for program in sim/zor-sim cli/labbench-cli tools/labbench-meter-soak; do
  [ -x "$build/$program" ] || { echo "build $program first"; exit 1; }
done

scratch=$(mktemp -d /tmp/soak.XXXX)
sim=
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
ticks=$(getconf CLK_TCK)
settle=$((seconds / 6 < 60 ? seconds / 6 : 60))
[ "$settle" -ge 1 ] || settle=1

start_sim() { # start_sim [zor-sim options]
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  rm -f "$scratch/zor"
  "$build/sim/zor-sim" --link "$scratch/zor" "$@" >"$scratch/sim.log" 2>&1 &
  sim=$!
  for _ in $(seq 100); do [ -e "$scratch/zor" ] && break; sleep 0.1; done
  printf '#%s#2500000#9#ZOR' "$scratch/zor" >"$scratch/settings.txt"
}

rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }

# Every line of the file whole: the "#" lines, the column line, then lines of
# as many fields; prints the lines, the gap lines and the longest pause (s).
check_file() {
  python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
if not data.endswith(b"\n"):
    sys.exit(f"{sys.argv[1]}: the last line is cut")
columns, lines, gaps, last, pause = None, 0, 0, None, 0.0
for raw in data.decode().splitlines():
    if raw.startswith("#"):
        continue
    fields = raw.split(",")
    if raw.startswith("time,"):
        columns = len(fields)
        continue
    if columns is None or len(fields) != columns:
        sys.exit(f"{sys.argv[1]}: a line of {len(fields)} fields, not {columns}: {raw[:80]}")
    seconds = float(fields[1])
    if fields[-1].startswith("gap"):
        gaps += 1
    elif last is not None:
        pause = max(pause, seconds - last)
    last = seconds
    lines += 1
print(f"{lines} lines, {gaps} gap lines, longest pause between lines {pause:.3f} s")
PY
}

# measure NAME PID: memory and CPU of a running program until it ends.
measure() {
  local name=$1 pid=$2 begun settled_rss=0 peak=0 rss now
  begun=$(date +%s.%N)
  while kill -0 "$pid" 2>/dev/null; do
    rss=$(rss_kb "$pid")
    [ "${rss:-0}" -gt "$peak" ] && peak=$rss
    now=$(date +%s.%N)
    if [ "$settled_rss" = 0 ] && awk -v a="$now" -v b="$begun" -v s="$settle" 'BEGIN {exit !(a - b >= s)}'; then
      settled_rss=$rss
    fi
    last_rss=$rss
    last_cpu=$(cpu_ticks "$pid")
    sleep 1
  done
  wait "$pid" && code=0 || code=$?
  now=$(date +%s.%N)
  awk -v n="$name" -v s1="$settled_rss" -v s2="$last_rss" -v p="$peak" -v c="$last_cpu" \
      -v t="$ticks" -v a="$now" -v b="$begun" -v code="$code" -v settle="$settle" 'BEGIN {
    printf "%s: exit %d, %.0f s, RSS %d kB after %d s, %d kB at the end (peak %d kB), CPU %.2f %% of a core\n",
      n, code, a - b, s1, settle, s2, p, 100 * c / t / (a - b) }'
}

run_window() { # run_window NAME FILE
  (cd "$scratch" && exec "$build/tools/labbench-meter-soak" "$2" "$seconds") &
  measure "$1" $!
  check_file "$2"
}

run_cli() { # run_cli NAME FILE
  (cd "$scratch" && exec "$build/cli/labbench-cli" log --every frame --duration "${seconds}s" \
      --timeout 30 -o "$2" 2>"$2.err") &
  measure "$1" $!
  check_file "$2"
  if grep -q "frames lost" "$2.err"; then cat "$2.err"; fi
}

echo "soak of ${seconds} s per run on $(nproc) cores; load now: $(cut -d' ' -f1-3 /proc/loadavg)"
start_sim
run_window "window, every frame" "$scratch/window.csv"
start_sim
run_cli "labbench-cli log, every frame" "$scratch/cli.csv"

pull=$((seconds * 1000 / 3))
start_sim --unplug-after "$pull" --come-back 5000
run_window "window, unplugged after $((pull / 1000)) s for 5 s" "$scratch/window-unplug.csv"
start_sim --unplug-after "$pull" --come-back 5000
run_cli "labbench-cli log, unplugged after $((pull / 1000)) s for 5 s" "$scratch/cli-unplug.csv"

start_sim
(cd "$scratch" && exec "$build/cli/labbench-cli" log --every frame --duration "${seconds}s" \
    -o "$scratch/killed.csv" 2>/dev/null) &
victim=$!
at=$((RANDOM % (seconds > 2 ? seconds - 1 : 1) + 1))
sleep "$at"
kill -9 "$victim"
wait "$victim" 2>/dev/null || true
echo "labbench-cli log killed with SIGKILL after ${at} s:"
check_file "$scratch/killed.csv"
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
