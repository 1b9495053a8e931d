import json
import os
import subprocess

import pytest

import membrix

CLI = os.path.abspath(os.environ["MEMBRIX_CLI"]) if "MEMBRIX_CLI" in os.environ else "membrix-cli"
SOURCE_DIR = os.environ.get("MEMBRIX_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))

# The squid axon under a current step that makes it fire, as protocol globals
# in the units the workbench shows (pA, ms), and as the batch tool's --set
# takes them (the record's own: pA, s).
AXON = {"uu": 0, "ss": 0, "Iind": 300, "t_Iind": 1000}
AXON_SET = {"uu": 0, "ss": 0, "Iind": 300, "t_Iind": 1}


def set_shown(s, name, value):
    """Session.set with the unit the value is in, as Session.units names it."""
    s.set(name, value, membrix.Session.units(name) or None)


def axon_session(**values):
    """The squid axon; values in the units the workbench shows (t_end=10 is 10 ms)."""
    s = membrix.Session()
    s.family("Rariza")
    for name, value in {**AXON, **values}.items():
        set_shown(s, name, value)
    return s


def cli_run(*args, cwd=None):
    out = subprocess.run([CLI, "run", *args, "--json"], capture_output=True, text=True, check=True, cwd=cwd)
    return json.loads(out.stdout)


@pytest.fixture
def sample_dir():
    return os.path.join(SOURCE_DIR, "resources", "samples")
