#!/usr/bin/python3
"""The classic squid-axon membrane in Membrix and in the NEURON simulator, side
by side: run times and spike times of the same model under the same current
step at the same fixed time step.

  bench/compare_neuron.py --cli build/membrix-cli [--baseline-cli OTHER] [--repeats N] [--dt MS]
                          [--t-end-ms MS] [--refine]

(bench/compare_neuron.sh installs NEURON where it is missing and builds the
batch tool first.)

Both simulators run in this one invocation, each timed from inside (Membrix:
the clamp run, with its search for the resting state, as membrix-cli reports
it; NEURON: initialisation plus the run). Both sides do the same work in each
comparison:

  - without recording: Membrix's clamp run writing nothing, NEURON's run with
    no Vector recording anything (the headline);
  - recording V at every step: Membrix writes t and V to a file every step
    (--save-v with n_Write = 1; the file is formatted text on a local disk,
    which is more work than NEURON's), NEURON records V into a Vector.

With --baseline-cli, a second membrix-cli (an earlier build, say) runs in
the same rounds as a further kind, so that a change is measured against NEURON
and against what it changed in one invocation.

The runs alternate, one of each kind per round, so that every side sees the
same machine; the spread (best, median, worst of N) is printed per side and
the ratio of the bests is the figure. NEURON runs its standard fixed-step loop
(stdrun's continuerun, what run() does) and its compiled fixed-step loop
(ParallelContext.psolve). The spike times are compared from one further run of
each that is not timed (NEURON's spikes need its voltage recording).

The model is Membrix's "Rariza" family with its defaults: gNa 120, gK 36,
gL 0.3 mS/cm2, VNa 55, VK -72, VL -50 mV, Cm 1 uF/cm2, an area of
27.3e-6 cm2, the Hodgkin-Huxley rates with voltages measured from -60 mV and
no temperature factor. NEURON's built-in hh mechanism has the same rates with
voltages measured from -65 mV; with every voltage of the NEURON model 5 mV
lower (ENa 50, EK -77, EL -55 mV), the two are the same model. hh runs with
its rate tables off and at 6.3 degC, where its temperature factor is 1.

Spike times are taken in both traces by the rule Membrix uses: the first
sample past a maximum above -30 mV (-35 mV in NEURON's voltages) ends a spike,
whose time is the peak of the parabola through the last three samples.
"""

import argparse
import json
import math
import os
import statistics
import subprocess
import sys
import tempfile
import time

# The model, in Membrix's voltages (mV) and units.
G_NA, G_K, G_L = 120.0, 36.0, 0.3  # mS/cm2
V_NA, V_K, V_L = 55.0, -72.0, -50.0  # mV
CM = 1.0  # uF/cm2
AREA = 1.3 * 0.021 / 0.001 * 1e-6  # cm2, the common default area
SHIFT = -5.0  # mV: NEURON's voltage = Membrix's + SHIFT
I_PA = 300.0  # the current step, pA (11 uA/cm2): a regular spike train
T_END_MS = 1000.0
SPIKE_START = -30.0  # mV, Membrix's voltages
SPIKES_COMPARED = 10


def membrix_run(cli, dt_ms, t_end_ms=T_END_MS, save_v=None):
    """One clamp run: (elapsed s, spike times in ms, steps). With save_v, t and V
    are written to that file at every step."""
    args = [cli, "run", "--family", "Rariza", "--set", "uu=0", "--set", "ss=0", "--set", f"Iind={I_PA}",
            "--set", f"t_Iind={t_end_ms / 1000.0}", "--dt-ms", repr(dt_ms), "--t-end-ms", repr(t_end_ms),
            "--json"]
    if save_v:
        args += ["--set", "n_Write=1", "--save-v", save_v]
    out = json.loads(subprocess.run(args, capture_output=True, text=True, check=True).stdout)
    return out["elapsed_seconds"], [1000.0 * t for t in out["spike_times"]], out["steps"]


class NeuronModel:
    """The single compartment in NEURON; its voltage is recorded at every step
    only while `recording(True)` is in force."""

    def __init__(self, dt_ms, steps):
        os.environ.setdefault("NEURON_MODULE_OPTIONS", "-nogui")  # no display is needed or looked for
        from neuron import h  # imported here so that --help works without NEURON
        self.h = h
        h.load_file("stdrun.hoc")
        self.soma = h.Section(name="soma")
        diam = math.sqrt(AREA / math.pi) * 1e4  # um: a cylinder of length = diameter has this area
        self.soma.L = self.soma.diam = diam
        self.soma.nseg = 1
        self.soma.cm = CM
        self.soma.insert("hh")
        h.usetable_hh = 0
        h.celsius = 6.3
        self.soma.ena = V_NA + SHIFT
        self.soma.ek = V_K + SHIFT
        seg = self.soma(0.5)
        seg.hh.gnabar, seg.hh.gkbar, seg.hh.gl, seg.hh.el = G_NA / 1000, G_K / 1000, G_L / 1000, V_L + SHIFT
        self.stim = h.IClamp(seg)
        self.stim.delay, self.stim.dur, self.stim.amp = 0.0, 1e9, I_PA / 1000.0
        self.pc = h.ParallelContext()
        self.pc.set_maxstep(10)
        self.seg = seg
        self.v = h.Vector()
        self.v_rest = self.resting_potential()
        self.area_check = h.area(0.5, sec=self.soma) * 1e-8  # cm2
        self.configure(dt_ms, steps)

    def recording(self, on):
        """Records V at every step into self.v, or records nothing."""
        if on:
            self.v.record(self.seg._ref_v)
        else:
            self.v.play_remove()

    def configure(self, dt_ms, steps):
        h = self.h
        h.dt = dt_ms
        h.steps_per_ms = 1.0 / dt_ms
        self.t_stop = steps * dt_ms
        h.tstop = self.t_stop

    def resting_potential(self):
        """The voltage where hh's steady-state currents cancel without input (bisection)."""
        h = self.h

        def current(v):
            h.rates_hh(v, sec=self.soma)
            gna = G_NA * h.minf_hh ** 3 * h.hinf_hh
            gk = G_K * h.ninf_hh ** 4
            return gna * (v - V_NA - SHIFT) + gk * (v - V_K - SHIFT) + G_L * (v - V_L - SHIFT)

        lo, hi = -90.0, -50.0
        for _ in range(100):
            mid = 0.5 * (lo + hi)
            if current(mid) > 0:
                hi = mid
            else:
                lo = mid
        return 0.5 * (lo + hi)

    def run(self, compiled):
        h = self.h
        start = time.perf_counter()
        h.finitialize(self.v_rest)
        if compiled:
            self.pc.psolve(self.t_stop)
        else:
            h.continuerun(self.t_stop)
        return time.perf_counter() - start

    def spike_times(self, compiled=False):
        """Spike times (ms) of one run with the voltage recorded, not timed."""
        self.recording(True)
        self.run(compiled)
        self.recording(False)
        return peak_times([x - SHIFT for x in self.v], self.h.dt)


def peak_times(v, dt):
    """Spike times (ms) of a trace sampled every dt from t = 0, by Membrix's rule."""
    times, rising, last = [], False, -1e9
    for n in range(2, len(v)):
        t = n * dt
        if t < last + 1.0:  # 1 ms blanking after a spike
            rising = False
            continue
        if v[n] <= SPIKE_START:
            continue
        if v[n] > v[n - 1]:
            rising = True
            continue
        if not rising:
            continue
        rising = False
        a, b = v[n - 2] - v[n], v[n - 1] - v[n]
        r = -dt * (a - 4 * b) / (2 * (a - 2 * b)) if (b > 0 and b > a) else 0.0
        last = t + r
        times.append(last)
    return times


def differences(ours, theirs):
    n = min(SPIKES_COMPARED, len(ours), len(theirs))
    return [ours[i] - theirs[i] for i in range(n)]


def spread(times):
    """(best, median, worst) of a list of run times."""
    ordered = sorted(times)
    return ordered[0], statistics.median(ordered), ordered[-1]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True, help="the membrix-cli program")
    parser.add_argument("--baseline-cli", help="a second membrix-cli timed in the same rounds (an earlier build)")
    parser.add_argument("--repeats", type=int, default=7, help="timed runs of each kind, in turn")
    parser.add_argument("--dt", type=float, default=0.025, help="time step, ms")
    parser.add_argument("--t-end-ms", type=float, default=25000.0,
                        help="length of the timed runs, ms (25 s: 10^6 steps at 0.025 ms)")
    parser.add_argument("--refine", action="store_true",
                        help="also compare spike times at dt/2, dt/4 and dt/8, to show how they converge")
    args = parser.parse_args()

    _, spikes_m, steps = membrix_run(args.cli, args.dt)
    model = NeuronModel(args.dt, steps)
    spikes_n = model.spike_times()
    _, _, timed_steps = membrix_run(args.cli, args.dt, args.t_end_ms)
    model.configure(args.dt, timed_steps)

    clis = {"membrix": args.cli}
    if args.baseline_cli:
        clis["baseline"] = args.baseline_cli
    kinds = (*clis, "run", "psolve")
    times = {(kind, rec): [] for kind in kinds for rec in (False, True)}
    with tempfile.TemporaryDirectory() as work:
        trace = os.path.join(work, "v.dat")
        for _ in range(args.repeats):  # one run of each kind per round, so that all see the same machine
            for rec in (False, True):
                for kind, cli in clis.items():
                    times[(kind, rec)].append(membrix_run(cli, args.dt, args.t_end_ms, trace if rec else None)[0])
                model.recording(rec)
                times[("run", rec)].append(model.run(compiled=False))
                times[("psolve", rec)].append(model.run(compiled=True))
                model.recording(False)

    print(f"model: classic squid axon, area {model.area_check:.4g} cm2 (NEURON) = {AREA:.4g} cm2 (Membrix), "
          f"{I_PA:g} pA, dt {args.dt:g} ms, rest {model.v_rest - SHIFT:.4f} mV")
    print(f"run time of {args.t_end_ms:g} ms ({timed_steps} fixed steps), best / median / worst of "
          f"{args.repeats} runs in turn (ms), ratio of the bests:")
    labels = {"membrix": "membrix-cli (clamp run)", "baseline": "baseline membrix-cli",
              "run": "NEURON run() (stdrun continuerun)", "psolve": "NEURON ParallelContext.psolve"}
    for rec, title in ((False, "neither side recording"), (True, "both recording V at every step")):
        print(f"  {title}:")
        best_m = min(times[("membrix", rec)])
        for kind in kinds:
            best, median, worst = spread(times[(kind, rec)])
            line = f"    {labels[kind]:34s} {1000 * best:9.2f} {1000 * median:9.2f} {1000 * worst:9.2f}"
            if kind == "baseline":
                line += f"   baseline/Membrix {best / best_m:5.2f}"
            elif kind != "membrix":
                line += f"   NEURON/Membrix {best / best_m:5.2f}"
            print(line)

    print(f"spikes in {T_END_MS:g} ms: Membrix {len(spikes_m)}, NEURON {len(spikes_n)}")
    diff = differences(spikes_m, spikes_n)
    print(f"first {len(diff)} spike times, Membrix - NEURON (ms):")
    for i, d in enumerate(diff):
        print(f"  {i + 1:2d}  {spikes_m[i]:10.4f}  {spikes_n[i]:10.4f}  {d:+8.4f}")
    worst = max((abs(d) for d in diff), default=math.nan)
    print(f"largest difference {worst:.4f} ms ({'within' if worst <= 0.1 else 'beyond'} 0.1 ms)")

    if args.refine:
        # Both schemes are of first order in dt: a difference that comes from
        # the integration halves with the step, and both simulators tend to the
        # same spike times as dt goes to 0.
        k = SPIKES_COMPARED - 1
        print(f"convergence of spike {SPIKES_COMPARED} (ms):")
        print(f"  {'dt':>9}  {'Membrix':>10}  {'NEURON':>10}  {'difference':>10}")
        rows = []
        for n in (1, 2, 4, 8):
            dt = args.dt / n
            _, s_m, n_steps = membrix_run(args.cli, dt)
            model.configure(dt, n_steps)
            s_n = model.spike_times(compiled=True)
            rows.append((s_m[k], s_n[k]))
            print(f"  {dt:9.6f}  {s_m[k]:10.4f}  {s_n[k]:10.4f}  {s_m[k] - s_n[k]:+10.4f}")
        (m1, n1), (m2, n2) = rows[-2], rows[-1]
        m0, n0 = 2 * m2 - m1, 2 * n2 - n1  # first-order extrapolation to dt = 0
        print(f"  {'dt -> 0':>9}  {m0:10.4f}  {n0:10.4f}  {m0 - n0:+10.4f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
