#!/usr/bin/env bash
# Installs what is missing, builds labbench and runs it on a simulated ZOR.
# With a display the program opens in a window; without one it runs offscreen
# and saves a screenshot of each tab after opening the port.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target labbench zor-sim labbench-shots labbench-cli

# The demo keeps its own settings.txt, away from the user's.
demo="$root/demo"
mkdir -p "$demo"
link="$demo/zor-port"
"$root/build/sim/zor-sim" --link "$link" >"$demo/zor-sim.log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
[ -e "$link" ] || { echo "the simulator did not start; see $demo/zor-sim.log"; exit 1; }
printf '#%s#2500000#9#ZOR' "$link" >"$demo/settings.txt"

cd "$demo"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "labbench is running on the simulated ZOR at $link: press \"Open port\"."
  "$root/build/app/labbench"
else
  "$root/build/tools/labbench-shots" "$demo/screenshots"
  echo "No display: screenshots of each tab are in $demo/screenshots"
fi
