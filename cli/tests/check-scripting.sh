#!/usr/bin/env bash
# Runs the user guide's "Scripting" examples as they are written, against
# zor-sim: in a scratch folder whose settings.txt names the simulator, with
# the build's labbench-cli first on the PATH. Each example must succeed and
# print what the simulator's signals give. Exit 77 (skipped) without numpy.
set -uo pipefail
build=${1:?usage: check-scripting.sh <build folder> <README.md>}
readme=${2:?usage: check-scripting.sh <build folder> <README.md>}
build=$(cd "$build" && pwd)

# The examples say python3: the first one on the PATH that has numpy (a
# Python of one's own may shadow the system's, which has Debian's numpy).
python=
for candidate in "$(command -v python3)" /usr/bin/python3; do
  if [ -x "$candidate" ] && "$candidate" -c 'import numpy' 2>/dev/null; then
    python=$candidate
    break
  fi
done
[ -n "$python" ] || { echo "numpy is missing (Debian: python3-numpy); the examples need it"; exit 77; }

scratch=$(mktemp -d)
sim=
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

"$build/sim/zor-sim" --link "$scratch/zor" >"$scratch/sim.log" 2>&1 &
sim=$!
for _ in $(seq 100); do
  [ -e "$scratch/zor" ] && break
  sleep 0.1
done
printf '#%s#2500000#9#ZOR' "$scratch/zor" >"$scratch/settings.txt"
mkdir -p "$scratch/bin"
ln -s "$build/cli/labbench-cli" "$scratch/bin/labbench-cli"
ln -s "$python" "$scratch/bin/python3"

# The indented blocks of the section, each one example.
count=$("$python" - "$readme" "$scratch" <<'PY'
import sys
text = open(sys.argv[1], encoding="utf-8").read()
section = text.split("\n## Scripting\n", 1)[1].split("\n## ", 1)[0]
blocks, current = [], []
for line in section.split("\n") + [""]:
    if line.startswith("    "):
        current.append(line[4:])
    elif current:
        blocks.append("\n".join(current) + "\n")
        current = []
for i, block in enumerate(blocks):
    with open(f"{sys.argv[2]}/example{i}.sh", "w", encoding="utf-8") as f:
        f.write(block)
print(len(blocks))
PY
)

failures=0
run() { # run <example> <pattern the output must match> <lines that must match>
  local out
  out=$(cd "$scratch" && PATH="$scratch/bin:$PATH" bash -euo pipefail "example$1.sh" 2>&1)
  local rc=$?
  echo "$out"
  if [ "$rc" -ne 0 ] || [ "$(grep -cE "$2" <<<"$out")" -ne "$3" ]; then
    echo "FAILED: example $1 (exit $rc)"
    failures=$((failures + 1))
  else
    echo "ok: example $1"
  fi
}

[ "$count" = 3 ] || { echo "FAILED: the section should hold 3 examples, found $count"; exit 1; }
# Two channels of 512 samples; channel 2 is the +-1 V calibrator.
run 0 '^512 samples over [0-9.]+ ms, ch2 from -1\.0[0-2] to 1\.0[0-2] V$' 1
# The power-up tone, 1250 mV peak: 0.884 V RMS on every board.
run 1 "^board [ABC]: 0\.88[0-9] V RMS ok$" 3
# The same tone on the meter: a line a second (and the interval the end cut short).
run 2 '^[4-6] lines, AC RMS from 0\.88[0-9] to 0\.88[0-9] V$' 1
exit $((failures > 0))
