#!/usr/bin/env python3
"""Draws the voltage along the axon at several times from the profile file of
`membrix-cli fiber` (columns t_ms z_um V_mV g m h, one block per time).

    scripts/fiber_profiles_plot.py fiber_profiles.dat OUTPUT.png [T_MS ...]
"""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    wanted = [float(t) for t in sys.argv[3:]] or [1.0, 3.0, 5.0, 7.0, 9.0, 11.0]
    blocks = {}
    with open(sys.argv[1]) as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            t, z, v = (float(x) for x in line.split()[:3])
            blocks.setdefault(round(t, 4), []).append((z, v))
    fig, ax = plt.subplots(figsize=(7.5, 4.2), dpi=110)
    for t in wanted:
        nearest = min(blocks, key=lambda k: abs(k - t))
        z, v = zip(*blocks[nearest])
        ax.plot(z, v, label=f"t = {nearest:g} ms")
    ax.set_xlabel("z, µm (soma at 0)")
    ax.set_ylabel("V, mV")
    ax.grid(True, alpha=0.3)
    ax.legend(loc="upper right", fontsize=8)
    fig.tight_layout()
    fig.savefig(sys.argv[2])


if __name__ == "__main__":
    main()
