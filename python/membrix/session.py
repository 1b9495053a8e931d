"""The methods of membrix.Session that take or give values with units, and its fit.

A session speaks the units of the tasks and of the workbench's windows: times
in ms, voltages in mV, currents in pA, current densities in µA/cm²,
conductance densities in mS/cm². Calls of earlier versions, which gave some
of these values in the parameter record's own units (s, V), are refused with
the call to write instead, never read in the new unit.
"""

import inspect
import math
import warnings

import numpy as np

from . import _membrix
from . import units as _units

Session = _membrix.Session
RunResult = _membrix.RunResult


class UnitError(ValueError):
    """A value given without its unit where the unit must be named, or with another unit than the
    one the session takes it in."""


def _value_text(value):
    return "%r" % value if isinstance(value, str) else "%.10g" % value


def _require_unit(session, call, name, unit, value=None):
    """Refuses a call that does not name the unit of a value whose unit changed, or names another."""
    shown = _units.unit_of(name)
    if unit is None:
        if not _units.changed(name):
            return
        # A zero is the same in every unit of a scale (not in °C).
        if call == "set" and _units.scaled(name) and _is_number(value) and value == 0:
            return
        if call == "set":
            was = ""
            if _is_number(value):
                was = " (%s in the record's own unit, which earlier versions took, is set(\"%s\", %s, \"%s\"))" % (
                    _value_text(value), name, "%.10g" % _units.to_shown(name, float(value), _square(session)),
                    shown)
            raise UnitError(
                'Session.set("%s", %s): %s is given in %s, the unit the workbench shows, no longer in the '
                'record\'s own unit; name the unit: set("%s", %s, "%s")%s' % (
                    name, _value_text(value), name, shown, name, _value_text(value), shown, was))
        raise UnitError('Session.get("%s"): %s is given in %s, the unit the workbench shows, no longer in '
                        'the record\'s own unit; name the unit: get("%s", "%s")' % (name, name, shown, name,
                                                                                   shown))
    if not isinstance(unit, str):
        raise TypeError("unit takes a text such as \"ms\", not %s" % type(unit).__name__)
    if not _units.same_unit(unit, name):
        raise UnitError('%s is given in %s, not in "%s"' % (name, shown or "no unit (a plain number)", unit))


def _square(session):
    return session._get_stored("NP0.Square")


def _set(self, name, value, unit=None):
    """Set a protocol global ("Iind", "t_end", "dt", "t_Iind", "Vh", ...) or a parameter field
    ("NP0.gNa", "NP0.HH_order") to a value in the unit the workbench shows it in: times in ms, voltages
    in mV, conductance densities in mS/cm², current densities in µA/cm², currents in pA, the area in
    1e-5 cm², Cm in µF/cm², the temperature in °C (Session.units(name) gives it).

    `unit` names that unit ("ms", "mV", "uA/cm2" or "µA/cm²", ...); it must be given where the unit is
    not the parameter record's own (a time, a voltage, ...), whose values earlier versions took in s and
    V: such a call without it is refused with membrix.UnitError, as is a unit that is not the value's
    (a value of 0, the same in every unit, needs none, but for the temperature).
    A value no run could use (dt 0, t_end -1) is refused with membrix.RangeError and nothing changes.
    """
    _require_unit(self, "set", name, unit, value)
    try:
        _set_shown(self, name, value)
    except ZeroDivisionError as e:
        raise _membrix.RangeError(str(e)) from None


def _set_shown(self, name, value):
    given = value
    if _units.changed(name) and not isinstance(value, str):
        if isinstance(value, bool) or not isinstance(value, (int, float)) and not hasattr(value, "__float__"):
            raise TypeError("a value must be a number or a text, not %s" % type(value).__name__)
        value = _units.to_kept(name, float(value), _square(self))
    elif _units.changed(name):
        try:
            value = _units.to_kept(name, float(value), _square(self))
        except ValueError:
            pass  # the engine says what is wrong with the text
    try:
        self._set_stored(name, value)
    except _membrix.RangeError as e:
        # The engine's check speaks in the record's units: the value as given, too.
        if not _units.changed(name):
            raise
        raise _membrix.RangeError("%s (set: %s = %s %s)" % (e, name, _given_text(given), _units.unit_of(name))) \
            from None


def _given_text(value):
    return value if isinstance(value, str) else "%.10g" % value


def _get(self, name, unit=None):
    """The value of a protocol global or a parameter field, in the unit the workbench shows it in
    (as Session.set takes it); an int, a float or a str as the field is. `unit` must name the unit where
    it is not the record's own (see Session.set)."""
    _require_unit(self, "get", name, unit)
    value = self._get_stored(name)
    if _units.changed(name) and isinstance(value, float):
        return _units.to_shown(name, value, _square(self))
    return value


def _units_of(name=None):
    """The unit Session.set and get use for a name ("ms" for "t_end", "mV" for "NP0.Vrest", "" for a
    plain number, a switch or a text); without a name, a dict of every name that has a unit."""
    if name is None:
        found = {}
        for n in Session.names():
            if _units.unit_of(n):
                found[n] = _units.unit_of(n)
        return found
    if name not in Session.names():
        raise _membrix.FormatError("unknown parameter %s" % name)
    return _units.unit_of(name)


def _run(self, record=("V",), every=1, *, t_end_ms=None, dt_ms=None, integrator=None, rtol=None, atol=None,
         **old):
    """One clamp run; records the named output items every `every` steps.

    t_end_ms and dt_ms, when given, set the run's length and time step in ms (and stay set, as
    set("t_end", ..., "ms") would). integrator "fixed" (the model's own step at dt) or "cvode"
    (error-controlled variable steps within rtol and atol; the samples stay dt apart), rtol and atol,
    when given, stay set too (the session values "Integrator", "rtol", "atol"). Returns a RunResult: t_ms and spike_times_ms in ms, the traces in
    the units result.units names (mV, µA/cm², pA, mM).

    Ctrl+C stops the run within a second: KeyboardInterrupt is raised, its `result` the RunResult of
    the steps made (complete False). The keywords t_end= and dt= of earlier versions (in s) are refused
    with a TypeError that gives the call in ms.
    """
    for key in old:
        if key in ("t_end", "dt"):
            raise TypeError("Session.run takes %s_ms= in ms, not %s= in s: run(%s_ms=%s)" % (
                key, key, key, "%.10g" % (1000.0 * float(old[key])) if _is_number(old[key]) else "..."))
        raise TypeError("Session.run() got an unexpected keyword argument '%s'" % key)
    if isinstance(record, str):
        record = [record]
    if integrator is not None:
        kinds = {"fixed": 0, "cvode": 1}
        if integrator not in kinds:
            raise ValueError("integrator is \"fixed\" or \"cvode\", not %r" % (integrator,))
        self.set("Integrator", kinds[integrator])
    if rtol is not None:
        self.set("rtol", rtol)
    if atol is not None:
        self.set("atol", atol)
    result, error = self._run(list(record), every, t_end_ms, dt_ms)
    _note_changed_traces(result)
    return _result_or_raise(result, error)


def _result_or_raise(result, error):
    """The result, or the error with what was done before it attached as .result."""
    if error is not None:
        try:
            error.result = result
        except AttributeError:
            pass
        raise error
    return result


def _is_number(x):
    return isinstance(x, (int, float)) and not isinstance(x, bool)


class UnitChangeWarning(FutureWarning):
    """Values whose unit changed under the same name: a run's current densities (µA/cm², were mA/cm²)
    and its compared value Vr in current clamp (mV, was V)."""


_warned = set()


def _note_changed_traces(result):
    for name, unit in result.units.items():
        if unit in ("µA/cm²",) or (unit == "mV" and name.strip().lower() == "vr"):
            key = "Vr" if unit == "mV" else "current densities"
            if key not in _warned:
                _warned.add(key)
                was = "V" if key == "Vr" else "mA/cm²"
                warnings.warn("membrix: a run gives %s in %s (earlier versions gave %s); result.units names the "
                              "unit of every trace" % (key, unit, was), UnitChangeWarning, stacklevel=3)


def _set_recording(self, smpl, *old, t_ms=None, values=None):
    """Use arrays as recording smpl (0 ... 20) in place of the file a parameter file names for it, in runs
    and fits alike: t_ms the times in ms (increasing), values the model value the run compares, Vr, in
    the unit the session's clamp mode gives it: the depolarisation from rest V - Vrest in mV in current
    clamp, the clamp current in pA in voltage clamp (Session.compared_unit() says which). The arrays are
    converted with the clamp mode the session has at this call.

    The positional form set_recording(smpl, t, values) of earlier versions, in s and V, is refused with a
    TypeError that gives the call in ms and mV.
    """
    if old:
        raise TypeError("Session.set_recording takes t_ms= (ms) and values= (mV in current clamp, pA in voltage "
                        "clamp) by name, not the times in s and the values in V by position: "
                        "set_recording(%r, t_ms=1000 * t, values=1000 * v) for a current-clamp recording in s and "
                        "V" % (smpl,))
    if t_ms is None or values is None:
        raise TypeError("Session.set_recording needs t_ms= and values=")
    self._set_recording(smpl, t_ms, values)


def _compared_unit(self):
    """The unit of the run's compared value Vr, and of the values of a recording given as arrays, in the
    session's clamp mode: "mV" in current clamp (V - Vrest), "pA" in voltage clamp (the clamp current)
    and in the "Iind" mode (the injected current), "mS/cm²" in the "for gNa" mode (the conductance)."""
    return self._compared_unit()


class FitResult:
    """What Session.fit gave: the fitted `parameters` (field name -> value, in the unit Session.get gives),
    the `residual` (the sum of the recordings' deviations, as the batch tool reports it), `passes`,
    `evaluations`, `method`, `end` (how it ended), `converged`, `units` (field -> unit), `history` (a pandas
    DataFrame, see Session.fit) and `task`, the TaskResult of membrix.tasks.fit it came from.
    fit["residual"] and the other keys of earlier versions are attributes."""

    def __init__(self, task, parameters, units, history):
        self.task = task
        self.parameters = parameters
        self.units = units
        self.history = history
        r = task.results
        self.method = r.get("method")
        self.end = r.get("end")
        self.residual = r.get("residual")
        self.passes = r.get("passes")
        self.evaluations = r.get("evaluations")
        # "converged", "stopped after --max-passes", "evaluation limit", "stopped by a signal"
        self.converged = self.end == "converged"

    def __getitem__(self, key):
        if key == "values":
            raise KeyError('fit["values"] held the record\'s own units (s, V); the fitted values are '
                           "fit.parameters now, in the units Session.get gives (ms, mV, mS/cm²)")
        if key in ("residual", "passes", "evaluations", "converged", "parameters", "method", "end", "history"):
            return getattr(self, key)
        raise KeyError(key)

    def __repr__(self):
        values = ", ".join("%s=%.6g%s" % (k, v, " " + self.units[k] if self.units.get(k) else "")
                           for k, v in self.parameters.items())
        return "<FitResult %s: %s, residual %s after %s evaluations: %s>" % (
            self.method, self.end, "%.6g" % self.residual if self.residual is not None else "none",
            self.evaluations, values)


def _fit_field(name):
    """The record field a fit parameter moves, by its Parameters -> Simplex item or its field name."""
    for item, field in _membrix._fit_parameters():
        if name in (item, field):
            return field
    return None


def _bound_texts(bounds):
    if bounds is None:
        return None
    if isinstance(bounds, (str, list, tuple)):
        raise TypeError('bounds takes a dict {name: (lower, upper)} in the units Session.get gives, such as '
                        '{"gNa": (60, 180)}')
    texts = []
    for name, pair in bounds.items():
        field = _fit_field(name)
        if field is None:
            raise ValueError("the fit has no parameter %r" % name)
        lower, upper = (float(x) for x in pair)
        # The bounds are in the units the record keeps the field in.
        square = None
        key = "NP0." + field
        kept = [_units.to_kept(key, x, square) for x in (lower, upper)]
        texts.append("%s=%.17g:%.17g" % (name, kept[0], kept[1]))
    return texts


def _fit(self, names=None, tolerance=1e-4, max_passes=0, *, method="simplex", bounds=None, starts=None,
         max_evaluations=None, workers=None, progress=None):
    """Fit the named parameters (items of Parameters -> Simplex or field names, as membrix-cli fit --fit;
    without names the workbench's default marks) to every recording 1 ... NSmpls, by the batch tool's
    fit: membrix.tasks.fit on a copy of this session, whose best point is then kept in the session.

    method     : "simplex" (the downhill simplex from the parameters' values), "global" (a controlled
                 random search of the bounds, then a local polish) or "multistart" (the simplex from
                 `starts` points spread over the bounds); the global methods score their points on copies
                 of the session side by side, each with the recordings given as arrays
    bounds     : {name: (lower, upper)} in the units Session.get gives (ms, mV, mS/cm²); a parameter
                 without bounds is searched from half to twice its value
    tolerance  : the simplex stops when its highest and lowest values agree within this fraction
    max_passes : the simplex stops after that many passes (0: no limit)
    starts, max_evaluations : the multistart's starting points; the evaluations of the global search
                 before its polish, or of each start of the multistart
    workers    : how many evaluations run at once (the batch tool's --threads; 0: one per core)
    progress   : called with (evaluations so far, 0) on the calling thread

    Returns a FitResult: `parameters` (field -> fitted value, in the units of Session.get), `residual`,
    `passes`, `evaluations`, `converged`, `end`, and `history`: a DataFrame with one row after every pass
    of the simplex and after every evaluation (global search) or start (multistart) of the other methods,
    holding the stage, the pass, the evaluations so far, the lowest residual so far and its point (in the
    units of Session.get). The simplex reports once per pass, so its history gives the best vertex after
    each pass and not every point it scored.

    Ctrl+C stops the fit at its next evaluation: KeyboardInterrupt, whose `result` is the FitResult of the
    best point so far; the session then keeps the values it had.
    """
    from . import tasks  # the module of the tasks imports this one
    if isinstance(names, str):
        names = [names]
    names = list(names) if names else None
    if max_passes and method != "simplex":
        raise ValueError("max_passes counts the passes of the simplex; the %s method is limited by "
                         "max_evaluations" % method)
    keywords = dict(session=self, fit=names, method=method, bound=_bound_texts(bounds), starts=starts,
                    max_evaluations=max_evaluations, tolerance=tolerance, threads=workers, progress=progress)
    if max_passes:
        keywords["max_passes"] = max_passes
    try:
        task = tasks.fit(**keywords)
    except KeyboardInterrupt as stop:
        if getattr(stop, "result", None) is not None:
            stop.result = _fit_result(stop.result)
        raise
    result = _fit_result(task)
    # The session keeps the best point, and so does its pickle.
    for field, value in task.results.get("parameters", {}).items():
        self._set_stored("NP0." + field, value)
    return result


def _fit_result(task):
    fitted = task.results.get("parameters", {})
    parameters, units = {}, {}
    for field, value in fitted.items():
        key = "NP0." + field
        parameters[field] = _units.to_shown(key, value, None) if value is not None else math.nan
        units[field] = _units.unit_of(key)
    history = task.tables.get("history")
    if history is not None:
        history = history.copy()
        for field in fitted:
            if field in history:
                key = "NP0." + field
                history[field] = np.array([_units.to_shown(key, x, None) for x in history[field]], dtype=float)
        if hasattr(history, "attrs"):
            history.attrs["units"] = dict(history.attrs.get("units", {}), **units)
    return FitResult(task, parameters, units, history)


def hide_old_spellings(f):
    """The signature without the catch-all of the old keywords, which are refused."""
    sig = inspect.signature(f)
    f.__signature__ = sig.replace(parameters=[p for p in sig.parameters.values() if p.name != "old"])
    return f


hide_old_spellings(_run)
hide_old_spellings(_set_recording)
Session.set = _set
Session.get = _get
Session.units = staticmethod(_units_of)
Session.run = _run
Session.set_recording = _set_recording
Session.compared_unit = _compared_unit
Session.fit = _fit
for _f, _n in ((_set, "set"), (_get, "get"), (_run, "run"), (_set_recording, "set_recording"),
               (_compared_unit, "compared_unit"), (_fit, "fit"), (_units_of, "units")):
    _f.__name__ = _f.__qualname__ = _n
    _f.__qualname__ = "Session." + _n
del _f, _n


def _old_times(name):
    def get(self):
        raise AttributeError("RunResult.%s was in s; the run gives %s_ms, in ms" % (name, name))
    get.__doc__ = "Refused: the times are %s_ms, in ms (earlier versions gave %s in s)." % (name, name)
    return property(get)


RunResult.t = _old_times("t")
RunResult.spike_times = _old_times("spike_times")
