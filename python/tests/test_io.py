import h5py
import numpy as np
import pytest

import membrix
from conftest import axon_session
from membrix.io import RecordingError, read_recording, read_trace, signals_from_block


def write_atf(path, titles, rows, header=('"AcquisitionMode=Gap Free"',)):
    lines = ["ATF\t1.0", f"{len(header)}\t{len(titles)}", *header, "\t".join(f'"{t}"' for t in titles)]
    lines += ["\t".join(f"{x:.9g}" for x in row) for row in rows]
    path.write_text("\n".join(lines) + "\n")


def write_nwb(path, series):
    """An NWB-structured file: each series a group under /acquisition with
    its neurodata_type, data (with conversion) and timing."""
    with h5py.File(path, "w") as f:
        f.attrs["nwb_version"] = "2.5.0"
        acquisition = f.create_group("acquisition")
        for name, (kind, data, conversion, timing) in series.items():
            g = acquisition.create_group(name)
            g.attrs["neurodata_type"] = kind
            d = g.create_dataset("data", data=data)
            d.attrs["conversion"] = conversion
            d.attrs["unit"] = "volts" if kind == "CurrentClampSeries" else "amperes"
            if "rate" in timing:
                g.create_dataset("starting_time", data=timing["start"]).attrs["rate"] = timing["rate"]
            else:
                g.create_dataset("timestamps", data=timing["timestamps"])


def test_atf_columns_by_index_or_name_with_the_time_unit(tmp_path):
    path = tmp_path / "cell.atf"
    rows = [[10 + 0.5 * i, -60 + i, 100 * i] for i in range(5)]
    write_atf(path, ["Time (ms)", "Vm (mV)", "Im (pA)"], rows)
    t, v = read_recording(str(path), channel=0)
    np.testing.assert_allclose(t, 0.010 + 0.0005 * np.arange(5))  # the file's own time origin
    np.testing.assert_allclose(v, [-60, -59, -58, -57, -56])
    for channel in (1, "Im", "Im (pA)"):
        np.testing.assert_allclose(read_recording(str(path), channel=channel)[1], [0, 100, 200, 300, 400])


def test_nwb_clamp_series_in_si_units(tmp_path):
    path = tmp_path / "cell.nwb"
    write_nwb(path, {
        "cc": ("CurrentClampSeries", np.array([-65.0, -64.0, -63.0]), 1e-3, {"start": 2.0, "rate": 1000.0}),
        "vc": ("VoltageClampSeries", np.array([1, 2, 3], dtype=np.int16), 1e-12,
               {"timestamps": np.array([5.0, 5.1, 5.3])}),
        "other": ("TimeSeries", np.zeros(3), 1.0, {"start": 0.0, "rate": 1.0}),
    })
    t, v = read_recording(str(path), channel="cc")
    np.testing.assert_allclose(t, [2.0, 2.001, 2.002])
    np.testing.assert_allclose(v, [-0.065, -0.064, -0.063])
    t, i = read_recording(str(path), channel="vc")
    np.testing.assert_allclose(t, [5.0, 5.1, 5.3])
    np.testing.assert_allclose(i, [1e-12, 2e-12, 3e-12])
    assert np.allclose(read_recording(str(path), channel=1)[1], i)  # series in order of their names
    # In the session's units: ms, and the current in pA.
    trace = read_trace(str(path), channel="vc")
    assert trace.unit == "pA"
    np.testing.assert_allclose(trace.t_ms, [5000.0, 5100.0, 5300.0])
    np.testing.assert_allclose(trace.values, [1.0, 2.0, 3.0])


def test_a_neo_block_gives_its_channels_by_index_or_name():
    neo, quantities = pytest.importorskip("neo"), pytest.importorskip("quantities")
    block = neo.Block()
    for sweep in range(2):
        segment = neo.Segment()
        data = np.array([[1.0, 10.0], [2.0, 20.0], [3.0, 30.0]]) + sweep
        signal = neo.AnalogSignal(data, units="mV", sampling_rate=10 * quantities.kHz, t_start=1 * quantities.s,
                                  array_annotations={"channel_names": np.array(["IN0", "IN1"])})
        segment.analogsignals.append(signal)
        block.segments.append(segment)
    t, v = signals_from_block(block, channel="IN1", sweep=1)
    np.testing.assert_allclose(t, [1.0, 1.0001, 1.0002])
    np.testing.assert_allclose(v, [11.0, 21.0, 31.0])
    np.testing.assert_allclose(signals_from_block(block, channel=0)[1], [1.0, 2.0, 3.0])
    with pytest.raises(RecordingError, match="sweep 2 does not exist"):
        signals_from_block(block, channel=0, sweep=2)
    with pytest.raises(RecordingError, match=r"holds 2 channels \['IN0', 'IN1'\]; choose one"):
        signals_from_block(block)


@pytest.mark.parametrize("name, content, channel, message", [
    ("a.atf", "ATF\t1.0\n0\t2\n\"t (s)\"\t\"V\"\n0\t1\n0.1\tx\n", 0, "a.atf, line 5: expected 2 numbers"),
    ("b.atf", "ABF\n", 0, "b.atf, line 1: not an Axon text file"),
    ("c.atf", "ATF\t1.0\n0\t2\n\"t (h)\"\t\"V\"\n0\t1\n", 0, "unknown time unit"),
    ("d.atf", "ATF\t1.0\n0\t2\n\"t (s)\"\t\"V\"\n0\t1\n", 3, "channel 3 does not exist"),
    ("e.atf", "ATF\t1.0\n0\t2\n\"t (s)\"\t\"V\"\n0\t1\n", "Vm", "no channel named 'Vm'"),
    ("f.dat", "0 1\n", 0, "not a recording format membrix reads"),
])
def test_unreadable_recordings_say_what_and_where(tmp_path, name, content, channel, message):
    path = tmp_path / name
    path.write_text(content)
    with pytest.raises(RecordingError) as caught:
        read_recording(str(path), channel=channel)
    assert message in str(caught.value)


def test_an_nwb_file_without_clamp_series_is_refused(tmp_path):
    path = tmp_path / "empty.nwb"
    write_nwb(path, {"other": ("TimeSeries", np.zeros(3), 1.0, {"start": 0.0, "rate": 1.0})})
    with pytest.raises(RecordingError, match="no current- or voltage-clamp series"):
        read_recording(str(path))
    with pytest.raises(FileNotFoundError):
        read_recording(str(tmp_path / "missing.nwb"))


def test_atf_and_nwb_recordings_serve_as_the_recording_of_a_run(tmp_path):
    s = axon_session(t_end=10)
    r = s.run(record=["V"])
    rest = s.get("NP0.Vrest", "mV")
    t_ms, v_mv = r.t_ms, r["V"]
    write_atf(tmp_path / "own.atf", ["Time (ms)", "Vm (mV)"], np.column_stack([t_ms, v_mv]))
    write_nwb(tmp_path / "own.nwb", {"cc": ("CurrentClampSeries", v_mv, 1e-3,
                                            {"start": t_ms[0] / 1000, "rate": 1000.0 / (t_ms[1] - t_ms[0])})})
    for path, to_mv in (("own.atf", 1.0), ("own.nwb", 1000.0)):
        t, v = read_recording(str(tmp_path / path))  # the file as it is: s, and mV or V
        trace = read_trace(str(tmp_path / path))  # ms and mV
        assert trace.unit == "mV"
        np.testing.assert_allclose(trace.t_ms, 1000.0 * t, rtol=1e-12)
        np.testing.assert_allclose(trace.values, to_mv * v, rtol=1e-12)
        # A current-clamp run compares V - Vrest (mV).
        s.set_recording(1, t_ms=trace.t_ms, values=trace.values - rest)
        assert s.run().deviation < 1e-6, path
        s.set_recording(1, t_ms=trace.t_ms, values=trace.values - rest + 2.0)
        assert s.run().deviation == pytest.approx(0.002, rel=0.01), path  # V, as the batch tool reports it


ATF_HEAD = "ATF\t1.0\n0\t2\n\"t (ms)\"\t\"V (mV)\"\n"
ATF3_HEAD = "ATF\t1.0\n0\t3\n\"t (ms)\"\t\"V (mV)\"\t\"I (pA)\"\n"


@pytest.mark.parametrize("name, content, message", [
    ("nan.atf", ATF_HEAD + "0\t-65\n0.1\tnan\n", "sample 1 has the value nan, not a finite number"),
    ("inf.atf", ATF_HEAD + "0\t-65\ninf\t-64\n", "sample 1 has the time inf"),
    ("back.atf", ATF_HEAD + "0\t-65\n0.2\t-64\n0.1\t-63\n", "the times must increase, but sample 2"),
    ("same.atf", ATF_HEAD + "0\t-65\n0\t-64\n", "the times must increase, but sample 1"),
    ("underscore.atf", ATF_HEAD + "0\t-6_5\n", "line 4: expected 2 numbers, found '0\\t-6_5'"),
    ("two.atf", ATF3_HEAD + "0\t-65\t0\n", "holds 2 channels ['V', 'I']; choose one (channel=...)"),
    ("junk.abf", "not an axon file at all", "junk.abf: cannot be read as a recording"),
    ("junk.nwb", "not an HDF5 file", "junk.nwb: cannot be read as a recording"),
])
def test_bad_recordings_are_refused_naming_the_file(tmp_path, name, content, message):
    path = tmp_path / name
    path.write_text(content)
    with pytest.raises(RecordingError) as caught:
        read_recording(str(path))
    assert str(path) in str(caught.value) and message in str(caught.value)


def test_nwb_series_must_be_chosen_when_the_file_has_several(tmp_path):
    path = tmp_path / "cells.nwb"
    two_columns = np.column_stack([np.arange(3.0), 10 + np.arange(3.0)])
    write_nwb(path, {"a": ("CurrentClampSeries", two_columns, 1.0, {"start": 0.0, "rate": 10.0}),
                     "b": ("CurrentClampSeries", np.zeros(3), 1.0, {"start": 0.0, "rate": 10.0})})
    with pytest.raises(RecordingError, match=r"holds 2 series \['a', 'b'\]; choose one \(channel=...\)"):
        read_recording(str(path))
    with pytest.raises(RecordingError, match="holds 2 columns; choose one"):
        read_recording(str(path), channel="a")
    np.testing.assert_allclose(read_recording(str(path), channel="a", column=1)[1], [10, 11, 12])


def test_a_run_goes_to_neo_with_its_units_and_times(tmp_path):
    neo = pytest.importorskip("neo")
    r = axon_session(t_end=20).run(record=["V", "INA"], every=10)
    segment = r.to_neo()
    v, ina = segment.analogsignals
    assert str(v.units.dimensionality) == "mV" and str(ina.units.dimensionality) == "uA/cm**2"
    np.testing.assert_allclose(v.times.rescale("ms").magnitude, r.t_ms)
    np.testing.assert_array_equal(v.magnitude[:, 0], r["V"])
    np.testing.assert_array_equal(segment.spiketrains[0].rescale("ms").magnitude, r.spike_times_ms)
    # Neo's own writers take it.
    block = neo.Block()
    block.segments.append(segment)
    neo.io.PickleIO(str(tmp_path / "run.pkl")).write_block(block)
    back = neo.io.PickleIO(str(tmp_path / "run.pkl")).read_block()
    np.testing.assert_array_equal(back.segments[0].analogsignals[0].magnitude, v.magnitude)
