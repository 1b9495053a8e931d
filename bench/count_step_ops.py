#!/usr/bin/python3
"""Counts what one model step evaluates: its bounded exponentials and its
divisions, averaged over the steps a benchmark makes.

Runs membrix-bench under callgrind with collection switched on only inside the
benchmark's one-step function (AdvanceOneStep, AdvanceStartUpNeuron), then
adds up the executions of every division instruction (a packed division counts
once per lane) and the entries into an exponential (the math library's exp or
the program's own inlined one), and divides by the entries into the step
function. These are the counts the step benchmarks
compare their time with.

  bench/count_step_ops.py [--build DIR] [--min-time SECONDS] [REGEX]

REGEX selects benchmarks by name (default: every one-step benchmark). Needs
valgrind and objdump (binutils); takes a few minutes for all of them.
"""

import argparse
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile

STEP_FUNCTIONS = ("AdvanceOneStep", "AdvanceStartUpNeuron")
DIVISION = re.compile(r"\b(v?div[sp][sd])\b")
# The exp entry point, and the kernels behind it where a library has no wrapper.
EXP_ENTRY = re.compile(r"^exp(@|'|$)")
EXP_KERNEL = re.compile(r"^(__exp|__ieee754_exp)")
# The program's own exponential, the library's algorithm compiled in.
EXP_OWN = re.compile(r"^membrix::exp_detail::ExpWithFma")


def division_lanes(objects):
    """Maps (object, address) to the number of divisions the instruction makes."""
    lanes = {}
    for obj in objects:
        if not os.path.isfile(obj):
            continue
        listing = subprocess.run(["objdump", "-d", "--no-show-raw-insn", obj], capture_output=True,
                                 text=True, check=True).stdout
        for line in listing.splitlines():
            m = re.match(r"\s*([0-9a-f]+):\s+(\S+)\s*(.*)", line)
            if not m or not DIVISION.match(m.group(2)):
                continue
            op, operands = m.group(2), m.group(3)
            packed = op.endswith("pd") or op.endswith("ps")
            width = 4 if "%ymm" in operands else 2
            if op.endswith("ps"):
                width *= 2
            lanes[(obj, int(m.group(1), 16))] = width if packed else 1
    return lanes


def parse_callgrind(path):
    """Self costs by (object, function, address); call-cost lines are skipped."""
    costs = collections.defaultdict(int)
    obj = fn = None
    skip_next = False
    with open(path) as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("ob="):
                obj = line[3:]
            elif line.startswith("fn="):
                fn = line[3:]
            elif line.startswith("calls="):
                skip_next = True
            elif line.startswith("0x"):
                if skip_next:
                    skip_next = False
                    continue
                address, _, cost = line.split()
                costs[(obj, fn, int(address, 16))] += int(cost)
    return costs


def count(build, name, min_time):
    with tempfile.TemporaryDirectory() as tmp:
        # A copy, so that the program run and the program disassembled are one,
        # whatever a build does to the original meanwhile.
        bench = os.path.join(tmp, "membrix-bench")
        shutil.copy2(os.path.join(build, "membrix-bench"), bench)
        out = os.path.join(tmp, "callgrind.out")
        toggles = [f"--toggle-collect=*{f}*" for f in STEP_FUNCTIONS]
        subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", "--dump-instr=yes",
                        "--compress-pos=no", "--compress-strings=no", "--collect-atstart=no", *toggles,
                        bench, f"--benchmark_filter=^{re.escape(name)}$", f"--benchmark_min_time={min_time}"],
                       check=True, capture_output=True)
        costs = parse_callgrind(out)
        lanes = division_lanes({obj for (obj, _, _) in costs})
    entries = collections.defaultdict(dict)  # function -> lowest address -> executions
    for (obj, fn, address), ir in costs.items():
        key = (obj, fn)
        if not entries[key] or address < min(entries[key]):
            entries[key] = {address: ir}
    steps = sum(ir for (obj, fn), e in entries.items() for ir in e.values()
                if any(f in fn for f in STEP_FUNCTIONS))
    def entered(pattern, library=True):
        return sum(ir for (obj, fn), e in entries.items() for ir in e.values()
                   if pattern.match(fn) and (not library or "libm" in obj))
    exps = (entered(EXP_ENTRY) or entered(EXP_KERNEL)) + entered(EXP_OWN, library=False)
    divs = sum(ir * lanes.get((obj, address), 0) for (obj, _, address), ir in costs.items())
    if steps == 0:
        raise RuntimeError(f"{name}: the step function was never entered")
    return exps / steps, divs / steps, steps


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "build"))
    parser.add_argument("--min-time", default="0.01")
    parser.add_argument("regex", nargs="?", default="BM_NeuronStep/|BM_StartUpNeuronStep")
    args = parser.parse_args()
    for tool in ("valgrind", "objdump"):
        if shutil.which(tool) is None:
            sys.exit(f"count_step_ops.py: {tool} is needed (Debian packages valgrind and binutils)")
    bench = os.path.join(args.build, "membrix-bench")
    listed = subprocess.run([bench, "--benchmark_list_tests=true", f"--benchmark_filter={args.regex}"],
                            capture_output=True, text=True, check=True).stdout.split()
    print(f"{'benchmark':45} {'exp/step':>9} {'div/step':>9} {'steps':>7}")
    for name in listed:
        exps, divs, steps = count(args.build, name, args.min_time)
        print(f"{name:45} {exps:9.2f} {divs:9.2f} {steps:7d}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
