import glob
import os

import pytest

from conftest import SOURCE_DIR

nbformat = pytest.importorskip("nbformat")
nbclient = pytest.importorskip("nbclient")

NOTEBOOKS = sorted(glob.glob(os.path.join(SOURCE_DIR, "python", "examples", "*.ipynb")))


@pytest.mark.parametrize("path", NOTEBOOKS, ids=[os.path.basename(p) for p in NOTEBOOKS])
def test_the_example_notebooks_run(path, tmp_path, monkeypatch):
    monkeypatch.setenv("MEMBRIX_FIGURES", str(tmp_path))
    notebook = nbformat.read(path, as_version=4)
    nbclient.NotebookClient(notebook, timeout=600, kernel_name="python3",
                            resources={"metadata": {"path": str(tmp_path)}}).execute()
    assert glob.glob(str(tmp_path / "*.png")), "the notebook drew no picture"
