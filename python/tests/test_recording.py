import numpy as np
import pytest

import membrix
from conftest import axon_session


def test_arrays_serve_as_the_recording_the_file_would(sample_dir):
    path = f"{sample_dir}/Hodgkin_AP.id"
    from_file = membrix.Session()
    from_file.load_id(path, smpl=2)
    expected = from_file.run().deviation

    data = np.loadtxt(f"{sample_dir}/Hodgkin_AP_2.d")  # t (ms), V - Vrest (V)
    s = membrix.Session()
    s.load_id(path, smpl=2)
    assert s.compared_unit() == "mV"  # current clamp: V - Vrest in mV
    s.set_recording(2, t_ms=data[:, 0], values=1000.0 * data[:, 1])
    assert s.run().deviation == pytest.approx(expected, rel=1e-9)
    # Another trace as the recording changes the comparison.
    s.set_recording(2, t_ms=data[:, 0], values=1000.0 * data[:, 1] + 1.0)
    assert s.run().deviation > expected + 0.0005


def own_trace(s):
    """The run's compared value (V - Vrest, mV) at every step, as a recording."""
    r = s.run(record=["Vr"])
    assert r.units["Vr"] == "mV"
    return r.t_ms, r["Vr"]


def test_a_fit_finds_the_conductance_that_made_the_recording():
    s = axon_session(t_end=10, Iind=300)
    t, v = own_trace(s)
    s.set_recording(1, t_ms=t, values=v)
    s.set("NP0.gNa", 100.0)
    assert s.run().deviation > 1e-3
    fit = s.fit(["gNa"], tolerance=1e-6)
    assert fit.parameters["gNa"] == pytest.approx(120.0, rel=1e-3) and fit.units["gNa"] == "mS/cm²"
    assert fit["residual"] < 1e-5 and fit["converged"] and fit["passes"] > 0
    assert s.get("NP0.gNa") == pytest.approx(120.0, rel=1e-3)  # the session keeps the best point
    assert len(fit.history) == fit.passes and fit.history["residual"].is_monotonic_decreasing
    with pytest.raises(KeyError, match="fit.parameters"):
        fit["values"]  # the record's units of earlier versions
    stopped = axon_session(t_end=10)
    stopped.set_recording(1, t_ms=t, values=v)
    stopped.set("NP0.gNa", 100.0)
    assert not stopped.fit(["gNa"], max_passes=2)["converged"]


@pytest.mark.parametrize("method, keywords", [
    ("global", dict(max_evaluations=120, workers=2)),
    ("multistart", dict(starts=3, workers=2)),
])
def test_the_global_fits_take_and_give_the_units_of_the_session(method, keywords):
    # VK in mV, bounded in mV; the recording given as arrays reaches every worker.
    s = axon_session(t_end=10)
    true_vk = s.get("NP0.VK", "mV")
    t, v = own_trace(s)
    s.set_recording(1, t_ms=t, values=v)
    s.set("NP0.VK", true_vk + 5, "mV")
    seen = []
    fit = s.fit(["VK"], method=method, bounds={"VK": (true_vk - 10, true_vk + 10)},
                progress=lambda done, total: seen.append(done), **keywords)
    assert fit.method == method and fit.units == {"VK": "mV"}
    assert fit.parameters["VK"] == pytest.approx(true_vk, abs=0.05)
    assert s.get("NP0.VK", "mV") == pytest.approx(fit.parameters["VK"])
    history = fit.history
    assert history.attrs["units"]["VK"] == "mV"
    scored = history["VK"].dropna()  # the point is absent before the first one is scored
    assert len(scored) > 0 and ((true_vk - 10 <= scored) & (scored <= true_vk + 10)).all()
    assert history["residual"].iloc[-1] == pytest.approx(fit.residual)
    assert seen and seen[-1] == history["evaluations"].iloc[-1] == fit.evaluations


@pytest.mark.parametrize("smpl, t, values, message", [
    (1, [0.0, 1.0], [0.0], "t_ms and values differ in length"),
    (1, [], [], "at least 1 point"),
    (1, [0.0, 0.0], [1.0, 2.0], "must increase (point 1)"),
    (1, [0.0, 1.0], [1.0, np.nan], "point 1 of the recording is not a finite number"),
    (21, [0.0], [0.0], "outside 0 ... 20"),
    (1, [[0.0, 1.0]], [[0.0, 1.0]], "one-dimensional"),
])
def test_recordings_from_arrays_are_checked(smpl, t, values, message):
    with pytest.raises(ValueError) as caught:
        membrix.Session().set_recording(smpl, t_ms=t, values=values)
    assert message in str(caught.value)


def test_ctrl_c_stops_a_fit_at_its_next_evaluation():
    import _thread
    import threading
    s = axon_session(t_end=10)
    t, v = own_trace(s)
    s.set_recording(1, t_ms=t, values=v + 1.0)  # a recording the model cannot meet
    threading.Timer(0.2, _thread.interrupt_main).start()
    with pytest.raises(KeyboardInterrupt) as caught:
        s.fit(["gNa", "gK", "gL"], tolerance=1e-300)
    stopped = caught.value.result
    assert isinstance(stopped, membrix.FitResult) and not stopped.converged and stopped.evaluations > 0
    assert set(stopped.parameters) == {"gNa", "gK", "gL"}
    assert s.get("NP0.gNa") == 120.0  # the session keeps the values it had
    assert s.run().steps == 200  # the session is usable again


def test_a_long_recording_is_compared_at_every_point():
    # 10 s at 20 kHz: 200 001 points, one for every step of the run.
    s = axon_session(t_Iind=1_000_000)
    dt = s.get("dt", "ms")
    t = np.arange(200_001) * dt
    values = 10.0 * np.sin(2 * np.pi * 3.0 * t / 1000.0)  # mV
    s.set_recording(1, t_ms=t, values=values)
    r = s.run(record=["Vr"], t_end_ms=10_000)
    assert r.steps == 200_000
    compared = r.t_ms > s.get("t_IindShift", "ms")
    d = (np.interp(r.t_ms, t, values)[compared] - r["Vr"][compared]) / 1000.0  # V, as the deviation is
    assert r.deviation == pytest.approx(np.sqrt(np.sum(d * d) / r.steps), rel=1e-6)
