"""Recordings from the file formats of acquisition systems.

    trace = membrix.io.read_trace("cell.abf", channel=0)     # t_ms in ms, a voltage in mV
    session.set_recording(1, t_ms=trace.t_ms, values=trace.values - trace.values[0])

Axon binary files (.abf) are read through the Neo library; Axon text files
(.atf), plain tab-separated text, are read here; NWB files (.nwb, HDF5)
through h5py, from their current-clamp and voltage-clamp series. Both keep
the file's own time origin (a trace that starts at 0.1 ms starts there:
moving it would move every event the model is compared with). read_trace
gives the trace in the units of the session: times in ms, a voltage in mV, a
current in pA. read_recording gives the file as it is: times in seconds,
values in the units the file gives (volts or amperes for NWB, its conversion
and offset applied; the units of the column or channel for Axon files).

A file with more than one channel (or series, or a series of more than one
column) must be told which one to read. Values that are not finite numbers,
times that do not increase, and anything the file's reader cannot make sense
of are refused with a RecordingError naming the file.
"""

import os
import re
from typing import NamedTuple

import numpy as np

# The patch-clamp series of the NWB schema that hold a recorded or applied trace.
NWB_CLAMP_SERIES = ("CurrentClampSeries", "VoltageClampSeries", "IZeroClampSeries", "PatchClampSeries",
                    "CurrentClampStimulusSeries", "VoltageClampStimulusSeries")

_TIME_UNITS = {"s": 1.0, "ms": 1e-3, "us": 1e-6}
_ATF_NUMBER = re.compile(r"^[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$|^[-+]?(nan|inf)$", re.IGNORECASE)


class RecordingError(ValueError):
    """A recording file that cannot be read as asked."""


def read_recording(path, channel=None, sweep=0, column=None):
    """(t, values) of one channel of one sweep of a recording file: t in s from the file's own
    time origin, values in the file's units (volts or amperes for NWB).

    `channel` is a channel index or name for Axon files and the name or index
    of the series for NWB files; it may be left out only when the file holds
    one. `column` chooses the column of a two-dimensional NWB series; `sweep`
    is the sweep (segment) of an Axon file.
    """
    t, values, _ = _read(path, channel, sweep, column)
    return t, values


class Trace(NamedTuple):
    t_ms: np.ndarray    # ms from the file's own time origin
    values: np.ndarray  # in `unit`
    unit: str           # "mV" for a voltage, "pA" for a current, else the file's own unit ("" if none)


def read_trace(path, channel=None, sweep=0, column=None):
    """A Trace (t_ms, values, unit) of one channel of one sweep of a recording file, in the units of
    the session and the tasks: t_ms in ms from the file's own time origin, a voltage in mV, a current in
    pA (any other value as the file gives it, its unit in `unit`). The channel, sweep and column are
    chosen as read_recording chooses them.

        trace = membrix.io.read_trace("cell.abf", channel=0)      # t_ms in ms, values in mV
        session.set_recording(1, t_ms=trace.t_ms, values=trace.values - trace.values[0])
    """
    t, values, unit = _read(path, channel, sweep, column)
    factor, shown = _workbench_unit(unit)
    return Trace(1000.0 * t, values * factor if factor != 1.0 else values, shown)


# Units of voltage and current as files spell them: the factor to mV or pA.
_WORKBENCH_UNITS = {"V": (1000.0, "mV"), "volt": (1000.0, "mV"), "volts": (1000.0, "mV"), "mV": (1.0, "mV"),
                    "uV": (1e-3, "mV"), "µV": (1e-3, "mV"), "A": (1e12, "pA"), "ampere": (1e12, "pA"),
                    "amperes": (1e12, "pA"), "mA": (1e9, "pA"), "uA": (1e6, "pA"), "µA": (1e6, "pA"),
                    "nA": (1e3, "pA"), "pA": (1.0, "pA")}


def _workbench_unit(unit):
    key = (unit or "").strip()
    if key.lower() in ("volt", "volts", "ampere", "amperes"):
        key = key.lower()
    return _WORKBENCH_UNITS.get(key, (1.0, key))


def _read(path, channel, sweep, column):
    """(t in s, values, the values' unit as the file names it) of a recording file."""
    suffix = os.path.splitext(str(path))[1].lower()
    if not os.path.exists(path):
        raise FileNotFoundError(f"{path}: no such file")
    if os.path.isdir(path):
        raise RecordingError(f"{path}: is a folder, not a recording file")
    try:
        if suffix in (".abf", ".atf"):
            t, values, unit = _read_axon(path, suffix, channel, sweep)
        elif suffix == ".nwb":
            t, values, unit = _read_nwb(path, channel, column)
        else:
            raise RecordingError(f"{path}: not a recording format membrix reads "
                                 "(Axon binary .abf, Axon text .atf, NWB .nwb)")
    except RecordingError:
        raise
    except (IndexError, TypeError, KeyError, ValueError, AttributeError, OSError, EOFError) as e:
        # What the readers of Neo and h5py raise on a damaged or unexpected file.
        raise RecordingError(f"{path}: cannot be read as a recording ({type(e).__name__}: {e})") from e
    t, values = checked_trace(t, values, path)
    return t, values, unit


def checked_trace(t, values, path="recording"):
    """t and values as float arrays, refused (RecordingError naming `path`) when they differ in
    length, are empty, hold a value that is not a finite number, or when the times do not increase."""
    t = np.asarray(t, dtype=float).reshape(-1)
    values = np.asarray(values, dtype=float).reshape(-1)
    if len(t) != len(values):
        raise RecordingError(f"{path}: {len(t)} times for {len(values)} values")
    if len(t) == 0:
        raise RecordingError(f"{path}: the recording holds no samples")
    for what, a in (("time", t), ("value", values)):
        bad = np.flatnonzero(~np.isfinite(a))
        if len(bad):
            raise RecordingError(f"{path}: sample {bad[0]} has the {what} {a[bad[0]]}, not a finite number")
    steps = np.flatnonzero(np.diff(t) <= 0)
    if len(steps):
        k = steps[0] + 1
        raise RecordingError(f"{path}: the times must increase, but sample {k} is at {t[k]!r} s after "
                             f"{t[k - 1]!r} s")
    return t, values


def _pick(names, channel, what, path):
    """The index of `channel` (an index or a name) among `names`; None only when there is one."""
    if channel is None:
        if len(names) == 1:
            return 0
        plural = what if what.endswith("s") else what + "s"
        keyword = "channel"  # series are chosen by the channel keyword too
        raise RecordingError(f"{path}: holds {len(names)} {plural} {names}; choose one ({keyword}=...)")
    if isinstance(channel, (int, np.integer)) and not isinstance(channel, bool):
        if 0 <= channel < len(names):
            return int(channel)
        raise RecordingError(f"{path}: {what} {channel} does not exist (0 ... {len(names) - 1}: {names})")
    for i, name in enumerate(names):
        if name == channel:
            return i
    raise RecordingError(f"{path}: no {what} named {channel!r} (there are {names})")


def _read_axon(path, suffix, channel, sweep):
    if suffix == ".atf":
        return _read_atf(path, channel)
    from neo.io import AxonIO  # imported here: only Axon binary files need Neo
    block = AxonIO(filename=str(path)).read_block(lazy=False)
    return _signal_of_block(block, channel, sweep, path)


def signals_from_block(block, channel=None, sweep=0, path="recording"):
    """(t, values) of a channel of a sweep (segment) of a Neo block: t in s, the values in the
    signal's units."""
    t, values, _ = _signal_of_block(block, channel, sweep, path)
    return t, values


def _signal_of_block(block, channel, sweep, path):
    segments = block.segments
    if not 0 <= sweep < len(segments):
        raise RecordingError(f"{path}: sweep {sweep} does not exist (0 ... {len(segments) - 1})")
    columns = []  # (name, signal, column)
    for signal in segments[sweep].analogsignals:
        names = signal.array_annotations.get("channel_names", None)
        for k in range(signal.shape[1]):
            name = str(names[k]) if names is not None and k < len(names) else f"{signal.name or 'channel'} {k}"
            columns.append((name, signal, k))
    if not columns:
        raise RecordingError(f"{path}: sweep {sweep} holds no signal")
    name, signal, k = columns[_pick([c[0] for c in columns], channel, "channel", path)]
    t = np.asarray(signal.times.rescale("s").magnitude, dtype=float)
    t, values = checked_trace(t, np.asarray(signal.magnitude[:, k], dtype=float), path)
    return t, values, str(signal.units.dimensionality)


def _read_atf(path, channel):
    """An Axon text file: "ATF 1.0", the counts of header records and of
    columns, the header records, the column titles, then the data rows."""
    with open(path, encoding="latin-1") as f:
        lines = f.read().splitlines()

    def fail(line, what):
        raise RecordingError(f"{path}, line {line}: {what}")

    if not lines or not lines[0].startswith("ATF"):
        fail(1, "not an Axon text file (it does not start with ATF)")
    if len(lines) < 2:
        fail(2, "the counts of header records and columns are missing")
    counts = lines[1].split()
    if len(counts) < 2 or not all(c.isdigit() for c in counts[:2]):
        fail(2, f"expected the counts of header records and columns, found {lines[1]!r}")
    n_header, n_columns = int(counts[0]), int(counts[1])
    title_line = 2 + n_header
    if len(lines) <= title_line:
        fail(len(lines), "the file ends before its column titles")
    titles = [t.strip().strip('"') for t in lines[title_line].split("\t")]
    if len(titles) != n_columns or n_columns < 2:
        fail(title_line + 1, f"expected {n_columns} column titles (time and at least one signal), "
                             f"found {len(titles)}")
    rows = []
    for number, text in enumerate(lines[title_line + 1:], start=title_line + 2):
        if not text.strip():
            continue
        fields = text.split("\t")
        # Numbers as the file format writes them: float() would also take
        # "6_5" (65) and "infinity".
        if not all(_ATF_NUMBER.match(x.strip()) for x in fields):
            fail(number, f"expected {n_columns} numbers, found {text!r}")
        row = [float(x) for x in fields]
        if len(row) != n_columns:
            fail(number, f"expected {n_columns} numbers, found {len(row)}")
        rows.append(row)
    if not rows:
        fail(len(lines), "the file holds no data rows")
    data = np.array(rows)
    unit = re.search(r"\(([^)]*)\)", titles[0])
    scale = _TIME_UNITS.get(unit.group(1).strip() if unit else "s")
    if scale is None:
        fail(title_line + 1, f"unknown time unit in {titles[0]!r} (s, ms or us)")
    names = [re.sub(r"\s*\([^)]*\)\s*$", "", t) for t in titles[1:]]
    if isinstance(channel, str) and channel in titles[1:]:
        k = titles[1:].index(channel)
    else:
        k = _pick(names, channel, "channel", path)
    if channel is None and n_columns > 2:
        k = _pick(names, None, "channel", path)
    t = data[:, 0] * scale
    unit = re.search(r"\(([^)]*)\)\s*$", titles[k + 1])
    return t, data[:, k + 1], unit.group(1).strip() if unit else ""


def _read_nwb(path, series, column):
    import h5py  # imported here: only NWB files need it
    with h5py.File(path, "r") as f:
        found = {}
        for group_name in ("acquisition", "stimulus/presentation"):
            group = f.get(group_name)
            if group is None:
                continue
            for name, item in group.items():
                kind = item.attrs.get("neurodata_type", b"")
                kind = kind.decode() if isinstance(kind, bytes) else str(kind)
                if kind in NWB_CLAMP_SERIES:
                    found[name] = item
        if not found:
            raise RecordingError(f"{path}: no current- or voltage-clamp series in the file")
        names = sorted(found)
        item = found[names[_pick(names, series, "series", path)]]
        if "data" not in item:
            raise RecordingError(f"{path}: series {item.name} has no data")
        data = item["data"]
        values = np.asarray(data[()], dtype=float)
        if values.ndim == 2 and values.shape[1] == 1:
            values = values[:, 0]
        elif values.ndim == 2:
            if column is None:
                raise RecordingError(f"{path}: series {item.name} holds {values.shape[1]} columns; choose one "
                                     "(column=...)")
            if not isinstance(column, (int, np.integer)) or not 0 <= column < values.shape[1]:
                raise RecordingError(f"{path}: column {column!r} of series {item.name} does not exist "
                                     f"(0 ... {values.shape[1] - 1})")
            values = values[:, int(column)]
        elif values.ndim != 1:
            raise RecordingError(f"{path}: series {item.name} holds {values.ndim}-dimensional data")
        values = values * float(data.attrs.get("conversion", 1.0)) + float(data.attrs.get("offset", 0.0))
        unit = data.attrs.get("unit", "")
        unit = unit.decode() if isinstance(unit, bytes) else str(unit)
        if "timestamps" in item:
            t = np.asarray(item["timestamps"][()], dtype=float).reshape(-1)
            if len(t) != len(values):
                raise RecordingError(f"{path}: series {item.name} has {len(t)} timestamps for "
                                     f"{len(values)} values")
        elif "starting_time" in item:
            rate = float(item["starting_time"].attrs.get("rate", 0.0))
            if not rate > 0:
                raise RecordingError(f"{path}: series {item.name} has no sampling rate")
            t = float(item["starting_time"][()]) + np.arange(len(values)) / rate
        else:
            raise RecordingError(f"{path}: series {item.name} has neither timestamps nor a starting time")
    return t, values, unit


# The units of a run's traces as quantities spells them.
_QUANTITY_UNITS = {"mV": "mV", "pA": "pA", "nA": "nA", "mM": "mM", "mA/cm2": "mA/cm**2", "uA/cm2": "uA/cm**2",
                   "µA/cm²": "uA/cm**2", "mS/cm2": "mS/cm**2", "mS/cm²": "mS/cm**2", "ms": "ms", "s": "s",
                   "": "dimensionless"}


def to_neo(result, name="membrix run"):
    """A run's traces and spikes as a Neo Segment: one AnalogSignal per recorded item (in its unit,
    sampled every `every` steps from the first sample's time) and a SpikeTrain of the spike times
    (ms), so Neo's writers (NWB, NIX where installed) can store a simulation."""
    import neo  # imported here: only this needs Neo
    import quantities as pq

    t = np.asarray(result.t_ms, dtype=float)
    segment = neo.Segment(name=name)
    if len(t) == 0:
        return segment
    period = t[1] - t[0] if len(t) > 1 else None
    uniform = period is not None and period > 0 and np.allclose(np.diff(t), period, rtol=1e-9, atol=0)
    for item, values in result.traces.items():
        unit = _QUANTITY_UNITS.get(result.units.get(item, ""))
        units = pq.Quantity(1.0, unit or "dimensionless").units
        if uniform:
            signal = neo.AnalogSignal(np.asarray(values)[:, None], units=units, t_start=t[0] * pq.ms,
                                      sampling_period=period * pq.ms, name=item)
        else:
            signal = neo.IrregularlySampledSignal(t * pq.ms, np.asarray(values)[:, None], units=units, name=item)
        segment.analogsignals.append(signal) if uniform else segment.irregularlysampledsignals.append(signal)
    spikes = np.asarray(result.spike_times_ms, dtype=float)
    t_stop = max(t[-1], spikes.max() if len(spikes) else t[-1])
    segment.spiketrains.append(neo.SpikeTrain(spikes * pq.ms, t_start=min(0.0, t[0]) * pq.ms,
                                              t_stop=t_stop * pq.ms, name="spikes"))
    return segment
