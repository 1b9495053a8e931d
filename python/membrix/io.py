"""Recordings from the file formats of acquisition systems.

    t, values = membrix.io.read_recording("cell.abf", channel=0)
    session.set_recording(1, t, values)

Axon binary files (.abf) are read through the Neo library; Axon text files
(.atf), plain tab-separated text, are read here; NWB files (.nwb, HDF5)
through h5py, from their current-clamp and voltage-clamp series. Times come
back in seconds from the first sample; values in the units the file gives:
volts or amperes for NWB (its conversion and offset applied), the units of
the column or channel for Axon files.
"""

import os
import re

import numpy as np

# The patch-clamp series of the NWB schema that hold a recorded or applied trace.
NWB_CLAMP_SERIES = ("CurrentClampSeries", "VoltageClampSeries", "IZeroClampSeries", "PatchClampSeries",
                    "CurrentClampStimulusSeries", "VoltageClampStimulusSeries")

_TIME_UNITS = {"s": 1.0, "ms": 1e-3, "us": 1e-6}


class RecordingError(ValueError):
    """A recording file that cannot be read as asked."""


def read_recording(path, channel=0, sweep=0):
    """(t, values) of one channel of one sweep of a recording file.

    `channel` is a channel index or name for Axon files and the name or index
    of the series for NWB files; `sweep` is the sweep (segment) of an Axon file.
    """
    suffix = os.path.splitext(str(path))[1].lower()
    if not os.path.exists(path):
        raise FileNotFoundError(f"{path}: no such file")
    if suffix in (".abf", ".atf"):
        return _read_axon(path, suffix, channel, sweep)
    if suffix == ".nwb":
        return _read_nwb(path, channel)
    raise RecordingError(f"{path}: not a recording format membrix reads "
                         "(Axon binary .abf, Axon text .atf, NWB .nwb)")


def _pick(names, channel, what, path):
    """The index of `channel` (an index or a name) among `names`."""
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
    return signals_from_block(block, channel, sweep, path)


def signals_from_block(block, channel=0, sweep=0, path="recording"):
    """(t, values) of a channel of a sweep (segment) of a Neo block."""
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
    return t - t[0], np.asarray(signal.magnitude[:, k], dtype=float)


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
        try:
            row = [float(x) for x in fields]
        except ValueError:
            fail(number, f"expected {n_columns} numbers, found {text!r}")
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
    t = data[:, 0] * scale
    return t - t[0], data[:, k + 1]


def _read_nwb(path, series):
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
        values = np.asarray(data[()], dtype=float).reshape(-1)
        values = values * float(data.attrs.get("conversion", 1.0)) + float(data.attrs.get("offset", 0.0))
        if "timestamps" in item:
            t = np.asarray(item["timestamps"][()], dtype=float).reshape(-1)
            if len(t) != len(values):
                raise RecordingError(f"{path}: series {item.name} has {len(t)} timestamps for "
                                     f"{len(values)} values")
        elif "starting_time" in item:
            rate = float(item["starting_time"].attrs.get("rate", 0.0))
            if not rate > 0:
                raise RecordingError(f"{path}: series {item.name} has no sampling rate")
            t = np.arange(len(values)) / rate
        else:
            raise RecordingError(f"{path}: series {item.name} has neither timestamps nor a starting time")
    return t - t[0], values
