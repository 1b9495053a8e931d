#!/usr/bin/env python3
"""The shell examples of README.md and docs/ run as written.

A fenced block whose info string ends in the word "run" is an example to run:

- "sh run": every line is a shell command (comments and line continuations as
  the shell reads them);
- "console run": the lines starting with "$ " are the commands, the lines
  between them show what they print (not compared);
- a block whose info string holds "file=NAME" is written to NAME before the
  examples after it run (a parameter file shown on the page, for instance).

The blocks of one page run in order, in a fresh folder of their own that holds
the sample parameter files and recordings (in the folder itself and under
resources/samples/), the sweep files under resources/ramps/, the NeuroML channel files under
resources/neuroml/, and
build/membrix-cli; membrix-cli is found on the PATH. Each command must end
with exit status 0.

Usage: docs_examples_test.py MEMBRIX_CLI SOURCE_DIR
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

CLI, SOURCE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
FENCE = re.compile(r"^(\s*)```(.*)$")


def blocks(path):
    """(first line number, info string, text) of every fenced block of a page."""
    found = []
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    i = 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            i += 1
            continue
        indent, info = m.group(1), m.group(2).strip()
        body = []
        j = i + 1
        while j < len(lines) and not lines[j].strip().startswith("```"):
            body.append(lines[j][len(indent):] if lines[j].startswith(indent) else lines[j])
            j += 1
        found.append((i + 1, info, "\n".join(body) + "\n"))
        i = j + 1
    return found


def console_commands(text):
    """The commands of a transcript: "$ " lines, with their continuation lines."""
    commands, current = [], None
    for line in text.split("\n"):
        if current is not None:
            current += "\n" + line
            if not line.endswith("\\"):
                commands.append(current)
                current = None
        elif line.startswith("$ "):
            if line.endswith("\\"):
                current = line[2:]
            else:
                commands.append(line[2:])
    return commands


def prepare(folder):
    samples = os.path.join(SOURCE, "resources", "samples")
    shutil.copytree(samples, os.path.join(folder, "resources", "samples"))
    shutil.copytree(os.path.join(SOURCE, "resources", "ramps"), os.path.join(folder, "resources", "ramps"))
    shutil.copytree(os.path.join(SOURCE, "resources", "neuroml"), os.path.join(folder, "resources", "neuroml"))
    for entry in os.listdir(samples):
        source = os.path.join(samples, entry)
        target = os.path.join(folder, entry)
        if os.path.isdir(source):
            shutil.copytree(source, target)
        else:
            shutil.copy(source, target)
    os.makedirs(os.path.join(folder, "build"))
    os.symlink(CLI, os.path.join(folder, "build", "membrix-cli"))


def main():
    pages = [os.path.join(SOURCE, "README.md")] + sorted(glob.glob(os.path.join(SOURCE, "docs", "*.md")))
    env = dict(os.environ)
    env["PATH"] = os.path.dirname(CLI) + os.pathsep + env.get("PATH", "")
    failures, ran, passed = [], 0, 0
    for page in pages:
        name = os.path.relpath(page, SOURCE)
        todo = [b for b in blocks(page) if b[1].split()[-1:] == ["run"] or "file=" in b[1]]
        if not any(b[1].split()[-1:] == ["run"] for b in todo):
            continue
        with tempfile.TemporaryDirectory(prefix="membrix_docs_") as folder:
            prepare(folder)
            for line, info, text in todo:
                words = info.split()
                for word in words:
                    if word.startswith("file="):
                        with open(os.path.join(folder, word[5:]), "w", encoding="utf-8") as f:
                            f.write(text)
                if words[-1:] != ["run"]:
                    continue
                if words[0] == "console":
                    commands = console_commands(text)
                elif words[0] in ("sh", "bash", "shell"):
                    commands = [text]
                else:
                    failures.append(f"{name}:{line}: a runnable block must be \"sh run\" or \"console run\"")
                    continue
                for command in commands:
                    ran += 1
                    start = time.monotonic()
                    r = subprocess.run(["sh", "-e", "-c", command], cwd=folder, env=env, capture_output=True,
                                       text=True, timeout=300)
                    took = time.monotonic() - start
                    first = command.strip().split("\n")[0]
                    print(f"{name}:{line}: {first[:90]} ({took:.1f} s, exit {r.returncode})")
                    if r.returncode == 0:
                        passed += 1
                    else:
                        failures.append(f"{name}:{line}: exit status {r.returncode} of: {first}\n"
                                        f"{r.stdout[-2000:]}{r.stderr[-2000:]}")
    for f in failures:
        print("FAIL:", f)
    if ran == 0:
        failures.append("no runnable example found")
        print("FAIL: no runnable example found")
    print(f"{passed} passed, {len(failures)} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
