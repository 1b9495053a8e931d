#!/usr/bin/env python3
"""Commands of the batch tool against the results they must give.

Each case runs one command (or a few) in a fresh folder holding copies of the
sample files and checks its exit status and what it printed or wrote.

Usage: command_results_test.py MEMBRIX_CLI SOURCE_DIR
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

CLI, SOURCE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
SAMPLES = os.path.join(SOURCE, "resources", "samples")
failures = []
passed = 0


def run(args, cwd):
    return subprocess.run([CLI] + args, cwd=cwd, capture_output=True, text=True, timeout=300)


def summary(r):
    return json.loads(r.stdout)


def columns(path, skip_comments=True):
    rows = []
    with open(path) as f:
        for line in f:
            if skip_comments and line.startswith("#") or not line.strip():
                continue
            rows.append([float(x) for x in line.split()])
    return rows


# --- checks -------------------------------------------------------------------------

def fiber_follows_the_ramp(folder):
    r = run(["fiber", "--id", "ramp.id", "--smpl", "1", "--record", "5", "--segments", "4"], folder)
    assert r.returncode == 0, r.stderr
    soma = {round(row[0], 2): row[1] for row in columns(os.path.join(folder, "fiber_ends.dat"))}
    # ramp_1.d: -70 mV, then up to -20 mV in 10 ms from 5 ms on, then back.
    assert abs(soma[2.0] + 70.0) < 0.01, soma[2.0]
    assert -50.0 < soma[10.0] < -40.0, soma[10.0]


def fiber_keeps_the_files_stimulus(folder):
    ran = summary(run(["run", "--id", "AP.id", "--json"], folder))
    r = run(["fiber", "--id", "AP.id", "--json"], folder)
    assert r.returncode == 0, r.stderr
    fiber = summary(r)
    spike = ran["spike_times"][0] * 1000.0
    assert abs(fiber["soma_spike_ms"] - spike) < 0.2, (fiber["soma_spike_ms"], spike)
    assert fiber["t_end_ms"] == 30 and fiber["soma_iind"] == 200, fiber  # the file's, not the command's
    # An option given still wins over the file.
    quiet = summary(run(["fiber", "--id", "AP.id", "--soma-iind", "0", "--json"], folder))
    assert quiet["soma_spike_ms"] < 0, quiet["soma_spike_ms"]


# A passive cell held at -120 mV and stepped to -100 ... -80 mV: the leak is
# inward at every step.
PASSIVE_STEPS = ["steps", "--family", "Passive", "--n", "2", "--v0", "-120", "--v-dep-step", "-110", "--t1-ms", "2",
                 "--d1-ms", "5", "--t2-ms", "15", "--d2-ms", "5", "--t3-ms", "30", "--dv", "10", "--vmin", "-100",
                 "--vmax", "-80", "--t-end-ms", "35", "--json"]


def steps_ignore_the_recording_time_scale(folder):
    plain = summary(run(PASSIVE_STEPS, folder))
    scaled = summary(run(PASSIVE_STEPS + ["--set", "scx_Smpl=1"], folder))
    assert plain["Imin_nA"] == scaled["Imin_nA"], (plain["Imin_nA"], scaled["Imin_nA"])
    assert plain["Imin_nA"][0] < plain["Imin_nA"][1] < plain["Imin_nA"][2] < 0, plain["Imin_nA"]


def steps_run_the_fiber(folder):
    single = summary(run(PASSIVE_STEPS, folder))
    r = run(PASSIVE_STEPS + ["--fiber", "--segments", "4"], folder)
    assert r.returncode == 0, r.stderr
    fiber = summary(r)
    # The soma's clamp current with the axon's leak added.
    for a, b in zip(fiber["Imin_nA"], single["Imin_nA"]):
        assert 1.1 * b < a < b < 0, (fiber["Imin_nA"], single["Imin_nA"])


def global_fit_passes_diverging_points(folder):
    for method in ("global", "multistart"):
        r = run(["fit", "--id", "Hodgkin_AP.id", "--fit", "gNa,gK", "--method", method, "--out", "g.id",
                 "--progress", "none", "--json"], folder)
        assert r.returncode == 0, method + ": " + r.stderr[-500:]
        s = summary(r)
        assert s["residual"] < 4e-4, (method, s["residual"])
        assert abs(s["parameters"]["gNa"] - 120) < 2 and abs(s["parameters"]["gK"] - 36) < 1, s["parameters"]
        assert os.path.exists(os.path.join(folder, "g.id"))
        os.remove(os.path.join(folder, "g.id"))


def fit_says_when_nothing_can_move(folder):
    r = run(["fit", "--id", "Hodgkin_AP.id", "--progress", "none"], folder)
    assert r.returncode == 0, r.stderr
    assert "cannot change the deviation" in r.stderr and "gNaR is 0" in r.stderr, r.stderr


def comma_separated_recording(folder):
    with open(os.path.join(folder, "csv.id"), "w") as f:
        f.write("CommonParametersFromFile\n  NSmpls := 1;\n  t_end := 0.001;\nMembrixPhysParameters\n"
                "KeepParams=0\nParametersFromFile\n  SmplFile[Smpl] := 'csv.d';\nend.\n")
    with open(os.path.join(folder, "csv.d"), "w") as f:
        f.write("0.050,-3.91039E-04\n0.100,3.27579E-04\n")
    r = run(["run", "--id", "csv.id", "--json"], folder)
    assert r.returncode == 0, r.stderr
    assert summary(r)["deviation"] is not None


def sweep_files_that_hold_no_sweeps(folder):
    os.mkdir(os.path.join(folder, "folder.txt"))
    with open(os.path.join(folder, "empty.txt"), "w"):
        pass
    with open(os.path.join(folder, "comma.txt"), "w") as f:
        f.write("0,001 -70,5 1\n0,6 0 0\n0,001 -70,5 1\n")
    for name, message in (("folder.txt", "is a folder"), ("empty.txt", "no complete sweep"),
                          ("comma.txt", "decimal comma")):
        for args in (["steps", "--from-sweeps", name, "--n", "1"], ["ramps", name]):
            r = run(args, folder)
            assert r.returncode == 1 and message in r.stderr and "internal error" not in r.stderr, \
                (args, r.returncode, r.stderr)


CASES = [
    fiber_follows_the_ramp,
    fiber_keeps_the_files_stimulus,
    steps_ignore_the_recording_time_scale,
    steps_run_the_fiber,
    global_fit_passes_diverging_points,
    fit_says_when_nothing_can_move,
    comma_separated_recording,
    sweep_files_that_hold_no_sweeps,
]

for case in CASES:
    with tempfile.TemporaryDirectory(prefix="membrix_cmd_") as folder:
        for entry in os.listdir(SAMPLES):
            source = os.path.join(SAMPLES, entry)
            if os.path.isfile(source):
                shutil.copy(source, folder)
        try:
            case(folder)
            passed += 1
            print("ok:", case.__name__)
        except Exception as e:  # noqa: BLE001 - every fault of a case is reported
            failures.append(case.__name__)
            print("FAIL:", case.__name__, repr(e))

print(f"{passed} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
