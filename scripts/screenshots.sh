#!/usr/bin/env bash
# Regenerates the README's pictures: builds labbench, runs it offscreen on a
# simulated ZOR with a settings.txt of its own, sets up each instrument as the
# guide shows it and copies the pictures to docs/screenshots/.
# LABBENCH_BUILD names the build folder (default: build, as scripts/run-demo.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${LABBENCH_BUILD:-build}

scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target zor-sim labbench-shots

# A scratch folder keeps the simulator's link and settings.txt away from the
# user's own; its name is short, so that the port name fits its box in the
# settings picture.
scratch=$(mktemp -d /tmp/zor.XXXX)
sim=
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

link="$scratch/zor"
"$root/$build/sim/zor-sim" --link "$link" >"$scratch/zor-sim.log" 2>&1 &
sim=$!
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
[ -e "$link" ] || { cat "$scratch/zor-sim.log"; echo "the simulator did not start"; exit 1; }
# The fastest line, so that every picture holds fresh frames.
printf '#%s#2500000#9#ZOR' "$link" >"$scratch/settings.txt"

(cd "$scratch" && "$root/$build/tools/labbench-shots" --readme shots 2000 >/dev/null)

# The Wobuloskop measures a circuit: a second simulator with a 1 kHz low-pass
# between the generator and channel 1, the generator on channel 2.
kill "$sim" && wait "$sim" 2>/dev/null || true
"$root/$build/sim/zor-sim" --link "$link" --circuit lowpass:1k >"$scratch/zor-sim.log" 2>&1 &
sim=$!
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
[ -e "$link" ] || { cat "$scratch/zor-sim.log"; echo "the simulator did not start"; exit 1; }
(cd "$scratch" && "$root/$build/tools/labbench-shots" --readme --only wobuloskop shots 1000 >/dev/null)

# Every tab's picture, to the guide's folder.
mkdir -p docs/screenshots
for tab in oscyloskop generator analizator analizator-log wobuloskop multimetr ustawienia; do
  cp "$scratch/shots/$tab.png" "docs/screenshots/$tab.png"
done
echo "pictures written to docs/screenshots/"
