"""Membrix from Python: neuron models, clamp runs and fits with NumPy arrays.

    import membrix
    s = membrix.Session()
    s.family("Rariza")
    s.set("Iind", 300.0)
    r = s.run(record=["V", "INa"], t_end=0.1)
    r.t, r["V"], r.spike_times
"""

from ._membrix import (Error, FormatError, IoError, RangeError, RunResult,  # noqa: F401
                       Session)
from .sweeps import fi_curve  # noqa: F401

__all__ = ["Session", "RunResult", "Error", "FormatError", "IoError", "RangeError", "fi_curve"]
