import os
import subprocess

import pytest

import membrix
from membrix import units

WINDOW_UNITS = os.environ.get("MEMBRIX_WINDOW_UNITS")


@pytest.mark.skipif(not WINDOW_UNITS, reason="built without the workbench")
def test_set_and_get_use_the_units_of_the_parameter_window():
    lines = [line.split() for line in subprocess.run([WINDOW_UNITS], capture_output=True, text=True,
                                                      check=True).stdout.splitlines()]
    square = float(lines[0][1])
    inputs = {name: float(kept) for name, kept in lines[1:]}
    assert {"NP0.gNa", "NP0.Vrest", "NP0.tau_m", "NP0.Cm", "NP0.Temp", "dt", "NP0.EIF_a"} <= set(inputs)
    for name, kept in inputs.items():
        # The input shows 7: the session takes and gives 7 for what the record keeps.
        assert units.to_kept(name, 7.0, square) == pytest.approx(kept, rel=1e-12), name
        assert units.to_shown(name, kept, square) == pytest.approx(7.0, rel=1e-12), name
        assert units.changed(name) == (kept != 7.0), name


def test_every_name_with_a_unit_is_a_name_of_the_session():
    assert set(units.all_units()) <= set(membrix.Session.names())
