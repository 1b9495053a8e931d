"""Every task of the batch tool as a Python function, made from the same declarations.

Units: every input and output is in the workbench's units, the same in both
directions: times in ms, voltages in mV, currents in pA, current densities in
µA/cm², conductance densities in mS/cm², conductances in nS, concentrations
in mM, lengths in µm, frequencies in Hz. A name says its unit where the
declaration says it (``t_end_ms``); the help of each function gives the unit,
default and allowed range of every input. The assignments of ``set=``, the
ranges of ``fit``'s ``bound=`` and the fitted ``results["parameters"]`` are
the exception: they keep the batch tool's spelling and address the parameter
record by its program names in its own units (s, V, pA for Iind), as
``membrix-cli --set`` does; to give and take such values in the workbench's
units, use a ``membrix.Session`` (``Session.set``, passed as ``session=``,
and ``Session.fit``).

    import membrix.tasks as mt
    r = mt.fi(iind_max=400, step=200, t_end_ms=100, seed=1)
    r.table            # the f-I points: a pandas DataFrame, units in r.table.attrs["units"]
    r.results          # the task's results as the batch tool's --json prints them

Each function takes the keyword arguments of the batch command of the same
name (``--iind-max`` is ``iind_max=``), checked against the same ranges, and:

- ``session=``: a ``membrix.Session`` to start from (a copy is used; the model
  inputs given, such as ``id=`` or ``set=``, are applied on top of it); without
  it the task starts, as the batch tool does, from the program's start values;
- ``progress=``: a function called with (done, total) on the calling thread as
  the task advances.

Files are written only where a path is named (``out="fi.dat"``,
``profiles=...``, ``out_dir=...``). An output the batch tool writes anyway
under a default name, an output given as True (``save_g=True``) and the files
of a task that writes into ``out_dir`` go into a temporary folder, are read
back into the result's tables and removed. An output without a default name
that is not named is not written, as in the batch tool (``preview`` then
prints its columns).

Ctrl+C stops a task within a second: its runs end, and KeyboardInterrupt is
raised; the exception's ``result`` holds what was done (``complete`` is
False), and an output named keeps what the batch tool keeps on a stop. The
interpreter is released while a task computes, so other Python threads run.
"""

import inspect
import json
import math
import os
import re
import shutil
import tempfile

import numpy as np

from . import _membrix
from .session import _result_or_raise

try:
    import pandas as _pandas
except ImportError:  # pragma: no cover - pandas is optional
    _pandas = None

__all__ = []

UNITS = ("times in ms, voltages in mV, currents in pA, current densities in µA/cm², conductance densities in "
         "mS/cm², conductances in nS, concentrations in mM, lengths in µm, frequencies in Hz")

_UNIT_TEXT = {"uA/cm2": "µA/cm²", "mS/cm2": "mS/cm²", "um": "µm", "degC": "°C", "Hz/(uA/cm2)": "Hz/(µA/cm²)",
              "Ohm*cm": "Ω·cm", "count": ""}
# The units a results key may end in ("Iind_pA", "rate_peak_Hz").
_KEY_UNITS = ("pA", "Hz", "mV", "ms", "uA_cm2", "mS_cm2", "nS", "mM", "um")


def _unit_text(unit):
    return _UNIT_TEXT.get(unit, unit)


def _number(x):
    if x is None:
        return "none"
    return "%.10g" % x


def _range_text(item):
    low, high = item.get("low"), item.get("high")
    lo = "(" if item.get("low_open") else "["
    hi = ")" if item.get("high_open") else "]"
    if low is None and high is None:
        return "any number"
    if high is None:
        return ("above " if item.get("low_open") else "at least ") + _number(low)
    if low is None:
        return ("below " if item.get("high_open") else "at most ") + _number(high)
    return "%s%s ... %s%s" % (lo, _number(low), _number(high), hi)


def _input_doc(item):
    kind = item["kind"]
    unit = _unit_text(item.get("unit", ""))
    head = item["name"]
    parts = []
    if kind in ("number", "integer"):
        parts.append(("%s, " % unit if unit else "") + ("whole number, " if kind == "integer" else "") +
                     _range_text(item))
        if item.get("default") is not None:
            parts.append("default %s" % _number(item["default"]))
    elif kind == "choice":
        parts.append("one of " + ", ".join('"%s" (%d)' % (c, i) for i, c in enumerate(item["choices"])))
        d = item.get("default")
        if isinstance(d, (int, float)) and 0 <= d < len(item["choices"]):
            parts.append('default "%s"' % item["choices"][int(d)])
    elif kind == "flag":
        parts.append("True or False")
    elif kind == "texts":
        parts.append("a text, a list of texts or a dict of KEY: VALUE")
    elif kind == "input file":
        parts.append("a path")
    elif kind == "output file":
        cols = item.get("columns")
        where = ("a path to keep the file, or True for its table alone; default: its table alone "
                 '(the batch tool writes "%s")' % item["default"] if item.get("default") else
                 "a path to keep the file, or True for its table alone; default: not written")
        parts.append(where)
        if cols:
            parts.append("columns " + ", ".join(
                c["name"] + (" (%s)" % _unit_text(c["unit"]) if c["unit"] else "") for c in cols))
    else:
        parts.append("a text")
    text = item["help"].rstrip(".")
    return "%s : %s\n    %s." % (head, "; ".join(parts), text)


def _doc(decl):
    lines = [decl["summary"], "", "Units: " + UNITS + "."]
    if decl.get("on_stop"):
        lines += ["", "On Ctrl+C: KeyboardInterrupt within a second, its `result` holding what was done. "
                  "Batch tool: " + decl["on_stop"]]
    lines += ["", "Returns a TaskResult: `tables` (pandas DataFrames, units in .attrs['units']), `results` "
              "(the batch tool's JSON results), `inputs`, `seed`, `version`, `complete`.", "",
              "Parameters", "----------"]
    for item in decl["inputs"]:
        lines.append(_input_doc(item))
    lines.append("session : membrix.Session, optional\n    The model to start from (a copy); default: the "
                 "program's start values.")
    lines.append("progress : callable(done, total), optional\n    Called on the calling thread as the task "
                 "advances.")
    return "\n".join(lines)


def _python_name(task_name):
    return task_name.replace("-", "_")


class TaskResult:
    """What a task gave: its tables, its results, and the inputs, seed and version it ran with.

    tables   : name -> pandas DataFrame (or NumPy structured array without pandas), one for each file
               the task wrote (by the output's name: "out", "profiles", ...) and for each list of records
               in the results ("points", "protocols"); units in df.attrs["units"]
    results  : the task's results as the batch tool's --json prints them (units in the keys)
    inputs   : every input the task ran with: name -> {"value", "unit"}
    seed, version, complete, done, total, notes, files (the outputs named: name -> path), summary
    """

    def __init__(self, task, summary, tables, files, notes, done, total, done_unit):
        self.task = task
        self.summary = summary
        self.tables = tables
        self.files = files
        self.notes = notes
        self.done = done
        self.total = total
        self.done_unit = done_unit
        head = ("program", "version", "task", "inputs", "seed", "input_files", "complete", "elapsed_seconds",
                "workers", "file", "files")
        self.results = {k: v for k, v in summary.items() if k not in head}

    @property
    def complete(self):
        return bool(self.summary.get("complete", False))

    @property
    def inputs(self):
        return self.summary.get("inputs", {})

    @property
    def seed(self):
        return self.summary.get("seed")

    @property
    def version(self):
        return self.summary.get("version")

    @property
    def table(self):
        """The first table (the main file the task writes), or None."""
        return next(iter(self.tables.values()), None)

    def __getitem__(self, key):
        if key in self.tables:
            return self.tables[key]
        return self.results[key]

    def __repr__(self):
        state = "complete" if self.complete else "stopped after %d of %d %s" % (self.done, self.total,
                                                                                  self.done_unit)
        tables = ", ".join("%s (%d rows: %s)" % (name, len(t), ", ".join(_column_texts(t)))
                           for name, t in self.tables.items())
        return "<TaskResult %s: %s, seed %s; tables: %s; results: %s>" % (
            self.task, state, self.seed, tables or "none", ", ".join(self.results) or "none")


def _column_texts(table):
    names = list(table.columns) if _pandas is not None and isinstance(table, _pandas.DataFrame) \
        else list(table.dtype.names or ())
    units = _attrs(table).get("units", {})
    return [n + (" " + units[n] if units.get(n) else "") for n in names]


def _attrs(table):
    return table.attrs if hasattr(table, "attrs") else {}


def _make_table(names, units, columns, attrs):
    if _pandas is not None:
        df = _pandas.DataFrame({n: c for n, c in zip(names, columns)}, columns=names)
        df.attrs.update(attrs)
        df.attrs["units"] = dict(zip(names, units))
        return df
    dtype = [(n, c.dtype) for n, c in zip(names, columns)]
    table = np.empty(len(columns[0]) if columns else 0, dtype=dtype)
    for n, c in zip(names, columns):
        table[n] = c
    return table


_NUMBER = re.compile(r"^[-+]?(\d+\.?\d*|\.\d+)([eEdD][-+]?\d+)?$|^[-+]?(nan|inf|infinity)$", re.I)


def _is_number(token):
    return bool(_NUMBER.match(token))


def _read_table(path, declared, attrs):
    """A column file as a table: the rows of numbers, named by the declared columns, the file's
    VARIABLES line or its last comment line, in that order of preference; blank lines between
    blocks of rows give a "block" column."""
    with open(path, "r", encoding="utf-8", errors="replace") as f:
        lines = f.read().splitlines()
    rows, blocks, header, block = [], [], None, 0
    for line in lines:
        text = line.strip()
        if not text:
            if rows and (not blocks or blocks[-1] == block):
                block += 1
            continue
        tokens = text.replace(",", " ").split() if text.upper().startswith("VARIABLES") else text.split()
        if all(_is_number(t) for t in tokens):
            rows.append([float(t.replace("d", "e").replace("D", "e")) for t in tokens])
            blocks.append(block)
        elif text.upper().startswith("VARIABLES"):
            header = re.findall(r'"([^"]*)"', text) or tokens[2:]
        elif text.startswith("#") and not rows:
            # "# t_ms z_um V_mV (one block per time)": the names before any remark.
            header = text.lstrip("#").split("(")[0].split()
    if not rows:
        return None
    width = len(rows[0])
    if any(len(r) != width for r in rows):
        return None  # not one table: left to the file
    data = np.array(rows, dtype=float)
    units = [""] * width
    if declared and len(declared) == width:
        names = [c["name"] for c in declared]
        units = [_unit_text(c["unit"]) for c in declared]
    elif header and len(header) == width:
        names = list(header)
        units = [_name_unit(n) for n in names]
    else:
        names = ["c%d" % i for i in range(width)]
    # Names must be unique to be columns.
    seen = {}
    for i, n in enumerate(names):
        if n in seen:
            seen[n] += 1
            names[i] = "%s_%d" % (n, seen[n])
        else:
            seen[n] = 0
    columns = [data[:, i] for i in range(width)]
    if len(set(blocks)) > 1:
        # Renumber the blocks 0, 1, 2, ...
        order = {b: i for i, b in enumerate(dict.fromkeys(blocks))}
        names.append("block")
        units.append("")
        columns.append(np.array([order[b] for b in blocks], dtype=int))
    return _make_table(names, units, columns, attrs)


_NAME_UNIT = re.compile(r"_(ms|s|um|mV|pA|nA|nV|Hz|nS|mM|mS/cm2|uA/cm2)$")


def _name_unit(name):
    """The unit a column's name ends in ("t_ms", "g_mS/cm2")."""
    m = _NAME_UNIT.search(name)
    return _unit_text(m.group(1)) if m else ""


def _key_unit(key):
    for unit in _KEY_UNITS:
        if key.endswith("_" + unit):
            return unit.replace("uA_cm2", "µA/cm²").replace("mS_cm2", "mS/cm²").replace("um", "µm")
    return ""


def _records_table(records, attrs):
    """A list of flat records of numbers (the f-I points) as a table; None for anything else."""
    if not records or not all(isinstance(r, dict) for r in records):
        return None
    names = list(records[0])
    if any(list(r) != names for r in records):
        return None
    columns = []
    for n in names:
        values = [r[n] for r in records]
        if not all(v is None or (isinstance(v, (int, float)) and not isinstance(v, bool)) for v in values):
            return None
        columns.append(np.array([math.nan if v is None else v for v in values],
                                dtype=int if all(isinstance(v, int) for v in values) else float))
    return _make_table(names, [_key_unit(n) for n in names], columns, attrs)


def _history_table(records, attrs):
    """The course of a fit: stage, pass, evaluations, residual and the fitted parameters."""
    if not records:
        return None
    # The point is absent before the first one is scored.
    names = list(dict.fromkeys(n for r in records for n in r))
    columns = [np.array([r.get(n, "" if n == "stage" else math.nan) for r in records],
                        dtype=object if n == "stage" else float) for n in names]
    for i, n in enumerate(names):
        if n in ("pass", "evaluations"):
            columns[i] = columns[i].astype(int)
    return _make_table(names, [_key_unit(n) for n in names], columns, attrs)


_DECLARATIONS = json.loads(_membrix.task_list())
_BY_NAME = {d["name"]: d for d in _DECLARATIONS}


def declarations():
    """Every declared task with its inputs (name, kind, unit, range, default, choices, help), as the
    batch tool's "membrix-cli tasks" lists them."""
    return json.loads(_membrix.task_list())


def run_task(name, session=None, progress=None, **values):
    decl = _BY_NAME.get(name) or _BY_NAME.get(str(name).replace("_", "-"))
    if decl is None:
        raise ValueError("no task is named %r; the tasks are %s" % (name, ", ".join(_BY_NAME)))
    if session is not None and not isinstance(session, _membrix.Session):
        raise TypeError("session takes a membrix.Session, not %s" % type(session).__name__)
    if progress is not None and not callable(progress):
        raise TypeError("progress takes a function of (done, total), not %s" % type(progress).__name__)
    temp = tempfile.mkdtemp(prefix="membrix-%s-" % decl["name"])
    try:
        out = _membrix.run_task(decl["name"], values, session, temp, progress)
        summary = json.loads(out["summary"])
        attrs = {"task": decl["name"], "version": summary.get("version"), "seed": summary.get("seed"),
                 "inputs": summary.get("inputs", {}), "complete": summary.get("complete")}
        declared = {i["name"]: i for i in decl["inputs"]}
        tables, files = {}, {}
        for input_name, path in out["written"]:
            if input_name in out["kept"]:
                files[input_name] = path
            try:
                table = _read_table(path, declared[input_name].get("columns"), dict(attrs, file=path))
            except (OSError, ValueError):
                table = None
            if table is not None:
                tables[input_name] = table
        out_dir = os.path.join(temp, "out_dir")
        folder_files = []
        if os.path.isdir(out_dir):
            folder_files = [os.path.join(out_dir, f) for f in sorted(os.listdir(out_dir))]
        elif "out_dir" in out["kept"]:
            folder = os.path.abspath(values["out_dir"])
            listed = summary.get("files", [])
            folder_files = [f for f in listed if isinstance(f, str) and
                            os.path.dirname(os.path.abspath(f)) == folder and os.path.isfile(f)]
        for path in folder_files:
            name = os.path.basename(path)
            if name.endswith(".json") or name in tables:
                continue
            try:
                table = _read_table(path, None, dict(attrs, file=path))
            except (OSError, ValueError):
                table = None
            if table is not None:
                tables[name] = table
        for key, item in summary.items():
            if isinstance(item, list) and key not in tables and key not in ("files", "input_files"):
                table = _records_table(item, attrs)
                if table is not None:
                    tables[key] = table
        history = _history_table(out["history"], attrs)
        if history is not None:
            tables["history"] = history
        result = TaskResult(decl["name"], summary, tables, files, list(out["notes"]), out["done"],
                            out["total"], out["done_unit"])
    finally:
        shutil.rmtree(temp, ignore_errors=True)
    return _result_or_raise(result, out["error"])


run_task.__doc__ = (
    'Run the declared task `name` ("fi", "map", "act-inact", ...) with keyword values in the workbench\'s '
    "units (" + UNITS + "); the functions of this module call it and their help lists the inputs.")


def _make_function(decl):
    pyname = _python_name(decl["name"])

    def task(*, session=None, progress=None, **values):
        return run_task(decl["name"], session=session, progress=progress, **values)

    params = [inspect.Parameter(i["name"], inspect.Parameter.KEYWORD_ONLY, default=None) for i in decl["inputs"]]
    params += [inspect.Parameter("session", inspect.Parameter.KEYWORD_ONLY, default=None),
               inspect.Parameter("progress", inspect.Parameter.KEYWORD_ONLY, default=None)]
    task.__signature__ = inspect.Signature(params)
    task.__name__ = task.__qualname__ = pyname
    task.__module__ = __name__
    task.__doc__ = _doc(decl)
    return pyname, task


for _decl in _DECLARATIONS:
    _name, _function = _make_function(_decl)
    globals()[_name] = _function
    __all__.append(_name)
__all__ += ["run_task", "declarations", "TaskResult", "UNITS"]
del _decl, _name, _function
