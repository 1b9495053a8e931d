#!/usr/bin/python3
"""A clamp run of 10^6 steps of the squid axon started from Python, from the
batch tool and from NEURON's Python interface, in one invocation.

  bench/python_overhead.py --cli build/membrix-cli [--repeats N]

(bench/python_overhead.sh builds the batch tool and the module and installs
NEURON where it is missing.) The module must be importable (PYTHONPATH=build/python).

The model and the current step are those of bench/compare_neuron.py (its
header says how the two simulators' models are made the same); the step is
0.025 ms, so 10^6 steps are 25 s of model time. Each run is timed from inside:
the batch tool's own elapsed time of its clamp run (JSON), the Python call
run() around the same run of a new session (recording V at every step, made into a NumPy
array), and NEURON's initialisation and run with its recording of v. The best
of N runs of each counts. The goal of the bindings: under 5 % over the batch
tool with V recorded at every step.

Then two tasks, a (u,s) map and a noisy ensemble, from the batch tool (its
own elapsed time of the task, JSON, and the whole process with its
preparation and cost estimate) and from membrix.tasks (the whole Python call:
the same preparation, the task, and reading its files back into pandas
tables), with the same inputs and seed. Goal: the Python call within 5 % of
the batch tool's process.
"""

import argparse
import math
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare_neuron as cn  # noqa: E402

DT_MS = 0.025
STEPS = 1_000_000


def python_session():
    import membrix
    s = membrix.Session()
    s.family("Rariza")
    for name, value, unit in (("uu", 0, "µA/cm²"), ("ss", 0, "mS/cm²"), ("Iind", cn.I_PA, "pA"),
                              ("t_Iind", 1e6, "ms"), ("dt", DT_MS, "ms"), ("t_end", STEPS * DT_MS, "ms")):
        s.set(name, value, unit)
    return s


def timed(call):
    start = time.perf_counter()
    result = call()
    return time.perf_counter() - start, result


def cli_run(cli):
    import json
    import subprocess
    args = [cli, "run", "--family", "Rariza", "--set", "uu=0", "--set", "ss=0", "--set", f"Iind={cn.I_PA}",
            "--set", "t_Iind=1000", "--dt", repr(DT_MS / 1000.0), "--t-end", repr(STEPS * DT_MS / 1000.0), "--json"]
    out = json.loads(subprocess.run(args, capture_output=True, text=True, check=True).stdout)
    return out["elapsed_seconds"], out


# The tasks timed: the same options for the batch tool and keywords for Python.
TASKS = [
    ("map", dict(nue=20, nse=10, t_end_ms=500, seed=1, threads=2)),
    ("ensemble", dict(kind="noise", mesh=400, t_end_ms=200, nrate=100, seed=1, threads=2)),
]


def cli_task(cli, task, keywords, folder):
    import json
    import subprocess
    args = [os.path.abspath(cli), task, "--json", "--progress", "none"]
    for name, value in keywords.items():
        args += ["--" + name.replace("_", "-"), str(value)]
    start = time.perf_counter()
    out = subprocess.run(args, capture_output=True, text=True, check=True, cwd=folder)
    # Its own time of the task, and the whole process (with its preparation and cost estimate).
    return json.loads(out.stdout)["elapsed_seconds"], time.perf_counter() - start


def time_tasks(cli, repeats):
    import tempfile
    import membrix.tasks as mt
    print(f"tasks, best of {repeats}:")
    for task, keywords in TASKS:
        best_cli = best_cli_process = best_py = math.inf
        for _ in range(repeats):
            with tempfile.TemporaryDirectory() as folder:
                inside, process = cli_task(cli, task, keywords, folder)
                best_cli, best_cli_process = min(best_cli, inside), min(best_cli_process, process)
            best_py = min(best_py, timed(lambda: mt.run_task(task, **keywords))[0])
        options = " ".join(f"{k}={v}" for k, v in keywords.items())
        print(f"  {task} ({options})")
        print(f"    membrix-cli {task}, the task            {1000 * best_cli:9.1f} ms")
        print(f"    membrix-cli {task}, the whole process   {1000 * best_cli_process:9.1f} ms")
        print(f"    membrix.tasks.{task}, the whole call    {1000 * best_py:9.1f} ms   "
              f"against the process {100 * (best_py / best_cli_process - 1):+6.1f} % (goal within 5 %)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True, help="the membrix-cli program")
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--no-neuron", action="store_true", help="leave NEURON out")
    parser.add_argument("--tasks-only", action="store_true", help="time only the tasks (map, ensemble)")
    args = parser.parse_args()
    if args.tasks_only:
        time_tasks(args.cli, args.repeats)
        return 0

    best = {"cli": math.inf, "py_v": math.inf, "py_none": math.inf, "neuron": math.inf, "neuron_psolve": math.inf}
    model = None
    if not args.no_neuron:
        try:
            model = cn.NeuronModel(DT_MS, STEPS)
        except ImportError:
            print("NEURON is not installed (python3-neuron); it is left out")
    for _ in range(args.repeats):  # in turn, so that all see the same machine
        elapsed, cli = cli_run(args.cli)
        best["cli"] = min(best["cli"], elapsed)
        # A fresh session for each run, as each batch tool run is one: a run
        # starts from what the one before left in the session.
        s = python_session()
        elapsed, r = timed(lambda: s.run(record=["V"]))
        best["py_v"] = min(best["py_v"], elapsed)
        s = python_session()
        best["py_none"] = min(best["py_none"], timed(lambda: s.run(record=[]))[0])
        if model is not None:
            best["neuron"] = min(best["neuron"], model.run(compiled=False))
            best["neuron_psolve"] = min(best["neuron_psolve"], model.run(compiled=True))

    assert r.steps == cli["steps"] == STEPS and len(r["V"]) == STEPS
    same = len(r.spike_times_ms) == len(cli["spike_times"]) and all(
        abs(a / 1000.0 - b) <= 1e-9 * abs(b) for a, b in zip(r.spike_times_ms, cli["spike_times"]))  # ms and s
    print(f"model: classic squid axon, {cn.I_PA:g} pA, dt {DT_MS:g} ms, {STEPS} steps; "
          f"{len(r.spike_times_ms)} spikes, the same in Python and the batch tool: {'yes' if same else 'NO'}")
    print(f"run time, best of {args.repeats}:")
    base = best["cli"]
    print(f"  membrix-cli (clamp run)                  {1000 * base:9.1f} ms")
    print(f"  Python Session.run(record=['V'])         {1000 * best['py_v']:9.1f} ms   "
          f"overhead {100 * (best['py_v'] / base - 1):+6.1f} % (goal under 5 %)")
    print(f"  Python Session.run(record=[])            {1000 * best['py_none']:9.1f} ms   "
          f"overhead {100 * (best['py_none'] / base - 1):+6.1f} %")
    if model is not None:
        print(f"  NEURON run() (stdrun continuerun)        {1000 * best['neuron']:9.1f} ms   "
              f"ratio NEURON/Python {best['neuron'] / best['py_v']:6.2f}")
        print(f"  NEURON ParallelContext.psolve            {1000 * best['neuron_psolve']:9.1f} ms   "
              f"ratio NEURON/Python {best['neuron_psolve'] / best['py_v']:6.2f}")
    time_tasks(args.cli, args.repeats)
    return 0


if __name__ == "__main__":
    sys.exit(main())
