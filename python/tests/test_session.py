import os
import pickle
import signal
import threading
import time

import numpy as np
import pytest

import membrix
from conftest import AXON_SET, axon_session, cli_run


def cli_axon_args(t_end_s):
    args = ["--family", "Rariza", "--t-end", repr(t_end_s)]
    for name, value in AXON_SET.items():
        args += ["--set", f"{name}={value}"]
    return args


def test_the_squid_axon_run_is_the_batch_tools_run(tmp_path):
    trace = tmp_path / "v.dat"
    cli = cli_run(*cli_axon_args(0.1), "--save-v", str(trace), cwd=tmp_path)
    r = axon_session().run(record=["V"], t_end_ms=100)

    assert r.steps == cli["steps"] and r.complete
    assert len(r.spike_times_ms) == len(cli["spike_times"]) > 3
    np.testing.assert_allclose(r.spike_times_ms / 1000.0, cli["spike_times"], rtol=1e-9)  # the batch tool's in s
    assert r.deviation == pytest.approx(cli["deviation"], rel=1e-9)
    # The batch tool's trace file: t (ms) and V (mV) every n_Write steps.
    written = np.loadtxt(trace)
    steps = np.rint(written[:, 0] / (r.t_ms[1] - r.t_ms[0])).astype(int)
    assert len(steps) > 100
    np.testing.assert_allclose(r["V"][steps - 1], written[:, 1], atol=1e-3)
    np.testing.assert_allclose(r.t_ms[steps - 1], written[:, 0], rtol=1e-9)


def test_the_error_controlled_run_is_the_batch_tools_and_stays_chosen(tmp_path):
    cli = cli_run(*cli_axon_args(0.05), "--integrator", "cvode", "--rtol", "1e-7", "--atol", "1e-7", cwd=tmp_path)
    s = axon_session()
    r = s.run(t_end_ms=50, integrator="cvode", rtol=1e-7, atol=1e-7)
    assert len(r.spike_times_ms) == len(cli["spike_times"]) > 2
    np.testing.assert_allclose(r.spike_times_ms / 1000.0, cli["spike_times"], rtol=1e-9)
    assert (s.get("Integrator"), s.get("rtol")) == (1, 1e-7)
    fixed = s.run(t_end_ms=50, integrator="fixed")
    assert not np.allclose(fixed.spike_times_ms, r.spike_times_ms, rtol=1e-6)
    with pytest.raises(ValueError, match="cvode"):
        s.run(t_end_ms=50, integrator="euler")


def test_traces_have_one_sample_per_step_in_the_units_of_the_tasks():
    s = axon_session()
    r = s.run(record=["V", "INa", "mm", "PSC"], every=3, t_end_ms=20)
    dt = s.get("dt", "ms")
    assert dt == 0.05 and r.steps == 400
    assert len(r.t_ms) == 400 // 3
    np.testing.assert_allclose(r.t_ms, dt * 3 * np.arange(1, len(r.t_ms) + 1))
    for name in ("V", "INa", "mm", "PSC"):
        assert r[name].dtype == np.float64 and r[name].shape == r.t_ms.shape
    assert r.units == {"V": "mV", "INa": "µA/cm²", "mm": "", "PSC": "pA"}
    assert -90 < r["V"].min() < -50 and 20 < r["V"].max() < 60  # mV: a full action potential
    assert 0 <= r["mm"].min() and r["mm"].max() <= 1
    assert -2000 < r["INa"].min() < -200  # µA/cm²: the inward sodium current of the spike
    assert r.spike_times_ms.dtype == np.float64 and 0 < r.spike_times_ms[0] < 20


def test_set_and_get_give_and_take_the_units_the_workbench_shows():
    s = membrix.Session()
    # name, value, unit, the value the record keeps (its own units: s, V, mF/cm², K)
    cases = [("Iind", 150, None, 150.0), ("Iind", 150, "pA", 150.0), ("t_Iind", 200, "ms", 0.2),
             ("t_end", 10, "ms", 0.01), ("dt", 0.025, "ms", 2.5e-5), ("NP0.gNa", "50", None, 50.0),
             ("NP0.Vrest", -65, "mV", -0.065), ("NP0.tau_m", "12.5", "ms", 0.0125), ("NP0.Cm", 1, "uF/cm2", 0.001),
             ("NP0.Temp", 6.3, "°C", 279.3), ("uu", 2.5, "µA/cm²", 0.0025), ("Vh", -20, "mV", -0.02),
             ("NP0.HH_type", "Rariza", None, "Rariza"), ("NP0.If_I_V_or_g", 1, None, 1), ("Smpl", 2, None, 2)]
    for name, value, unit, kept in cases:
        s.set(name, value, unit)
        assert s._get_stored(name) == pytest.approx(kept, rel=1e-15) if isinstance(kept, float) else \
            s._get_stored(name) == kept, name
        shown = float(value) if isinstance(kept, float) else value
        assert s.get(name, unit) == shown and type(s.get(name, unit)) is type(shown), name
    # The whole-cell values of the adaptive EIF neuron are densities times the area.
    s.set("NP0.Square", 2, "1e-5 cm2")
    s.set("NP0.EIF_a", 4, "nS")
    assert s._get_stored("NP0.EIF_a") == pytest.approx(4e-9 / 2e-5 / 1e-3)  # mS/cm²
    assert s.get("NP0.EIF_a", "nS") == pytest.approx(4.0)
    s.set("t_end", 10, "ms")
    assert s.run(record=[]).steps == 400  # the step count follows t_end: 10 ms at 0.025 ms
    assert "NP0.gNa" in s.names() and "Iind" in s.names()
    units = membrix.Session.units()
    assert units["t_end"] == "ms" and units["NP0.Vrest"] == "mV" and units["NP0.gNa"] == "mS/cm²"
    assert membrix.Session.units("Iind") == "pA" and membrix.Session.units("NP0.HH_type") == ""


@pytest.mark.parametrize("call, error, message", [
    (lambda s, r: s.set("t_end", 0.1), membrix.UnitError,
     'name the unit: set("t_end", 0.1, "ms") (0.1 in the record\'s own unit, which earlier versions took, is '
     'set("t_end", 100, "ms"))'),
    (lambda s, r: s.get("NP0.Vrest"), membrix.UnitError, 'get("NP0.Vrest", "mV")'),
    (lambda s, r: s.set("NP0.gNa", 50, "mV"), membrix.UnitError, "NP0.gNa is given in mS/cm², not in \"mV\""),
    (lambda s, r: s.get("Smpl", "ms"), membrix.UnitError, "Smpl is given in no unit"),
    (lambda s, r: s.run(t_end=0.1), TypeError, "Session.run takes t_end_ms= in ms, not t_end= in s: "
                                               "run(t_end_ms=100)"),
    (lambda s, r: s.run(dt=2e-5), TypeError, "run(dt_ms=0.02)"),
    (lambda s, r: s.set_recording(1, [0.0, 0.001], [0.0, 0.0]), TypeError, "t_ms=1000 * t, values=1000 * v"),
    (lambda s, r: r.t, AttributeError, "RunResult.t was in s; the run gives t_ms, in ms"),
    (lambda s, r: r.spike_times, AttributeError, "spike_times_ms"),
    (lambda s, r: membrix.fi_curve(s, [0.0], t_end=0.1), TypeError, "fi_curve(..., t_end_ms=100)"),
    (lambda s, r: membrix.Session.units("NP0.gNaa"), membrix.FormatError, "unknown parameter NP0.gNaa"),
])
def test_calls_in_the_units_of_earlier_versions_are_refused_with_the_call_to_write(call, error, message):
    s = membrix.Session()
    with pytest.raises(error) as caught:
        call(s, s.copy().run(t_end_ms=1))
    assert message in str(caught.value)
    assert s.get("t_end", "ms") != 0.1  # nothing was set


@pytest.mark.parametrize("call, error, message", [
    (lambda s: s.set("NP0.gNaa", 1), membrix.FormatError, "unknown parameter NP0.gNaa"),
    (lambda s: s.get("Iindd"), membrix.FormatError, "unknown parameter Iindd"),
    (lambda s: s.set("Iind", "fast"), membrix.FormatError, '"fast" is not a number (for Iind)'),
    (lambda s: s.set("Iind", [1]), TypeError, "a value must be a number or a text"),
    (lambda s: s.family("Hodgkin"), membrix.Error, "Hodgkin"),
    (lambda s: s.run(record=["Vx"]), membrix.FormatError, '"Vx" is not an item of the output list'),
    (lambda s: s.run(every=0), membrix.RangeError, "1 or more steps"),
    (lambda s: s.run(dt_ms=0), ValueError, "dt_ms must be a positive"),
    (lambda s: s.load_id("/nonexistent/x.id"), membrix.IoError, "/nonexistent/x.id"),
    (lambda s: s.load_id("/"), membrix.IoError, "/: is not a regular file"),
    (lambda s: s.set("dt", 0, "ms"), membrix.RangeError,
     "the time step dt = 0 s must be a positive number of seconds (set: dt = 0 ms)"),
    (lambda s: s.set("t_end", -1, "ms"), membrix.RangeError, "the run length t_end = -0.001 s"),
    (lambda s: (s.set("NP0.Square", 0), s.set("NP0.EIF_a", 4, "nS")), membrix.RangeError,
     "NP0.EIF_a is given for the whole cell, and the membrane area NP0.Square is 0"),
])
def test_errors_become_exceptions_with_the_engines_message(call, error, message):
    with pytest.raises(error) as caught:
        call(membrix.Session())
    assert message in str(caught.value)


def test_a_bad_parameter_file_line_names_the_file_and_the_line(tmp_path):
    bad = tmp_path / "bad_value.id"
    bad.write_text("{ a value that is not a number }\nCommonParametersFromFile\n  NSmpls := 1;\n"
                   "MembrixPhysParameters\n  NP0.gNa := 1.2.3;\nKeepParams=0\nParametersFromFile\nend.\n")
    with pytest.raises(membrix.FormatError, match=r'bad_value\.id, line 5: "1\.2\.3" is not a number \(for NP0\.gNa\)'):
        membrix.Session().load_id(str(bad))


def test_a_parameter_file_runs_as_from_the_batch_tool(sample_dir):
    path = f"{sample_dir}/Hodgkin_AP.id"
    s = membrix.Session()
    s.load_id(path, smpl=2)
    r = s.run(record=["Vr", "Vexp"])
    cli = cli_run("--id", path, "--smpl", "2")
    assert r.deviation == pytest.approx(cli["deviation"], rel=1e-9)
    np.testing.assert_allclose(r.spike_times_ms / 1000.0, cli["spike_times"], rtol=1e-9)


def test_a_run_releases_the_interpreter_and_guards_its_session():
    s = axon_session()
    s.set("t_end", 10000, "ms")  # 200000 steps
    count, refused, running, done = [0], [], threading.Event(), threading.Event()

    def other():
        running.wait()
        while not done.is_set():
            count[0] += 1
            if not refused:
                try:
                    s.get("Iind")
                except RuntimeError as e:
                    refused.append(str(e))

    thread = threading.Thread(target=other)
    thread.start()
    running.set()
    time.sleep(0.01)
    before = count[0]
    s.run(record=["V"])
    after = count[0]
    done.set()
    thread.join()
    assert after - before > 1000  # the other thread ran while the engine computed
    assert refused and "running" in refused[0]


def test_copies_run_side_by_side_with_the_same_result():
    s = axon_session(t_end=50)
    copies = [s.copy() for _ in range(3)]
    results = [None] * 3
    threads = [threading.Thread(target=lambda i=i: results.__setitem__(i, copies[i].run())) for i in range(3)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    alone = s.run()
    for r in results:
        np.testing.assert_array_equal(r["V"], alone["V"])


def test_a_run_that_diverges_says_so_in_its_notes():
    r = axon_session().run(t_end_ms=50, dt_ms=2)
    assert len(r.notes) == 1 and "diverged" in r.notes[0] and "time step of 2 ms is too long" in r.notes[0]
    assert axon_session().run(t_end_ms=10).notes == []


def test_a_run_is_as_long_as_asked_however_many_steps():
    # 100 s at 0.05 ms: two million steps, twice the million the program once stopped at.
    s = axon_session(t_Iind=1_000_000)
    r = s.run(record=["V"], every=1000, t_end_ms=100_000)
    assert r.steps == 2_000_000
    assert len(r.t_ms) == 2000 and r.t_ms[-1] == pytest.approx(100_000)
    assert r.spike_times_ms[-1] > 99_900  # the axon fires to the end of the run


def test_set_refuses_what_a_run_refuses_and_keeps_the_value(tmp_path):
    s = membrix.Session()
    dt = s.get("dt", "ms")
    with pytest.raises(membrix.RangeError):
        s.set("dt", -0.01, "ms")
    assert s.get("dt", "ms") == dt
    fifo = tmp_path / "pipe.id"
    os.mkfifo(fifo)
    with pytest.raises(membrix.IoError, match="is not a regular file"):
        s.load_id(str(fifo))  # at once: nothing waits for a writer


def test_a_pickled_session_reproduces_its_run(sample_dir):
    s = axon_session(t_end=20)
    s.set("NP0.gNa", 100.0)
    s.set_recording(1, t_ms=np.linspace(0.0, 20.0, 50), values=np.zeros(50))
    s.run(record=["V"], dt_ms=0.02)  # a run leaves values the next one starts from
    copy = pickle.loads(pickle.dumps(s))
    a, b = s.copy().run(record=["V", "INA"]), copy.run(record=["V", "INA"])
    np.testing.assert_array_equal(a["V"], b["V"])
    np.testing.assert_array_equal(a.t_ms, b.t_ms)
    assert a.deviation == b.deviation > 0
    r = pickle.loads(pickle.dumps(a))
    np.testing.assert_array_equal(r["INA"], a["INA"])
    assert r.units == a.units and repr(r) == repr(a)

    with_file = membrix.Session()
    with_file.load_id(os.path.join(sample_dir, "AP.id"), 1)
    again = pickle.loads(pickle.dumps(with_file))
    assert again.run(t_end_ms=5).deviation == with_file.run(t_end_ms=5).deviation

    # A result pickled by an earlier version held its times in s.
    old = membrix.RunResult.__new__(membrix.RunResult)
    old.__setstate__((1, np.array([0.001, 0.002]), {"V": np.array([-65.0, -64.0])}, {"V": "mV"}, np.array([0.0015]),
                      0.0, 2, []))
    np.testing.assert_array_equal(old.t_ms, [1.0, 2.0])
    np.testing.assert_array_equal(old.spike_times_ms, [1.5])
    assert old.complete


def test_ctrl_c_stops_a_single_run_within_a_second():
    s = axon_session(t_Iind=1e9)
    timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    start = time.monotonic()
    with pytest.raises(KeyboardInterrupt) as caught:
        s.run(record=["V"], every=100, t_end_ms=600_000)  # ten minutes of the axon: 12 million steps
    assert time.monotonic() - start < 1.5
    r = caught.value.result
    assert not r.complete and 0 < r.steps < 12_000_000 and "stopped" in repr(r)
    assert len(r.t_ms) == len(r["V"]) == r.steps // 100
    assert len(r.spike_times_ms) > 0 and np.isnan(r.deviation)
    assert s.run(t_end_ms=1).steps == 20  # the session runs again


def test_channels_from_neuroml_replace_the_familys_own_and_survive_a_pickle():
    squid = os.path.join(os.path.dirname(__file__), "..", "..", "resources", "neuroml", "squid_axon.nml")
    builtin = axon_session(t_end=50)
    imported = axon_session(t_end=50)
    g_na, g_k = imported.get("NP0.gNa"), imported.get("NP0.gK")
    e_na, e_k = imported.get("NP0.VNa", "mV"), imported.get("NP0.VK", "mV")
    imported.set("NP0.gNa", 0)
    imported.set("NP0.gK", 0)
    imported.add_channel(squid, g_na, e_na, id="na_squid")
    imported.add_channel(squid, g_k, e_k, id="k_squid")
    a, b = builtin.run(), imported.run()
    assert len(a.spike_times_ms) > 2
    np.testing.assert_allclose(b.spike_times_ms, a.spike_times_ms, atol=1e-6)
    # A run leaves values the next one starts from: compare two runs after it.
    again = pickle.loads(pickle.dumps(imported)).run()
    np.testing.assert_array_equal(again.spike_times_ms, imported.copy().run().spike_times_ms)
    with pytest.raises(Exception, match="holds 2 channels"):
        imported.add_channel(squid, 1.0, -70.0)
