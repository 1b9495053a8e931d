import inspect
import json
import os
import pickle
import signal
import subprocess
import threading
import time

import numpy as np
import pytest

import membrix
import membrix.tasks as mt
from conftest import CLI, SOURCE_DIR, axon_session

SAMPLES = os.path.join(SOURCE_DIR, "resources", "samples")


def numbers(path):
    """The rows of numbers of a column file, every other line skipped."""
    rows = []
    with open(path) as f:
        for line in f:
            tokens = line.split()
            try:
                rows.append([float(x) for x in tokens])
            except ValueError:
                continue
    return [r for r in rows if r]


def ten_digits(x):
    return float("%.10g" % x)


def assert_same_results(py, cli, where=""):
    """The Python results against the batch tool's JSON, which writes ten significant digits."""
    if isinstance(cli, dict):
        assert set(cli) <= set(py), where
        for key in cli:
            assert_same_results(py[key], cli[key], where + "." + key)
    elif isinstance(cli, list):
        assert len(py) == len(cli), where
        for i, (a, b) in enumerate(zip(py, cli)):
            assert_same_results(a, b, "%s[%d]" % (where, i))
    elif isinstance(cli, float):
        assert ten_digits(py) == cli, where
    else:
        assert py == cli, where


def table_rows(table):
    return [[float(x) for x in row] for row in table.drop(columns=["block"], errors="ignore").to_numpy()]


# name, Python keywords, the batch tool's options, {table: file the batch tool writes}
SAME_AS_CLI = [
    ("fi", dict(iind_max=400, step=200, t_end_ms=100, seed=3, threads=2),
     ["--iind-max", "400", "--step", "200", "--t-end-ms", "100", "--seed", "3", "--threads", "2",
      "--out", "fi.dat"], {"out": "fi.dat"}),
    ("map", dict(nue=3, nse=2, t_end_ms=50, noise="Noise-current", current_noise_amplitude=0.5, seed=11),
     ["--nue", "3", "--nse", "2", "--t-end-ms", "50", "--noise", "Noise-current", "--current-noise-amplitude",
      "0.5", "--seed", "11", "--out", "map.dat"], {"out": "map.dat"}),
    ("ensemble", dict(kind="noise", mesh=7, t_end_ms=20, nrate=40, seed=5),
     ["--kind", "noise", "--mesh", "7", "--t-end-ms", "20", "--nrate", "40", "--seed", "5", "--out-dir", "."],
     {"RateNoise(t).dat": "RateNoise(t).dat", "OneCurve(t).dat": "OneCurve(t).dat"}),
    ("act-inact", dict(id=os.path.join(SAMPLES, "Act_Inact.id"), save_g=True, save_norm_i=True),
     ["--id", os.path.join(SAMPLES, "Act_Inact.id"), "--save-g", "g.dat", "--save-norm-i", "ni.dat"],
     {"save_g": "g.dat", "save_norm_i": "ni.dat"}),
    ("fiber", dict(segments=10, t_end_ms=2),
     ["--segments", "10", "--t-end-ms", "2", "--profiles", "p.dat", "--ends", "e.dat"],
     {"profiles": "p.dat", "ends": "e.dat"}),
]


@pytest.mark.parametrize("task, keywords, options, files", SAME_AS_CLI, ids=[c[0] for c in SAME_AS_CLI])
def test_a_task_from_python_gives_the_batch_tools_numbers(tmp_path, task, keywords, options, files):
    out = subprocess.run([CLI, task, *options, "--json", "--progress", "none"], cwd=tmp_path, capture_output=True,
                         text=True, check=True)
    cli = json.loads(out.stdout)
    r = mt.run_task(task, **keywords)
    assert r.complete and r.version == membrix.__version__ == cli["version"]
    assert r.seed == cli["seed"]
    for table, file in files.items():
        assert table_rows(r.tables[table]) == numbers(tmp_path / file), table
    skip = ("program", "inputs", "input_files", "elapsed_seconds", "file", "files", "data", "profiles", "ends",
            "written")
    assert_same_results(r.results, {k: v for k, v in cli.items() if k not in skip and k in r.results})
    # Nothing was written where the call was made.
    assert not any(name.endswith(".dat") for name in os.listdir("."))


def test_tables_carry_units_and_the_call(tmp_path):
    r = mt.fi(iind_max=300, step=100, t_end_ms=80, seed=2, out=str(tmp_path / "fi.dat"))
    table = r.tables["out"]
    assert list(table.columns) == ["Iind", "f", "Iind_as_passive_depolarisation"]
    assert table.attrs["units"]["Iind"] == "pA" and table.attrs["units"]["f"] == "Hz"
    assert table.attrs["seed"] == 2 and table.attrs["task"] == "fi"
    assert table.attrs["inputs"]["iind_max"]["value"] == 300
    np.testing.assert_array_equal(r.tables["points"]["Iind_pA"], [0, 100, 200, 300])
    assert r.tables["points"].attrs["units"]["f_Hz"] == "Hz"
    # The named file is kept, with its description beside it.
    assert r.files == {"out": str(tmp_path / "fi.dat")}
    assert os.path.exists(tmp_path / "fi.dat.json")
    assert "fi: complete" in repr(r) and "Iind pA" in repr(r)
    assert pickle.loads(pickle.dumps(r)).tables["out"].equals(table)


def test_progress_reaches_the_end_on_the_calling_thread():
    calls = []
    mt.fi(iind_max=400, step=100, t_end_ms=50, progress=lambda done, total: calls.append(
        (done, total, threading.get_ident())))
    assert calls and calls[-1][:2] == (5, 5)
    assert {c[2] for c in calls} == {threading.get_ident()}
    assert [c[0] for c in calls] == sorted(c[0] for c in calls)


def test_an_error_in_the_progress_function_stops_the_task():
    def progress(done, total):
        raise ValueError("enough")

    with pytest.raises(ValueError, match="enough") as caught:
        mt.map(nue=40, nse=40, t_end_ms=500, progress=progress)
    assert not caught.value.result.complete


def test_ctrl_c_stops_a_long_map_within_a_second():
    timer = threading.Timer(1.0, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    start = time.monotonic()
    with pytest.raises(KeyboardInterrupt) as caught:
        mt.map(nue=100, nse=100, t_end_ms=2000, threads=2)
    assert time.monotonic() - start < 2.0
    result = caught.value.result
    assert not result.complete and result.done < result.total == 101 * 101
    assert len(result.tables.get("out", [])) == result.done  # the lines done, as the batch tool keeps them


@pytest.mark.parametrize("keywords, error, message", [
    (dict(iind_max=-1), membrix.RangeError, "iind_max = -1: outside the allowed at least 0 pA"),
    (dict(step=0), membrix.RangeError, "step = 0"),
    (dict(max_spikes=2.5), membrix.RangeError, "max_spikes = 2.5: not a whole number"),
    (dict(t_end_ms=float("nan")), membrix.RangeError, "t_end_ms = nan: not a finite number"),
    (dict(step="10"), TypeError, "step takes a number, not str"),
    (dict(noise="yes"), TypeError, "noise takes True or False"),
    (dict(estimator="guess"), membrix.RangeError, "estimator = \"guess\": not one of"),
    (dict(iind_maximum=5), TypeError, "fi takes no input iind_maximum"),
    (dict(out=""), membrix.RangeError, "out is empty"),
    (dict(out=False), ValueError, "out takes a path, or True"),
    (dict(set=["t_end"]), membrix.FormatError, "t_end"),
    (dict(set={"dt": 0}), membrix.RangeError, "dt"),
])
def test_inputs_are_checked_as_the_batch_tool_checks_them(keywords, error, message):
    with pytest.raises(error) as caught:
        mt.fi(**{"iind_max": 100, "step": 100, "t_end_ms": 10, **keywords})
    assert message in str(caught.value)


def test_a_session_is_the_model_a_task_starts_from():
    s = axon_session()
    r = mt.fi(session=s, iind_max=600, step=300, t_end_ms=100)
    starts = mt.fi(iind_max=600, step=300, t_end_ms=100)
    assert r.tables["points"]["f_Hz"].tolist() != starts.tables["points"]["f_Hz"].tolist()
    same = mt.fi(family="Rariza", set={**{"uu": 0, "ss": 0, "t_Iind": 1}}, iind_max=600, step=300, t_end_ms=100)
    assert r.tables["points"].equals(same.tables["points"])
    assert s.get("Iind") == 300  # the session itself is left as it was


def test_every_task_is_a_function_whose_help_gives_units_and_ranges():
    names = [d["name"] for d in mt.declarations()]
    assert len(names) >= 18
    for decl in mt.declarations():
        f = getattr(mt, decl["name"].replace("-", "_"))
        params = inspect.signature(f).parameters
        assert [i["name"] for i in decl["inputs"]] + ["session", "progress"] == list(params)
        assert f.__doc__.startswith(decl["summary"]) and "Units: times in ms" in f.__doc__
    doc = mt.fi.__doc__
    assert "iind_max : pA, at least 0; default" in doc
    assert 'estimator : one of "' in doc
    for name in mt.__all__:
        assert getattr(mt, name).__doc__, name


def own_recording_session():
    """The squid axon at gNa 100 mS/cm² with, as recording 1, its own trace at gNa 120."""
    s = axon_session(t_end=10)
    r = s.copy().run(record=["Vr"])
    s.set_recording(1, t_ms=r.t_ms, values=r["Vr"])
    s.set("NP0.gNa", 100.0)
    return s


@pytest.mark.parametrize("method, keywords", [
    ("simplex", dict(tolerance=1e-6)),
    ("global", dict(bound="gNa=60:180", max_evaluations=150, threads=2)),
    ("multistart", dict(bound=["gNa=60:180"], starts=3, threads=2)),
])
def test_every_fit_method_finds_the_conductance_of_a_recording_given_as_arrays(method, keywords):
    s = own_recording_session()
    seen = []
    r = mt.fit(session=s, fit="gNa", method=method, progress=lambda done, total: seen.append(done), **keywords)
    assert r.results["method"] == method
    assert r.results["parameters"]["gNa"] == pytest.approx(120.0, rel=2e-3)
    history = r.tables["history"]
    assert list(history.columns[:4]) == ["stage", "pass", "evaluations", "residual"] and "gNa" in history
    assert history["residual"].is_monotonic_decreasing  # the best so far
    assert history["residual"].iloc[-1] == pytest.approx(r.results["residual"])
    assert seen and seen[-1] == history["evaluations"].iloc[-1]
    assert s.get("NP0.gNa") == 100.0  # the session given is left as it was
