"""Membrix from Python: neuron models, clamp runs, every task of the batch tool and fits, with NumPy
arrays and pandas tables.

    import membrix
    s = membrix.Session()
    s.family("Rariza")
    s.set("Iind", 300.0)                     # pA
    s.set("t_Iind", 50.0, "ms")              # a time: its unit is named
    r = s.run(record=["V", "INa"], t_end_ms=100)
    r.t_ms, r["V"], r.spike_times_ms         # ms, mV, ms

    fi = membrix.tasks.fi(session=s, iind_max=400, step=100, t_end_ms=200, seed=1)
    fi.table          # a pandas DataFrame of the f-I points

Units, the same for inputs and outputs, for the tasks (membrix.tasks) and the
session alike: times in ms, voltages in mV, currents in pA, current densities
in µA/cm², conductance densities in mS/cm², conductances in nS,
concentrations in mM, lengths in µm, frequencies in Hz; each parameter of a
session in the unit the workbench shows it in (Session.units(name)).
Session.set and Session.get take the unit as a third argument wherever it is
not the parameter record's own (times, voltages, ...), so that calls of
earlier versions, which gave those in s and V, are refused rather than
misread.
"""

from ._membrix import (Error, FormatError, IoError, RangeError, RunResult,  # noqa: F401
                       Session, __version__)
from .session import FitResult, UnitChangeWarning, UnitError  # noqa: F401
from . import tasks  # noqa: F401
from .sweeps import fi_curve  # noqa: F401


def _run_to_neo(self, name="membrix run"):
    """The traces and spikes of this run as a Neo Segment (AnalogSignal per item with its unit, a
    SpikeTrain in ms), for Neo's writers (NWB, NIX)."""
    from .io import to_neo
    return to_neo(self, name)


RunResult.to_neo = _run_to_neo

__all__ = ["Session", "RunResult", "FitResult", "Error", "FormatError", "IoError", "RangeError", "UnitError",
           "UnitChangeWarning", "fi_curve", "tasks", "__version__"]
