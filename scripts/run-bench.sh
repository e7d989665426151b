#!/usr/bin/env bash
# Builds the benchmarks (installing what is missing first) and runs them all,
# printing every figure as `name: value unit`. The live figures are taken
# offscreen and again under Xvfb. Options:
#   --quick   shorter runs (5 s of streaming instead of 20 s, fewer rounds)
# LABBENCH_BENCH_BUILD and LABBENCH_BENCH_BUILD_TYPE choose the build folder
# (build-bench) and type (Release).
set -euo pipefail
cd "$(dirname "$0")/.."

live_seconds=20
rounds=3
repeats=5
if [ "${1:-}" = "--quick" ]; then
  live_seconds=5
  rounds=1
  repeats=3
fi

scripts/install-deps.sh libfftw3-dev xvfb xauth

build="${LABBENCH_BENCH_BUILD:-build-bench}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${LABBENCH_BENCH_BUILD_TYPE:-Release}" -DLABBENCH_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target benchmarks >/dev/null
bench="$build/bench"

export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"

echo "== machine"
echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "== link (unpaced simulator, pseudo-terminal)"
"$bench/bench-link" --seconds 3 --rounds "$rounds"

echo "== link, Windows build on the Win32 stand-in with Windows timer ticks"
"$bench/bench-link-win" --seconds 3 --rounds "$rounds"

echo "== repaint (offscreen)"
QT_QPA_PLATFORM=offscreen "$bench/bench-repaint"

echo "== spectrum"
"$bench/bench-spectrum"

echo "== responsiveness (offscreen)"
QT_QPA_PLATFORM=offscreen "$bench/bench-respond" --repeats "$repeats"

echo "== labbench-cli capture, 2,500,000 bit/s, one and two channels"
"$bench/bench-capture" --seconds "$live_seconds" --channels 1
"$bench/bench-capture" --seconds "$live_seconds" --channels 2

echo "== labbench-cli sweep over the simulator's circuits"
if [ "$rounds" = 1 ]; then
  "$bench/bench-sweep" --quick
else
  "$bench/bench-sweep"
fi

echo "== live, 2,500,000 bit/s, offscreen"
QT_QPA_PLATFORM=offscreen "$bench/bench-live" --seconds "$live_seconds"

echo "== live, 2,500,000 bit/s, Xvfb (server's own CPU share beside)"
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
sleep 1
DISPLAY="$display" QT_QPA_PLATFORM=xcb "$bench/bench-live" --seconds "$live_seconds" \
  --server-pid "$server"
kill "$server"
trap - EXIT

echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
