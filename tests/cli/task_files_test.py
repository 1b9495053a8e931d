#!/usr/bin/env python3
"""Files of the declared commands that the generic table cannot see.

An output onto a recording that a command reads from a data folder, and the
time-course file of the fiber with drawing off.

Usage: task_files_test.py MEMBRIX_CLI SOURCE_DIR
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

CLI, SOURCE = sys.argv[1], sys.argv[2]
SAMPLES = os.path.join(SOURCE, "resources", "samples")
failures = []


def run(args, cwd):
    return subprocess.run([CLI] + args, cwd=cwd, capture_output=True, text=True, timeout=300)


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


with tempfile.TemporaryDirectory() as work:
    data = os.path.join(work, "data")
    shutil.copytree(os.path.join(SAMPLES, "Data"), os.path.join(data, "Data"))
    act_id = os.path.join(SAMPLES, "Act_Inact.id")
    # Recordings that a call reads, each named as one of its outputs.
    recording = os.path.join(data, "Data", "Tessel", "a50.d")
    if not os.path.exists(recording):
        recording = os.path.join(data, "Data", "Tessel", "DataOf_SSA12", "a50.d")
    cases = [
        (["act-inact", "--id", act_id, "--data", data, "--save-g", recording], recording),
        (["act-inact", "--id", act_id, "--data", data, "--save-norm", recording], recording),
        (["act-inact", "--id", act_id, "--data", data, "--save-tau", recording], recording),
    ]
    for args, guarded in cases:
        before = digest(guarded)
        r = run(args, work)
        if r.returncode == 0 or digest(guarded) != before or os.path.exists(guarded + ".part"):
            failures.append(f"{' '.join(args[:1] + args[5:])}: exit {r.returncode}, "
                            f"changed {digest(guarded) != before}: {r.stderr.strip()[:200]}")

    # With drawing off the time courses hold the first step only.
    r = run(["fiber", "--segments", "4", "--t-end-ms", "1", "--ndraw", "0", "--ends", "ends.dat",
             "--profiles", "profiles.dat"], work)
    if r.returncode != 0:
        failures.append(f"fiber --ndraw 0: exit {r.returncode}: {r.stderr.strip()[:200]}")
    else:
        with open(os.path.join(work, "ends.dat")) as f:
            lines = [line for line in f if line.strip() and not line.startswith("#")]
        if len(lines) != 1:
            failures.append(f"fiber --ndraw 0: {len(lines)} time-course lines, expected the first step only")

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
