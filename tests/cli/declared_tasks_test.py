#!/usr/bin/env python3
"""Every command of the batch tool, driven from its declaration.

Lists the tasks with `membrix-cli tasks` and, for every task and input, checks
that values are refused before any work, that an output never lands on an
input, that a parameter file through a pipe gives the file's result, and that
the JSON summary and the files' descriptions parse strictly and say what
produced them. A new command is covered by declaring it.

Usage: declared_tasks_test.py MEMBRIX_CLI SOURCE_DIR
"""
import json
import math
import os
import shlex
import shutil
import subprocess
import sys
import tempfile

CLI, SOURCE = sys.argv[1], sys.argv[2]
SAMPLE_ID = os.path.join(SOURCE, "resources", "samples", "Hodgkin_AP.id")
failures = []


def fail(message):
    failures.append(message)
    print("FAIL:", message)


def run(args, cwd, pass_fds=()):
    return subprocess.run([CLI] + args, cwd=cwd, capture_output=True, text=True, timeout=120, pass_fds=pass_fds)


def strict_json(text):
    def refuse(constant):
        raise ValueError("not JSON: " + constant)
    return json.loads(text, parse_constant=refuse)


def digest(path):
    with open(path, "rb") as f:
        return f.read()


tasks = strict_json(run(["tasks"], ".").stdout)
assert tasks, "no task declared"


def bad_values(inp):
    """Values the input must refuse, with why."""
    values = [("nan", "NaN"), ("inf", "infinity"), ("-inf", "minus infinity")]
    low, high = inp.get("low"), inp.get("high")
    if low is not None:
        values.append((repr(low - 1 if not inp["low_open"] else low), "below its range"))
    if high is not None:
        values.append((repr(high + 1 if not inp["high_open"] else high), "above its range"))
    if inp["kind"] == "integer":
        values.append(("1.5", "not whole"))
    return values


with tempfile.TemporaryDirectory() as work:
    for task in tasks:
        name = task["name"]
        inputs = {i["name"]: i for i in task["inputs"]}

        # One vocabulary: times in ms under names ending in _ms, voltages in mV.
        for i in task["inputs"]:
            if i["unit"] in ("s", "V"):
                fail(f"{name} {i['option']}: unit {i['unit']} (times go in ms, voltages in mV)")
            if (i["unit"] == "ms") != i["name"].endswith("_ms"):
                fail(f"{name} {i['option']}: a time must be in ms and named ..._ms")

        # Numbers are checked before any work, with a message naming the input.
        for i in task["inputs"]:
            if i["kind"] not in ("number", "integer"):
                continue
            for value, why in bad_values(i):
                r = run([name, i["option"], value], work)
                if r.returncode != 2 or i["option"] not in r.stderr:
                    fail(f"{name} {i['option']} {value} ({why}): exit {r.returncode}, {r.stderr.strip()[:200]}")

        # Run settings no run can use are refused however they are set.
        if "set" in inputs:
            for setting in ["dt=0", "t_end=-1", "n_Write=0", "NP0.If_I_V_or_g=99"]:
                r = run([name, "--set", setting], work)
                if r.returncode != 2:
                    fail(f"{name} --set {setting}: exit {r.returncode}, {r.stderr.strip()[:200]}")

        # No output lands on an input: each output against the parameter file
        # and against every other input file.
        outputs = [i for i in task["inputs"] if i["kind"] == "output file"]
        file_inputs = [i for i in task["inputs"] if i["kind"] == "input file"]
        for out in outputs:
            for inp in file_inputs:
                target = os.path.join(work, "input_" + inp["name"] + ".id")
                shutil.copy(SAMPLE_ID, target)
                before = digest(target)
                r = run([name, inp["option"], target, out["option"], target], work)
                if r.returncode == 0 or digest(target) != before:
                    fail(f"{name} {out['option']} onto {inp['option']}: exit {r.returncode}, input changed: "
                         f"{digest(target) != before}")
            r = run([name, out["option"], ""], work)
            if r.returncode == 0:
                fail(f"{name} {out['option']} \"\": exit 0")

        # A call that ends quickly: strict JSON that says what produced it,
        # and a description beside every column file. An example may name the
        # sample parameter file, which is copied beside it.
        if task["example"]:
            args = shlex.split(task["example"])
            folder = os.path.join(work, name)
            os.makedirs(folder, exist_ok=True)
            # The sample parameter file with its recordings, which are found
            # beside it (and, read through a pipe, in the current folder).
            samples = os.path.dirname(SAMPLE_ID)
            for f in os.listdir(samples):
                if f.startswith("Hodgkin_AP"):
                    shutil.copy(os.path.join(samples, f), folder)
            r = run([name] + args + ["--json"], folder)
            if r.returncode != 0:
                fail(f"{name} {task['example']}: exit {r.returncode}, {r.stderr.strip()[:300]}")
                continue
            summary = strict_json(r.stdout)
            for key in ["program", "version", "task", "inputs", "seed", "input_files", "complete",
                        "elapsed_seconds"]:
                if key not in summary:
                    fail(f"{name}: the summary has no {key}")
            if summary.get("task") != name or summary.get("complete") is not True:
                fail(f"{name}: task {summary.get('task')}, complete {summary.get('complete')}")
            for out in outputs:
                if "columns" not in out:
                    continue
                for path in summary.get("files", []):
                    side = os.path.join(folder, path + ".json")
                    if os.path.exists(os.path.join(folder, path)) and os.path.exists(side):
                        with open(side) as f:
                            description = strict_json(f.read())
                        if description.get("task") != name or not description.get("columns"):
                            fail(f"{name}: {side} does not describe its file")

            # The parameter file through a pipe gives the file's result.
            if "id" in inputs and "--id" not in args:
                def results(extra, pass_fds=()):
                    r = run([name] + args + extra + ["--json"], folder, pass_fds)
                    if r.returncode != 0:
                        return "exit %d: %s" % (r.returncode, r.stderr.strip()[:200])
                    s = strict_json(r.stdout)
                    for volatile in ["elapsed_seconds", "input_files", "inputs"]:
                        s.pop(volatile, None)
                    return s
                from_file = results(["--id", os.path.basename(SAMPLE_ID)])
                read_end, write_end = os.pipe()
                with open(SAMPLE_ID, "rb") as f:
                    text = f.read()
                pid = os.fork()
                if pid == 0:
                    os.close(read_end)
                    os.write(write_end, text)
                    os._exit(0)
                os.close(write_end)
                from_pipe = results(["--id", f"/dev/fd/{read_end}"], (read_end,))
                os.close(read_end)
                os.waitpid(pid, 0)
                if from_file != from_pipe:
                    fail(f"{name}: --id through a pipe gives {str(from_pipe)[:200]}, the file {str(from_file)[:200]}")

print(f"{len(tasks)} tasks checked, {len(failures)} failures")
sys.exit(1 if failures else 0)
