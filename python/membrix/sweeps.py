"""Sweeps made of clamp runs, with their results as NumPy arrays.

Each function takes a prepared Session and leaves it unchanged: every point
runs on a copy, so points can run side by side in threads (a run releases the
interpreter while it computes).
"""

from concurrent.futures import ThreadPoolExecutor
from typing import NamedTuple

import numpy as np


class FICurve(NamedTuple):
    currents: np.ndarray    # pA, the injected current of each point
    rate: np.ndarray        # Hz, spikes in the current window / the window's length
    first_rate: np.ndarray  # Hz, 1 / the first interspike interval (0 with fewer than 2 spikes)
    spike_counts: np.ndarray


def fi_curve(session, currents, t_end=None, workers=1):
    """The f-I curve: one run for each current (pA, the protocol global Iind).

    The rate counts the spikes inside the current window, from t_IindShift for
    t_Iind seconds (cut at the end of the run). `workers` runs that many points
    at a time in threads.
    """
    currents = np.asarray(currents, dtype=float)
    if currents.ndim != 1:
        raise ValueError("currents must be a one-dimensional sequence")

    def point(current):
        s = session.copy()
        s.set("Iind", float(current))
        r = s.run(record=[], t_end=t_end)
        start = s.get("t_IindShift")
        end = min(start + s.get("t_Iind"), s.get("t_end"))
        spikes = r.spike_times[(r.spike_times >= start) & (r.spike_times <= end)]
        window = end - start
        rate = len(spikes) / window if window > 0 else 0.0
        first = 1.0 / (spikes[1] - spikes[0]) if len(spikes) >= 2 else 0.0
        return rate, first, len(spikes)

    with ThreadPoolExecutor(max_workers=max(1, int(workers))) as pool:
        points = list(pool.map(point, currents))
    rate, first, count = (np.array(column) for column in zip(*points)) if points else ([], [], [])
    return FICurve(currents, np.asarray(rate, dtype=float), np.asarray(first, dtype=float),
                   np.asarray(count, dtype=int))
