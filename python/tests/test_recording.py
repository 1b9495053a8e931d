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
    s.set_recording(2, data[:, 0] / 1000.0, data[:, 1])
    assert s.run().deviation == pytest.approx(expected, rel=1e-9)
    # Another trace as the recording changes the comparison.
    s.set_recording(2, data[:, 0] / 1000.0, data[:, 1] + 0.001)
    assert s.run().deviation > expected + 0.0005


def own_trace(s):
    """The run's compared value (V - Vrest, V) at every step, as a recording."""
    r = s.run(record=["Vr"])
    return r.t, r["Vr"]


def test_a_fit_finds_the_conductance_that_made_the_recording():
    s = axon_session(t_end=0.01, Iind=300)
    t, v = own_trace(s)
    s.set_recording(1, t, v)
    s.set("NP0.gNa", 100.0)
    assert s.run().deviation > 1e-3
    fit = s.fit(["gNa"], tolerance=1e-6)
    assert fit["values"]["gNa"] == pytest.approx(120.0, rel=1e-3)
    assert fit["residual"] < 1e-5 and fit["converged"] and fit["passes"] > 0
    stopped = axon_session(t_end=0.01)
    stopped.set_recording(1, t, v)
    stopped.set("NP0.gNa", 100.0)
    assert not stopped.fit(["gNa"], max_passes=2)["converged"]


@pytest.mark.parametrize("smpl, t, values, message", [
    (1, [0.0, 1.0], [0.0], "differ in length"),
    (1, [], [], "at least 1 point"),
    (1, [0.0, 0.0], [1.0, 2.0], "must increase (point 1)"),
    (1, [0.0, 1.0], [1.0, np.nan], "point 1 of the recording is not a finite number"),
    (21, [0.0], [0.0], "outside 0 ... 20"),
    (1, [[0.0, 1.0]], [[0.0, 1.0]], "one-dimensional"),
])
def test_recordings_from_arrays_are_checked(smpl, t, values, message):
    with pytest.raises(ValueError) as caught:
        membrix.Session().set_recording(smpl, t, values)
    assert message in str(caught.value)


def test_ctrl_c_stops_a_fit_at_its_next_evaluation():
    import _thread
    import threading
    s = axon_session(t_end=0.01)
    t, v = own_trace(s)
    s.set_recording(1, t, v + 0.001)  # a recording the model cannot meet
    threading.Timer(0.2, _thread.interrupt_main).start()
    with pytest.raises(KeyboardInterrupt):
        s.fit(["gNa", "gK", "gL"], tolerance=1e-300)
    assert s.run().steps == 200  # the session is usable again


def test_a_long_recording_is_compared_at_every_point():
    # 10 s at 20 kHz: 200 001 points, one for every step of the run.
    s = axon_session(t_Iind=1000)
    dt = s.get("dt")
    t = np.arange(200_001) * dt
    values = 0.01 * np.sin(2 * np.pi * 3.0 * t)
    s.set_recording(1, t, values)
    r = s.run(record=["Vr"], t_end=10.0)
    assert r.steps == 200_000
    compared = r.t > s.get("t_IindShift")
    d = np.interp(r.t, t, values)[compared] - r["Vr"][compared]
    assert r.deviation == pytest.approx(np.sqrt(np.sum(d * d) / r.steps), rel=1e-7)
