#!/usr/bin/python3
"""Accuracy for cost of the squid axon's spike times: Membrix's fixed step
against its error-controlled integrator (CVODE), and against NEURON's CVODE on
the same membrane.

  bench/integration_accuracy.py --cli build/membrix-cli [--repeats N] [--goal-ms MS]

(bench/integration_accuracy.sh installs NEURON where it is missing and builds
the batch tool first.)

The run: Membrix's "Rariza" family (the classic squid axon), 300 pA from the
start for 1 s. The leak is balanced against the channels at the resting
potential (IfSet_VL_or_Vrest = 2, VL follows from Vrest = -60 mV), so that the
start is the same whatever the step; with VL given instead, the resting
potential is searched with the run's own step and the first spike moves
irregularly with dt.

1. The reference: the first and the tenth spike time of the fixed step in the
   limit dt -> 0, extrapolated from two small steps (the step is of first
   order: limit = 2 t(dt/2) - t(dt)), checked against CVODE at
   rtol = atol = 1e-10.
2. The convergence of both: the spike times and their errors against dt
   (fixed step) and against rtol = atol (CVODE, samples 0.025 ms apart), each
   with its run time as membrix-cli reports it, best of N runs; every setting
   runs once per round, so that all see the same machine.
3. For each, the cheapest setting whose tenth spike lies within the goal
   (0.01 ms) of the limit, and the ratio of their costs.
4. NEURON's CVODE on the same membrane (hh with its voltages 5 mV lower, the
   leak balanced alike): its own tight-tolerance limit, the tolerance it needs
   for the goal, its run time there (ParallelContext.psolve, its compiled
   loop, nothing recorded; and stdrun's run() beside it), and the ratio to
   Membrix's CVODE at equal accuracy.
   NEURON's spike time is the peak of V as Membrix's detector finds it
   (parabola through the last three samples) in a record every 0.5 us of a
   separate run that is not timed; such a record does not change NEURON's
   steps (the step count is the same with and without it).
5. What the sample grid costs Membrix's CVODE at its chosen tolerance: the
   integrator returns at every sample, and the spike detector reads the
   samples.
"""

import argparse
import json
import math
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare_neuron as cn  # noqa: E402  (the membrane in NEURON)

T_END_MS = 1000.0
V_REST = -60.0  # mV, Membrix's voltages: the family's resting potential
SAMPLE_MS = 0.025  # the sample grid of the CVODE runs
FIXED_DTS = [0.05 / 2 ** k for k in range(9)]  # ms
TOLERANCES = [10.0 ** -k for k in range(3, 10)]  # rtol = atol
LIMIT_DTS = (0.0025, 0.00125)  # ms: the two small steps of the extrapolation
TIGHT = 1e-10
AGREEMENT_MS = 0.005  # how close the tight CVODE run must come to the limit
GRIDS = (0.025, 0.05, 0.1, 0.25, 0.5)  # ms
FIRST, TENTH = 0, 9


def membrix(cli, dt_ms, tol=None):
    """One run: (elapsed s, spike times in ms)."""
    args = [cli, "run", "--family", "Rariza", "--set", "uu=0", "--set", "ss=0", "--set", f"Iind={cn.I_PA}",
            "--set", f"t_Iind={T_END_MS / 1000.0}", "--set", "NP0.IfSet_VL_or_Vrest=2",
            "--t-end-ms", repr(T_END_MS), "--dt-ms", repr(dt_ms), "--json"]
    if tol is not None:
        args += ["--integrator", "cvode", "--rtol", repr(tol), "--atol", repr(tol)]
    out = json.loads(subprocess.run(args, capture_output=True, text=True, check=True).stdout)
    return out["elapsed_seconds"], [1000.0 * t for t in out["spike_times"]]


class NeuronCvode:
    """NEURON's hh membrane of bench/compare_neuron.py with its leak balanced
    against the channels at rest, integrated by NEURON's CVODE."""

    RECORD_MS = 0.0005

    def __init__(self):
        self.model = cn.NeuronModel(SAMPLE_MS, int(T_END_MS / SAMPLE_MS))
        h = self.h = self.model.h
        self.v0 = V_REST + cn.SHIFT
        h.rates_hh(self.v0, sec=self.model.soma)
        outward = (cn.G_NA * h.minf_hh ** 3 * h.hinf_hh * (self.v0 - cn.V_NA - cn.SHIFT) +
                   cn.G_K * h.ninf_hh ** 4 * (self.v0 - cn.V_K - cn.SHIFT))
        self.el = self.v0 + outward / cn.G_L  # the leak that cancels the channels' current at rest
        self.model.seg.hh.el = self.el
        h.cvode.active(1)
        self.steps = h.Vector()

    def tolerance(self, tol):
        self.h.cvode.rtol(tol)
        self.h.cvode.atol(tol)

    def timed(self, tol, compiled=True):
        """Seconds for the whole run, nothing recorded: the compiled loop
        (psolve) or stdrun's continuerun, what run() does."""
        self.tolerance(tol)
        start = time.perf_counter()
        self.h.finitialize(self.v0)
        if compiled:
            self.model.pc.psolve(T_END_MS)
        else:
            self.h.continuerun(T_END_MS)
        return time.perf_counter() - start

    def spike_times(self, tol, until_ms=150.0):
        """Spike times (ms, Membrix's voltages) of a run to until_ms recorded
        every RECORD_MS, and the number of steps taken."""
        self.tolerance(tol)
        v = self.h.Vector()
        v.record(self.model.seg._ref_v, self.RECORD_MS)
        self.steps.record(self.h._ref_t)
        self.h.finitialize(self.v0)
        self.model.pc.psolve(until_ms)
        v.play_remove()
        steps = len(self.steps)
        self.steps.play_remove()
        return cn.peak_times([x - cn.SHIFT for x in v], self.RECORD_MS), steps

    def steps_unrecorded(self, tol, until_ms=150.0):
        self.tolerance(tol)
        self.steps.record(self.h._ref_t)
        self.h.finitialize(self.v0)
        self.model.pc.psolve(until_ms)
        self.steps.play_remove()
        return len(self.steps)


def best_of(times):
    ordered = sorted(times)
    return ordered[0], statistics.median(ordered), ordered[-1]


def cheapest(rows, goal):
    """The row of least best time whose tenth spike is within goal, or None."""
    good = [r for r in rows if abs(r["err10"]) <= goal]
    return min(good, key=lambda r: r["best"]) if good else None


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--cli", required=True, help="the membrix-cli program")
    p.add_argument("--repeats", type=int, default=5, help="timed runs of each setting, in turn")
    p.add_argument("--goal-ms", type=float, default=0.01, help="accuracy asked of the tenth spike, ms")
    a = p.parse_args()
    cli = os.path.abspath(a.cli)

    # 1. The reference.
    coarse, fine = (membrix(cli, dt)[1] for dt in LIMIT_DTS)
    limit = [2 * fine[k] - coarse[k] for k in (FIRST, TENTH)]
    tight = membrix(cli, SAMPLE_MS, TIGHT)[1]
    print(f"squid axon, {cn.I_PA:g} pA for {T_END_MS:g} ms, leak balanced at rest ({V_REST:g} mV)")
    print(f"dt -> 0 limit of the fixed step (from dt {LIMIT_DTS[0]:g} and {LIMIT_DTS[1]:g} ms): "
          f"first spike {limit[0]:.5f} ms, tenth {limit[1]:.5f} ms")
    agree = max(abs(tight[FIRST] - limit[0]), abs(tight[TENTH] - limit[1])) <= AGREEMENT_MS
    print(f"CVODE at rtol = atol = {TIGHT:g}: first {tight[FIRST]:.5f} ms ({tight[FIRST] - limit[0]:+.5f}), "
          f"tenth {tight[TENTH]:.5f} ms ({tight[TENTH] - limit[1]:+.5f}): "
          f"{'agrees' if agree else 'DOES NOT AGREE'} with the limit within {AGREEMENT_MS:g} ms")

    nrn = NeuronCvode()
    nrn_limit_spikes, nrn_limit_steps = nrn.spike_times(TIGHT)
    nrn_limit = [nrn_limit_spikes[FIRST], nrn_limit_spikes[TENTH]]
    print(f"NEURON (EL {nrn.el - cn.SHIFT:.4f} mV in Membrix's voltages) CVODE at {TIGHT:g}: "
          f"first {nrn_limit[0]:.5f} ms ({nrn_limit[0] - limit[0]:+.5f} from Membrix's limit), "
          f"tenth {nrn_limit[1]:.5f} ms ({nrn_limit[1] - limit[1]:+.5f})")
    steps_plain = nrn.steps_unrecorded(1e-4)
    _, steps_recorded = nrn.spike_times(1e-4)
    print(f"NEURON's steps to 150 ms at 1e-4: {steps_plain} unrecorded, {steps_recorded} with the fine record")

    # Spike times of every setting (deterministic: once each).
    settings = ([("fixed", dt) for dt in FIXED_DTS] + [("cvode", tol) for tol in TOLERANCES] +
                [("neuron", tol) for tol in TOLERANCES])
    rows = {}
    for kind, x in settings:
        if kind == "fixed":
            spikes = membrix(cli, x)[1]
            ref = limit
        elif kind == "cvode":
            spikes = membrix(cli, SAMPLE_MS, x)[1]
            ref = limit
        else:
            spikes = nrn.spike_times(x)[0]
            ref = nrn_limit
        rows[(kind, x)] = {"kind": kind, "x": x, "t1": spikes[FIRST], "t10": spikes[TENTH],
                           "err1": spikes[FIRST] - ref[0], "err10": spikes[TENTH] - ref[1], "times": []}

    for _ in range(a.repeats):  # every setting once per round
        for kind, x in settings:
            if kind == "fixed":
                seconds = membrix(cli, x)[0]
            elif kind == "cvode":
                seconds = membrix(cli, SAMPLE_MS, x)[0]
            else:
                seconds = nrn.timed(x)
            rows[(kind, x)]["times"].append(seconds)
    for r in rows.values():
        r["best"], r["median"], r["worst"] = best_of(r["times"])

    titles = {"fixed": ("Membrix fixed step", "dt (ms)"),
              "cvode": (f"Membrix CVODE, samples {SAMPLE_MS:g} ms apart", "rtol=atol"),
              "neuron": ("NEURON CVODE (psolve, nothing recorded; errors against its own limit)", "rtol=atol")}
    chosen = {}
    for kind in ("fixed", "cvode", "neuron"):
        title, head = titles[kind]
        print(f"\n{title}; run time best / median / worst of {a.repeats} (ms):")
        print(f"  {head:>10}  {'1st spike':>10}  {'error':>9}  {'10th spike':>10}  {'error':>9}  "
              f"{'best':>8}  {'median':>8}  {'worst':>8}")
        kind_rows = [r for r in rows.values() if r["kind"] == kind]
        for r in kind_rows:
            print(f"  {r['x']:10.3g}  {r['t1']:10.5f}  {r['err1']:+9.5f}  {r['t10']:10.5f}  {r['err10']:+9.5f}  "
                  f"{1000 * r['best']:8.2f}  {1000 * r['median']:8.2f}  {1000 * r['worst']:8.2f}")
        chosen[kind] = cheapest(kind_rows, a.goal_ms)

    print(f"\ncheapest setting with the tenth spike within {a.goal_ms:g} ms of its limit (best times):")
    for kind, label in (("fixed", "Membrix fixed step, dt"), ("cvode", "Membrix CVODE, rtol=atol"),
                        ("neuron", "NEURON CVODE, rtol=atol")):
        r = chosen[kind]
        if r is None:
            print(f"  {label}: none in the table")
        else:
            print(f"  {label} {r['x']:g}: {1000 * r['best']:.2f} ms (error {r['err10']:+.5f} ms)")
    if chosen["fixed"] and chosen["cvode"]:
        print(f"  fixed step / Membrix CVODE: {chosen['fixed']['best'] / chosen['cvode']['best']:.2f}")
    if chosen["neuron"] and chosen["cvode"]:
        print(f"  NEURON CVODE / Membrix CVODE: {chosen['neuron']['best'] / chosen['cvode']['best']:.2f}")
        # NEURON's standard run() at the same tolerance, in turn with the two above.
        tol_n, tol_m = chosen["neuron"]["x"], chosen["cvode"]["x"]
        runs = {"run": [], "psolve": [], "membrix": []}
        for _ in range(a.repeats):
            runs["run"].append(nrn.timed(tol_n, compiled=False))
            runs["psolve"].append(nrn.timed(tol_n))
            runs["membrix"].append(membrix(cli, SAMPLE_MS, tol_m)[0])
        print(f"  in turn, best / median / worst of {a.repeats} (ms):")
        for key, label in (("membrix", f"Membrix CVODE {tol_m:g}"), ("psolve", f"NEURON psolve {tol_n:g}"),
                           ("run", f"NEURON run() {tol_n:g}")):
            best, median, worst = best_of(runs[key])
            ratio = best / min(runs["membrix"])
            print(f"    {label:22s} {1000 * best:8.2f} {1000 * median:8.2f} {1000 * worst:8.2f}   "
                  f"/ Membrix CVODE {ratio:.2f}")

    # 5. The sample grid of Membrix's CVODE at its chosen tolerance.
    if chosen["cvode"]:
        tol = chosen["cvode"]["x"]
        print(f"\nMembrix CVODE at {tol:g} against its sample grid; run time best / median / worst of "
              f"{a.repeats} (ms):")
        print(f"  {'grid (ms)':>10}  {'spikes':>6}  {'10th spike':>10}  {'error':>9}  {'best':>8}  {'median':>8}  "
              f"{'worst':>8}")
        grid_rows = []
        for grid in GRIDS:
            spikes = membrix(cli, grid, tol)[1]
            grid_rows.append([grid, spikes, []])
        for _ in range(a.repeats):
            for g in grid_rows:
                g[2].append(membrix(cli, g[0], tol)[0])
        for grid, spikes, times in grid_rows:
            best, median, worst = best_of(times)
            t10 = spikes[TENTH] if len(spikes) > TENTH else math.nan
            print(f"  {grid:10g}  {len(spikes):6d}  {t10:10.5f}  {t10 - limit[1]:+9.5f}  {1000 * best:8.2f}  "
                  f"{1000 * median:8.2f}  {1000 * worst:8.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
