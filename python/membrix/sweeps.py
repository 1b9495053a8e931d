"""Sweeps made of clamp runs, with their results as NumPy arrays.

Each function takes a prepared Session and leaves it unchanged: every point
runs on a copy, so points can run side by side in threads (a run releases the
interpreter while it computes).
"""

from concurrent.futures import ThreadPoolExecutor
from typing import NamedTuple

import numpy as np

from .session import hide_old_spellings


class FICurve(NamedTuple):
    currents: np.ndarray    # pA, the injected current of each point
    rate: np.ndarray        # Hz, spikes in the current window / the window's length
    first_rate: np.ndarray  # Hz, 1 / the first interspike interval (0 with fewer than 2 spikes)
    spike_counts: np.ndarray


def fi_curve(session, currents, t_end_ms=None, workers=1, **old):
    """The f-I curve: one run for each current (pA, the protocol global Iind), each `t_end_ms` ms long
    (default: the session's t_end).

    The rate (Hz) counts the spikes inside the current window, from t_IindShift for t_Iind (cut at the
    end of the run). `workers` runs that many points at a time in threads. The keyword t_end= of earlier
    versions (in s) is refused with a TypeError that gives t_end_ms.
    """
    if "t_end" in old:
        value = old.pop("t_end")
        raise TypeError("fi_curve takes t_end_ms= in ms, not t_end= in s: fi_curve(..., t_end_ms=%s)" %
                        ("%.10g" % (1000.0 * value) if isinstance(value, (int, float)) else "..."))
    if old:
        raise TypeError("fi_curve() got an unexpected keyword argument '%s'" % next(iter(old)))
    currents = np.asarray(currents, dtype=float)
    if currents.ndim != 1:
        raise ValueError("currents must be a one-dimensional sequence")

    def point(current):
        s = session.copy()
        s.set("Iind", float(current), "pA")
        r = s.run(record=[], t_end_ms=t_end_ms)
        start = s.get("t_IindShift", "ms")
        end = min(start + s.get("t_Iind", "ms"), s.get("t_end", "ms"))
        spikes = r.spike_times_ms[(r.spike_times_ms >= start) & (r.spike_times_ms <= end)]
        window = (end - start) / 1000.0
        rate = len(spikes) / window if window > 0 else 0.0
        first = 1000.0 / (spikes[1] - spikes[0]) if len(spikes) >= 2 else 0.0
        return rate, first, len(spikes)

    with ThreadPoolExecutor(max_workers=max(1, int(workers))) as pool:
        points = list(pool.map(point, currents))
    rate, first, count = (np.array(column) for column in zip(*points)) if points else ([], [], [])
    return FICurve(currents, np.asarray(rate, dtype=float), np.asarray(first, dtype=float),
                   np.asarray(count, dtype=int))


hide_old_spellings(fi_curve)
