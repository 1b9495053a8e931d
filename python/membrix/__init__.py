"""Membrix from Python: neuron models, clamp runs, every task of the batch tool and fits, with NumPy
arrays and pandas tables.

    import membrix
    s = membrix.Session()
    s.family("Rariza")
    s.set("Iind", 300.0)
    r = s.run(record=["V", "INa"], t_end=0.1)
    r.t, r["V"], r.spike_times

    fi = membrix.tasks.fi(session=s, iind_max=400, step=100, t_end_ms=200, seed=1)
    fi.table          # a pandas DataFrame of the f-I points

The tasks (membrix.tasks) take and give the workbench's units: times in ms,
voltages in mV, currents in pA, current densities in µA/cm², conductance
densities in mS/cm², frequencies in Hz. Session.set and Session.get address
the parameter record by its program names in its own units (s, V, pA for
Iind).
"""

from ._membrix import (Error, FormatError, IoError, RangeError, RunResult,  # noqa: F401
                       Session, __version__)
from . import tasks  # noqa: F401
from .sweeps import fi_curve  # noqa: F401


def _run_to_neo(self, name="membrix run"):
    """The traces and spikes of this run as a Neo Segment (AnalogSignal per item with its unit, a
    SpikeTrain in s), for Neo's writers (NWB, NIX)."""
    from .io import to_neo
    return to_neo(self, name)


RunResult.to_neo = _run_to_neo

__all__ = ["Session", "RunResult", "Error", "FormatError", "IoError", "RangeError", "fi_curve", "tasks",
           "__version__"]
