#!/usr/bin/python3
"""The default noise ensemble of the squid axon in Membrix and in Brian2's C++
standalone mode, side by side: the cost per neuron-step of each, Membrix with
one worker and with one per core, and their ratio.

  bench/ensemble_brian2.py --cli build/membrix-cli [--members N] [--threads N] [--repeats N]

(bench/ensemble_brian2.sh installs Brian2 where it is missing and builds the
batch tool first.)

The population: N = 4001 uncoupled squid-axon membranes (Membrix's "Rariza"
family: gNa 120, gK 36, gL 0.3 mS/cm2, VNa 55, VK -72, VL -50 mV, Cm 1 uF/cm2,
the Hodgkin-Huxley rates with voltages measured from -60 mV), each under the
same 300 pA step and its own white-noise current of 3 mV, 120 ms at a fixed
step of 0.05 ms, started from Gaussian voltages around rest. Brian2 integrates
the same equations by forward Euler (Euler-Maruyama for the noise), as the
procedural neuron does, and detects a spike as the crossing of -30 mV.

Each side is timed by the processor time it takes, which the other work of a
shared machine does not stretch: Brian2 reports that of its compiled
simulation loop (std::clock without OpenMP; code generation and compilation
are left out: Brian2's program is built once and then run again as it is),
Membrix's is that of the whole batch tool, start-up and files included. The
second worker's speed-up compares the times Membrix reports for its ensemble
run (wall-clock time, which is what more workers shorten). The runs alternate, one of each kind per round, so
that every side sees the same machine; the spread (best, median, worst of N)
is printed per side and the ratios are those of the bests.
"""

import argparse
import json
import os
import resource
import statistics
import subprocess
import sys
import tempfile

STEPS = 2400  # 120 ms at 0.05 ms


def membrix(cli, members, threads, folder):
    """The batch tool's report of the ensemble run, with "cpu_seconds": the
    processor time (user and system) of the whole program."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    out = subprocess.run(
        [cli, "ensemble", "--kind", "noise", "--family", "Rariza", "--mesh", str(members - 1), "--threads",
         str(threads), "--out-dir", folder, "--json"],
        check=True, capture_output=True, text=True).stdout
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    report = json.loads(out)
    report["cpu_seconds"] = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return report


def brian2(members, threads, folder):
    import brian2 as b
    b.set_device("cpp_standalone", directory=folder, build_on_run=True)
    b.prefs.devices.cpp_standalone.openmp_threads = threads
    b.defaultclock.dt = 0.05 * b.ms
    area = 1.3 * 0.021 / 0.001 * 1e-6 * b.cm**2
    Cm = 1 * b.uF / b.cm**2
    gL, gNa, gK = 0.3 * b.msiemens / b.cm**2, 120 * b.msiemens / b.cm**2, 36 * b.msiemens / b.cm**2
    eqs = """
    dv/dt = (-gNa*m**3*h*(v - VNa) - gK*n**4*(v - VK) - gL*(v - VL) + I/area)/Cm + sigma*sqrt(2/tau)*xi : volt
    dm/dt = am*(1 - m) - bm*m : 1
    dh/dt = ah*(1 - h) - bh*h : 1
    dn/dt = an*(1 - n) - bn*n : 1
    u = v/mV + 60 : 1
    am = 0.1*(25 - u)/(exp((25 - u)/10) - 1)/ms : Hz
    bm = 4*exp(-u/18)/ms : Hz
    ah = 0.07*exp(-u/20)/ms : Hz
    bh = 1/(exp((30 - u)/10) + 1)/ms : Hz
    an = 0.01*(10 - u)/(exp((10 - u)/10) - 1)/ms : Hz
    bn = 0.125*exp(-u/80)/ms : Hz
    """
    ns = dict(gNa=gNa, gK=gK, gL=gL, VNa=55 * b.mV, VK=-72 * b.mV, VL=-50 * b.mV, Cm=Cm, area=area,
              I=300 * b.pA, sigma=3 * b.mV, tau=Cm / gL)
    G = b.NeuronGroup(members, eqs, method="euler", threshold="v > -30*mV", refractory="v > -30*mV",
                      namespace=ns)
    G.v = "-60*mV + 3*mV*randn()"
    G.m, G.h, G.n = 0.053, 0.596, 0.318
    spikes = b.SpikeMonitor(G)
    b.run(STEPS * b.defaultclock.dt)  # generates, compiles and runs the program once

    def rerun():
        """Runs the compiled program again: (seconds of its simulation loop, spikes)."""
        b.device.run(folder, with_output=False, run_args=[])
        return float(b.device._last_run_time), int(spikes.num_spikes)

    return rerun


def spread(times):
    """(best, median, worst) of a list of run times."""
    ordered = sorted(times)
    return ordered[0], statistics.median(ordered), ordered[-1]


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--cli", required=True)
    p.add_argument("--members", type=int, default=4001)
    p.add_argument("--threads", type=int, default=os.cpu_count() or 1)
    p.add_argument("--repeats", type=int, default=7, help="timed runs of each kind, in turn")
    a = p.parse_args()
    steps = a.members * STEPS
    cli = os.path.abspath(a.cli)
    one, many, theirs = [], [], []
    with tempfile.TemporaryDirectory() as work:
        try:
            brian2_run = brian2(a.members, 0, os.path.join(work, "brian2"))
        except ImportError:
            print("ensemble_brian2: Brian2 is missing (python3-brian)", file=sys.stderr)
            return 1
        for _ in range(a.repeats):  # one run of each kind per round, so that all see the same machine
            one.append(membrix(cli, a.members, 1, work))
            many.append(membrix(cli, a.members, a.threads, work))
            theirs.append(brian2_run())

    def ns(seconds):
        return seconds / steps * 1e9

    def row(label, seconds, note):
        best, median, worst = spread(seconds)
        print(f"  {label:22s} {ns(best):8.1f} {ns(median):8.1f} {ns(worst):8.1f}   {note}")
        return best

    print(f"noise ensemble of the squid axon: {a.members} members, {STEPS} steps of 0.05 ms")
    print(f"ns per neuron-step, best / median / worst of {a.repeats} runs in turn (processor time; "
          f"the {many[-1]['workers']} workers wall-clock time):")
    m1 = row("Membrix, 1 worker", [r["cpu_seconds"] for r in one],
             f"mean rate {one[-1]['rate_mean_Hz']:.1f} Hz")
    row(f"Membrix, {many[-1]['workers']} workers", [r["elapsed_seconds"] for r in many],
             "speed-up of the bests {:.2f}".format(min(r["elapsed_seconds"] for r in one) /
                                                    min(r["elapsed_seconds"] for r in many)))
    b1 = row("Brian2 standalone", [t for t, _ in theirs],
             f"mean rate {theirs[-1][1] / a.members / (STEPS * 5e-5):.1f} Hz, one thread")
    print(f"Membrix / Brian2 per core (bests): {m1 / b1:.2f} (Brian2 takes {b1 / m1:.2f} times as long)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
