#!/usr/bin/python3
"""The classic squid-axon membrane in Membrix and in the NEURON simulator, side
by side: run times and spike times of the same model under the same 1 s
current step at the same fixed time step.

  bench/compare_neuron.py --cli build/membrix-cli [--repeats N] [--dt MS] [--refine]

(bench/compare_neuron.sh installs NEURON where it is missing and builds the
batch tool first.)

Both simulators run in turn in this one invocation, each timed from inside
(Membrix: the clamp run, with its search for the resting state, as membrix-cli
reports it; NEURON: initialisation plus the run); the best of N runs of each
counts. NEURON runs its standard fixed-step loop (stdrun's continuerun, what
run() does) and its compiled fixed-step loop (ParallelContext.psolve).

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
import subprocess
import sys
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


def membrix_run(cli, dt_ms):
    args = [cli, "run", "--family", "Rariza", "--set", "uu=0", "--set", "ss=0", "--set", f"Iind={I_PA}",
            "--set", f"t_Iind={T_END_MS / 1000.0}", "--dt", repr(dt_ms / 1000.0), "--t-end",
            repr(T_END_MS / 1000.0), "--json"]
    out = json.loads(subprocess.run(args, capture_output=True, text=True, check=True).stdout)
    return out["elapsed_seconds"], [1000.0 * t for t in out["spike_times"]], out["steps"]


class NeuronModel:
    """The single compartment in NEURON, with a voltage recording at every step."""

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
        self.v = h.Vector()
        self.v.record(seg._ref_v)
        self.v_rest = self.resting_potential()
        self.area_check = h.area(0.5, sec=self.soma) * 1e-8  # cm2
        self.configure(dt_ms, steps)

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

    def spike_times(self):
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True, help="the membrix-cli program")
    parser.add_argument("--repeats", type=int, default=15)
    parser.add_argument("--dt", type=float, default=0.025, help="time step, ms")
    parser.add_argument("--refine", action="store_true",
                        help="also compare spike times at dt/2, dt/4 and dt/8, to show how they converge")
    args = parser.parse_args()

    _, spikes_m, steps = membrix_run(args.cli, args.dt)
    model = NeuronModel(args.dt, steps)
    best_m = best_n = best_c = math.inf
    for _ in range(args.repeats):  # in turn, so that both see the same machine
        best_m = min(best_m, membrix_run(args.cli, args.dt)[0])
        best_n = min(best_n, model.run(compiled=False))
        best_c = min(best_c, model.run(compiled=True))
    spikes_n = model.spike_times()

    print(f"model: classic squid axon, area {model.area_check:.4g} cm2 (NEURON) = {AREA:.4g} cm2 (Membrix), "
          f"{I_PA:g} pA for {T_END_MS:g} ms, dt {args.dt:g} ms, {steps} fixed steps, rest {model.v_rest - SHIFT:.4f} mV")
    print(f"run time, best of {args.repeats}:")
    print(f"  membrix-cli (clamp run)            {1000 * best_m:9.3f} ms")
    print(f"  NEURON run() (stdrun continuerun)  {1000 * best_n:9.3f} ms   ratio NEURON/Membrix {best_n / best_m:6.2f}")
    print(f"  NEURON ParallelContext.psolve      {1000 * best_c:9.3f} ms   ratio NEURON/Membrix {best_c / best_m:6.2f}")
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
            model.run(compiled=True)
            s_n = model.spike_times()
            rows.append((s_m[k], s_n[k]))
            print(f"  {dt:9.6f}  {s_m[k]:10.4f}  {s_n[k]:10.4f}  {s_m[k] - s_n[k]:+10.4f}")
        (m1, n1), (m2, n2) = rows[-2], rows[-1]
        m0, n0 = 2 * m2 - m1, 2 * n2 - n1  # first-order extrapolation to dt = 0
        print(f"  {'dt -> 0':>9}  {m0:10.4f}  {n0:10.4f}  {m0 - n0:+10.4f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
