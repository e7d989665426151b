"""The Windows and the Linux labbench-cli on the same signal give the same
numbers: measure's readouts per frame and capture's table (three frames).

    compare-cli.py FOLDER   # measure-wine.json, measure-linux.json,
                            # capture-wine.csv, capture-linux.csv in FOLDER

Frames are taken at different moments of the same simulated signal, so the
figures agree within what one frame to the next differs by (about 0.5 %),
not digit for digit.
"""
import json
import sys
from pathlib import Path

import numpy as np

folder = Path(sys.argv[1])
problems = []


def lines(name):
    text = (folder / name).read_text(encoding="utf-8").replace("\r", "")
    return [json.loads(line) for line in text.splitlines() if line.strip()]


wine, linux = lines("measure-wine.json"), lines("measure-linux.json")
if len(wine) != 3 or len(linux) != 3:
    problems.append(f"measure gave {len(wine)} and {len(linux)} frames, not 3 and 3")
else:
    for key, tolerance in [("rms_V", 0.01), ("vpp_V", 0.01), ("freq_Hz", 0.01)]:
        a = np.mean([frame["ch1"][key] for frame in wine])
        b = np.mean([frame["ch1"][key] for frame in linux])
        if abs(a - b) > tolerance * abs(b):
            problems.append(f"ch1 {key}: {a} on Windows, {b} on Linux")
    for key, tolerance in [("power_daB", 0.2), ("thdn_pct", 0.3)]:
        a = np.mean([frame[key] for frame in wine])
        b = np.mean([frame[key] for frame in linux])
        if abs(a - b) > tolerance:
            problems.append(f"{key}: {a} on Windows, {b} on Linux")
    if [frame["timebase"] for frame in wine] != [frame["timebase"] for frame in linux]:
        problems.append("the frames' time bases differ")


def table(name):
    text = (folder / name).read_text(encoding="utf-8").replace("\r", "")
    header = [line for line in text.splitlines() if line.startswith("# frame,")]
    return header, np.loadtxt(text.splitlines(), delimiter=",", comments="#")


(wh, wine_csv), (lh, linux_csv) = table("capture-wine.csv"), table("capture-linux.csv")
if wh != lh or wine_csv.shape != linux_csv.shape or wine_csv.shape != (3 * 1024, 3):
    problems.append(f"capture tables {wh} {wine_csv.shape} and {lh} {linux_csv.shape}")
else:
    if not np.array_equal(wine_csv[:, :2], linux_csv[:, :2]):
        problems.append("capture's frame and time columns differ")
    for what in (np.min, np.max, lambda v: np.sqrt(np.mean(v * v))):
        a, b = what(wine_csv[:, 2]), what(linux_csv[:, 2])
        if abs(a - b) > 0.02 * max(abs(b), 0.1):
            problems.append(f"capture's volts: {a} on Windows, {b} on Linux")

for problem in problems:
    print("compare-cli:", problem, file=sys.stderr)
sys.exit(1 if problems else 0)
