import os
import subprocess
import sys

from conftest import SOURCE_DIR


def test_the_guides_example_makes_its_pictures(tmp_path):
    script = os.path.join(SOURCE_DIR, "python", "examples", "axon_run_and_fi_curve.py")
    out = subprocess.run([sys.executable, script, str(tmp_path)], capture_output=True, text=True, check=True).stdout
    assert "4 spikes" in out and "1200 pA" in out
    for name in ("python_run.png", "python_fi_curve.png"):
        assert (tmp_path / name).stat().st_size > 10000
