#!/usr/bin/python3
"""Writes the reference of the Python module, docs/python_api.md, from its docstrings.

  PYTHONPATH=build/python scripts/python_api.py [OUTPUT]

Every public class, method and function of membrix, membrix.tasks and
membrix.io, with its signature and docstring. The test python.api_doc makes
the page again and compares it with the one in docs/, so it says what the
module does today.
"""

import inspect
import sys

import membrix
import membrix.io
import membrix.tasks


def signature(f):
    try:
        return str(inspect.signature(f))
    except (TypeError, ValueError):
        # pybind11 functions give theirs as the first line of the docstring.
        first = (f.__doc__ or "").splitlines()[0] if f.__doc__ else ""
        return first[first.index("("):] if "(" in first else "(...)"


def doc(f):
    text = inspect.getdoc(f) or ""
    lines = text.splitlines()
    # pybind11 repeats the signature as the docstring's first line.
    if lines and lines[0].startswith(getattr(f, "__name__", "") + "("):
        lines = lines[1:]
    return "\n".join(lines).strip()


def block(text):
    return "```text\n" + text + "\n```\n" if text else ""


def function(out, qualified, f):
    out.append("### `%s%s`\n\n" % (qualified, signature(f)))
    out.append(block(doc(f)))
    out.append("\n")


def klass(out, qualified, cls):
    out.append("### class `%s`\n\n" % qualified)
    out.append(block(doc(cls)))
    out.append("\n")
    for name, member in sorted(vars(cls).items()):
        if name.startswith("_"):
            continue
        if isinstance(member, property):
            text = inspect.cleandoc(member.__doc__ or "") or doc(member.fget)
            out.append("#### `%s.%s`\n\n%s\n" % (qualified, name, block(text)))
            continue
        target = member.__func__ if isinstance(member, (staticmethod, classmethod)) else member
        if callable(target):
            function(out, "%s.%s" % (qualified, name), target)


def reference():
    out = ["# The Python module: reference\n\n",
           "Made from the module's docstrings by `scripts/python_api.py`; the guide is "
           "[python.md](python.md). Units: " + membrix.tasks.UNITS + ", for the tasks and the "
           "session alike; `Session.set` and `Session.get` take each parameter in the unit the workbench shows "
           "(`Session.units(name)`).\n\n",
           "## membrix\n\n"]
    for name in sorted(membrix.__all__):
        item = getattr(membrix, name)
        if inspect.isclass(item) and not issubclass(item, BaseException):
            klass(out, "membrix." + name, item)
        elif callable(item) and not inspect.isclass(item):
            function(out, "membrix." + name, item)
    out.append("## membrix.tasks\n\n")
    for name in membrix.tasks.__all__:
        item = getattr(membrix.tasks, name)
        if inspect.isclass(item):
            klass(out, "membrix.tasks." + name, item)
        elif callable(item):
            function(out, "membrix.tasks." + name, item)
    out.append("## membrix.io\n\n")
    for name in ("read_trace", "Trace", "read_recording", "checked_trace", "signals_from_block", "to_neo",
                 "RecordingError"):
        item = getattr(membrix.io, name)
        (klass if inspect.isclass(item) else function)(out, "membrix.io." + name, item)
    return "".join(out).rstrip("\n") + "\n"


def public_functions():
    """(name, function) of every public function and method the reference lists."""
    found = []
    for module, names in ((membrix, membrix.__all__), (membrix.tasks, membrix.tasks.__all__),
                          (membrix.io, ("read_trace", "read_recording", "checked_trace", "signals_from_block",
                                        "to_neo"))):
        for name in names:
            item = getattr(module, name)
            if inspect.isclass(item):
                if issubclass(item, BaseException):
                    continue
                for member_name, member in vars(item).items():
                    if not member_name.startswith("_") and callable(member):
                        found.append(("%s.%s.%s" % (module.__name__, name, member_name), member))
            elif callable(item):
                found.append(("%s.%s" % (module.__name__, name), item))
    return found


if __name__ == "__main__":
    text = reference()
    if len(sys.argv) > 1:
        with open(sys.argv[1], "w", encoding="utf-8") as f:
            f.write(text)
    else:
        sys.stdout.write(text)
