"""Registers a Jupyter kernel of a virtual environment and imports membrix in it.

    python3 venv_kernel.py FOLDER

FOLDER holds the environment (FOLDER/venv) into which membrix was installed.
The kernel is registered as the guide tells a user to (python -m ipykernel
install), under FOLDER/jupyter rather than the user's own folder, started by
nbclient and asked where membrix comes from. Prints "kernel-check: " and that
path when the kernel's membrix is the environment's.
"""

import os
import subprocess
import sys

import nbclient
import nbformat

folder = os.path.abspath(sys.argv[1])
venv_python = os.path.join(folder, "venv", "bin", "python")
prefix = os.path.join(folder, "jupyter")
subprocess.run([venv_python, "-m", "ipykernel", "install", "--prefix", prefix, "--name", "membrix-venv",
                "--display-name", "Python (membrix)"], check=True, capture_output=True)
os.environ["JUPYTER_PATH"] = os.path.join(prefix, "share", "jupyter")
os.environ.pop("PYTHONPATH", None)  # the kernel sees the environment's packages alone

notebook = nbformat.v4.new_notebook()
notebook.cells.append(nbformat.v4.new_code_cell(
    "import sys, membrix, membrix.tasks\n"
    "r = membrix.Session().run(t_end_ms=1)\n"
    "print(sys.executable)\n"
    "print(membrix.__file__)\n"
    "print(r.steps)"))
nbclient.NotebookClient(notebook, timeout=120, kernel_name="membrix-venv",
                        resources={"metadata": {"path": folder}}).execute()
lines = "".join(o.get("text", "") for o in notebook.cells[0].outputs).split()
executable, module, steps = lines
assert os.path.realpath(os.path.dirname(os.path.dirname(executable))) == os.path.realpath(
    os.path.join(folder, "venv")), executable
assert module.startswith(os.path.join(folder, "venv")), module
assert int(steps) == 20, steps
print("kernel-check: " + module)
