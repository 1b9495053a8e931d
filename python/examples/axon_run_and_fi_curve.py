#!/usr/bin/python3
"""The squid axon from Python: one run with its voltage, currents and gates,
and its f-I curve. Writes python_run.png and python_fi_curve.png into the
folder given as argument (the current folder without one)."""

import sys
import warnings

import matplotlib

matplotlib.use("Agg")  # files only, no window
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import membrix  # noqa: E402

# Written for the current densities in µA/cm²: no reminder that they once were mA/cm².
warnings.filterwarnings("ignore", category=membrix.UnitChangeWarning)

out = sys.argv[1] if len(sys.argv) > 1 else "."

# The classic squid axon with a 50 ms current step of 300 pA from t = 10 ms.
s = membrix.Session()
s.family("Rariza")
s.set("uu", 0)  # no dendritic input current ...
s.set("ss", 0)  # ... or conductance
s.set("t_IindShift", 10, "ms")  # a time names its unit
s.set("t_Iind", 50, "ms")
s.set("Iind", 300.0)  # pA
r = s.run(record=["V", "INA", "IK", "mm", "hh", "nn"], t_end_ms=80)
print(r)
print("spikes at", np.round(r.spike_times_ms, 3), "ms")

t_ms = r.t_ms
fig, (top, middle, bottom) = plt.subplots(3, 1, sharex=True, figsize=(7, 7), constrained_layout=True)
top.plot(t_ms, r["V"], color="k")
top.plot(r.spike_times_ms, np.interp(r.spike_times_ms, t_ms, r["V"]), "rv", label="spike times")
top.set_ylabel(f"V ({r.units['V']})")
top.legend(loc="upper right")
top.set_title("Squid axon, 300 pA from 10 to 60 ms")
middle.plot(t_ms, r["INA"], label="INa")
middle.plot(t_ms, r["IK"], label="IK")
middle.set_ylabel(f"current ({r.units['INA']})")
middle.legend(loc="lower right")
for gate in ("mm", "hh", "nn"):
    bottom.plot(t_ms, r[gate], label=gate)
bottom.set_ylabel("gate")
bottom.set_xlabel("t (ms)")
bottom.legend(loc="upper right")
fig.savefig(f"{out}/python_run.png", dpi=90)

# The f-I curve: a 500 ms step at each current, two runs at a time.
s.set("t_IindShift", 0, "ms")
s.set("t_Iind", 500, "ms")
fi = membrix.fi_curve(s, np.arange(0.0, 1201.0, 50.0), t_end_ms=500, workers=2)
fig, ax = plt.subplots(figsize=(6, 4), constrained_layout=True)
ax.plot(fi.currents, fi.rate, "o-", label="mean rate over the step")
ax.plot(fi.currents, fi.first_rate, "s--", label="1 / first interval")
ax.set_xlabel("injected current (pA)")
ax.set_ylabel("firing rate (Hz)")
ax.set_title("f-I curve of the squid axon")
ax.legend()
fig.savefig(f"{out}/python_fi_curve.png", dpi=90)
for current, rate in zip(fi.currents, fi.rate):
    print(f"{current:6.0f} pA  {rate:6.1f} Hz")
