import os
import pickle
import threading
import time

import numpy as np
import pytest

import membrix
from conftest import AXON, axon_session, cli_run


def cli_axon_args(t_end):
    args = ["--family", "Rariza", "--t-end", repr(t_end)]
    for name, value in AXON.items():
        args += ["--set", f"{name}={value}"]
    return args


def test_the_squid_axon_run_is_the_batch_tools_run(tmp_path):
    trace = tmp_path / "v.dat"
    cli = cli_run(*cli_axon_args(0.1), "--save-v", str(trace), cwd=tmp_path)
    r = axon_session().run(record=["V"], t_end=0.1)

    assert r.steps == cli["steps"]
    assert len(r.spike_times) == len(cli["spike_times"]) > 3
    assert [f"{t:.10g}" for t in r.spike_times] == [f"{t:.10g}" for t in cli["spike_times"]]
    assert r.deviation == pytest.approx(cli["deviation"], rel=1e-9)
    # The batch tool's trace file: t (ms) and V (mV) every n_Write steps.
    written = np.loadtxt(trace)
    steps = np.rint(written[:, 0] / 1000.0 / (r.t[1] - r.t[0])).astype(int)
    assert len(steps) > 100
    np.testing.assert_allclose(r["V"][steps - 1], written[:, 1], atol=1e-3)


def test_traces_have_one_sample_per_step_in_their_units():
    s = axon_session()
    r = s.run(record=["V", "INa", "mm", "PSC"], every=3, t_end=0.02)
    dt = s.get("dt")
    assert r.steps == 400
    assert len(r.t) == 400 // 3
    np.testing.assert_allclose(r.t, dt * 3 * np.arange(1, len(r.t) + 1))
    for name in ("V", "INa", "mm", "PSC"):
        assert r[name].dtype == np.float64 and r[name].shape == r.t.shape
    assert r.units == {"V": "mV", "INa": "mA/cm2", "mm": "", "PSC": "pA"}
    assert -90 < r["V"].min() < -50 and 20 < r["V"].max() < 60  # mV: a full action potential
    assert 0 <= r["mm"].min() and r["mm"].max() <= 1
    assert r["INa"].min() < 0  # the inward sodium current of the spike
    assert r.spike_times.dtype == np.float64


def test_set_and_get_use_the_batch_tools_names():
    s = membrix.Session()
    cases = [("Iind", 150, 150.0), ("t_Iind", 0.2, 0.2), ("NP0.gNa", "50", 50.0), ("NP0.HH_type", "Rariza", "Rariza"),
             ("NP0.If_I_V_or_g", 1, 1), ("Smpl", 2, 2)]
    for name, value, expected in cases:
        s.set(name, value)
        assert s.get(name) == expected and type(s.get(name)) is type(expected), name
    s.set("t_end", 0.01)
    assert s.run(record=[]).steps == 200  # the step count follows t_end
    assert "NP0.gNa" in s.names() and "Iind" in s.names()


@pytest.mark.parametrize("call, error, message", [
    (lambda s: s.set("NP0.gNaa", 1), membrix.FormatError, "unknown parameter NP0.gNaa"),
    (lambda s: s.get("Iindd"), membrix.FormatError, "unknown parameter Iindd"),
    (lambda s: s.set("Iind", "fast"), membrix.FormatError, '"fast" is not a number (for Iind)'),
    (lambda s: s.set("Iind", [1]), TypeError, "a value must be a number or a text"),
    (lambda s: s.family("Hodgkin"), membrix.Error, "Hodgkin"),
    (lambda s: s.run(record=["Vx"]), membrix.FormatError, '"Vx" is not an item of the output list'),
    (lambda s: s.run(every=0), membrix.RangeError, "1 or more steps"),
    (lambda s: s.run(dt=0), ValueError, "dt must be a positive"),
    (lambda s: s.load_id("/nonexistent/x.id"), membrix.IoError, "/nonexistent/x.id"),
    (lambda s: s.load_id("/"), membrix.IoError, "/: is not a regular file"),
    (lambda s: s.set("dt", 0), membrix.RangeError, "the time step dt = 0 s must be a positive number"),
    (lambda s: s.set("t_end", -1), membrix.RangeError, "the run length t_end = -1 s"),
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
    assert [f"{t:.10g}" for t in r.spike_times] == [f"{t:.10g}" for t in cli["spike_times"]]


def test_a_run_releases_the_interpreter_and_guards_its_session():
    s = axon_session()
    s.set("t_end", 10.0)  # 200000 steps
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
    s = axon_session(t_end=0.05)
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
    r = axon_session().run(t_end=0.05, dt=0.002)
    assert len(r.notes) == 1 and "diverged" in r.notes[0] and "time step of 2 ms is too long" in r.notes[0]
    assert axon_session().run(t_end=0.01).notes == []


def test_a_run_is_as_long_as_asked_however_many_steps():
    # 100 s at 0.05 ms: two million steps, twice the million the program once stopped at.
    s = axon_session(t_Iind=1000)
    r = s.run(record=["V"], every=1000, t_end=100.0)
    assert r.steps == 2_000_000
    assert len(r.t) == 2000 and r.t[-1] == pytest.approx(100.0)
    assert r.spike_times[-1] > 99.9  # the axon fires to the end of the run


def test_set_refuses_what_a_run_refuses_and_keeps_the_value(tmp_path):
    s = membrix.Session()
    dt = s.get("dt")
    with pytest.raises(membrix.RangeError):
        s.set("dt", -1e-5)
    assert s.get("dt") == dt
    fifo = tmp_path / "pipe.id"
    os.mkfifo(fifo)
    with pytest.raises(membrix.IoError, match="is not a regular file"):
        s.load_id(str(fifo))  # at once: nothing waits for a writer


def test_a_pickled_session_reproduces_its_run(sample_dir):
    s = axon_session(t_end=0.02)
    s.set("NP0.gNa", 100.0)
    s.set_recording(1, np.linspace(0.0, 0.02, 50), np.zeros(50))
    s.run(record=["V"], dt=2e-5)  # a run leaves values the next one starts from
    copy = pickle.loads(pickle.dumps(s))
    a, b = s.copy().run(record=["V", "INA"]), copy.run(record=["V", "INA"])
    np.testing.assert_array_equal(a["V"], b["V"])
    np.testing.assert_array_equal(a.t, b.t)
    assert a.deviation == b.deviation > 0
    r = pickle.loads(pickle.dumps(a))
    np.testing.assert_array_equal(r["INA"], a["INA"])
    assert r.units == a.units and repr(r) == repr(a)

    with_file = membrix.Session()
    with_file.load_id(os.path.join(sample_dir, "AP.id"), 1)
    again = pickle.loads(pickle.dumps(with_file))
    assert again.run(t_end=0.005).deviation == with_file.run(t_end=0.005).deviation
