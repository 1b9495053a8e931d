import importlib.util
import os

from conftest import SOURCE_DIR

import membrix.tasks

script = importlib.util.spec_from_file_location("python_api", os.path.join(SOURCE_DIR, "scripts", "python_api.py"))
python_api = importlib.util.module_from_spec(script)
script.loader.exec_module(python_api)


def test_the_reference_in_docs_is_the_modules_own():
    with open(os.path.join(SOURCE_DIR, "docs", "python_api.md"), encoding="utf-8") as f:
        kept = f.read()
    assert kept == python_api.reference(), "docs/python_api.md is out of date: run scripts/python_api.py on it"


def test_every_public_function_says_what_it_does_and_every_task_its_units():
    functions = python_api.public_functions()
    names = {name for name, _ in functions}
    assert {"membrix.Session.run", "membrix.tasks.fi", "membrix.tasks.act_inact", "membrix.io.to_neo"} <= names
    missing = [name for name, f in functions if not (f.__doc__ or "").strip()]
    assert not missing
    for name in membrix.tasks.__all__:
        f = getattr(membrix.tasks, name)
        if callable(f) and name not in ("TaskResult", "declarations"):
            assert "ms" in f.__doc__ and "mV" in f.__doc__, name
