#!/usr/bin/env python3
"""Makes the recordings of the sample parameter files in resources/samples/.

Every sample .id file names its recordings with "SmplFile[Smpl] := 'NAME';", one
per recording section, in the order of the sections. For a measured sample the
recording of section K is what the program itself computes for that section:

  membrix-cli run --id COPY.id --smpl K --set n_Write=1 --save-var Vr OUT

where COPY.id is the sample with its recordings replaced by NoFile (a run reads
its recording before it starts, and the recording is what is being made). "Vr"
is the value a run compares with its recording (the depolarisation from rest in
V in current clamp, the clamp current in pA in voltage clamp), written at every
step, so the recording lies on the model's time grid. Gaussian noise of a fixed
deviation is added with a seed derived from the recording's name, so the same
build makes the same files byte for byte.

The recordings of ramp.id are the command voltages of a "VC at Vexp" run; they
are protocols, not measurements, and are written as corner points.

Both kinds are written in the recording layout: time in ms (width 9, three
decimals) and value (scientific, width 13), one point per line.

Usage: python3 scripts/make_samples.py [--cli build/membrix-cli] [NAME.id ...]
"""

import argparse
import pathlib
import random
import re
import subprocess
import sys
import tempfile
import zlib

ROOT = pathlib.Path(__file__).resolve().parent.parent
SAMPLES = ROOT / "resources" / "samples"

# Deviation of the noise added to each measured sample, in the unit of its
# recordings: V for current clamp (0.2 mV), pA for voltage clamp.
CURRENT_CLAMP_NOISE = 0.0002
VOLTAGE_CLAMP_NOISE = 10.0

MEASURED = {
    "Cummins_Na.id": VOLTAGE_CLAMP_NOISE,
    "Na_slow.id": VOLTAGE_CLAMP_NOISE,
    "Na_slow_ina.id": VOLTAGE_CLAMP_NOISE,
    "Na_V10&S12.id": VOLTAGE_CLAMP_NOISE,
    "Hodgkin_AP.id": CURRENT_CLAMP_NOISE,
    "AP.id": CURRENT_CLAMP_NOISE,
    "Destexhe_adapt.id": CURRENT_CLAMP_NOISE,
    "Chow_train.id": CURRENT_CLAMP_NOISE,
    "Lyle_us.id": CURRENT_CLAMP_NOISE,
    "VC_steps.id": VOLTAGE_CLAMP_NOISE,
    "HH_Na_steps.id": 0.0,
    "HH_K_steps.id": 0.0,
}

# The conductance recordings of the reverse problem are made from the classic
# squid-axon coefficients, while their .id files start the fit away from them;
# these values replace the file's for the run that makes a recording. They are
# written without noise, so that a fit can be watched recovering them exactly.
KNOWN_VALUES = {
    "HH_Na_steps.id": {"a1NaR": 0.1, "a2NaR": 25, "a3NaR": 10, "b1NaR": 4, "b3NaR": 18, "c1NaR": 0.07,
                       "c3NaR": 20, "d1NaR": 1, "d2NaR": 30, "d3NaR": 10, "VNaR": 0.055, "gNaR": 120},
    "HH_K_steps.id": {"a1K": 0.01, "a2K": 10, "a3K": 10, "b1K": 0.125, "b2K": 0, "b3K": 80, "VK": -0.072,
                      "gK": 36},
}


def ramp(duration_ms):
    """Holds -70 mV for 5 ms, rises to -20 mV in duration_ms, steps back to -70 mV
    and holds it to 60 ms. Two points at one time make a step; the flat ends keep
    the linear extension beyond the last point flat."""
    top = 5.0 + duration_ms
    return [(0.0, -70.0), (5.0, -70.0), (top, -20.0), (top, -70.0), (60.0, -70.0)]


COMMANDS = {
    "ramp.id": [ramp(10.0), ramp(20.0), ramp(40.0)],
}

RECORDING = re.compile(r"(SmplFile\[Smpl\]\s*:=\s*)'([^']*)'")
COUNT = re.compile(r"\bNSmpls\s*:=\s*'?(\d+)")


def recordings_of(id_text, name):
    files = [m.group(2) for m in RECORDING.finditer(id_text)]
    count = COUNT.search(id_text)
    if count is None or int(count.group(1)) != len(files):
        sys.exit(f"make_samples: {name}: NSmpls does not match the {len(files)} recording names")
    return files


def line(t, value):
    return f"{t:9.3f} {value:13.5E}\n"


def write(path, lines):
    path.write_text("".join(lines), encoding="ascii")
    print(f"  {path.relative_to(ROOT)}: {len(lines)} points")


def read_trace(path):
    points = []
    for text in path.read_text(encoding="ascii").splitlines():
        if text.strip():
            t, value = text.split()
            points.append((float(t), float(value)))
    return points


def make_measured(cli, name, sigma):
    id_path = SAMPLES / name
    id_text = id_path.read_text(encoding="ascii")
    files = recordings_of(id_text, name)
    with tempfile.TemporaryDirectory() as work:
        work = pathlib.Path(work)
        copy = work / name
        copy.write_text(RECORDING.sub(r"\1'NoFile'", id_text), encoding="ascii")
        known = [arg for field, value in KNOWN_VALUES.get(name, {}).items()
                 for arg in ("--set", f"NP0.{field}={value}")]
        for k, file in enumerate(files, start=1):
            out = work / "trace.dat"
            subprocess.run([str(cli), "run", "--id", str(copy), "--smpl", str(k), "--set", "n_Write=1",
                            "--save-var", "Vr", str(out)] + known, check=True, cwd=work, stdout=subprocess.DEVNULL)
            noise = random.Random(zlib.crc32(f"{name}:{k}".encode()))
            write(SAMPLES / file, [line(t, v + noise.gauss(0.0, sigma)) for t, v in read_trace(out)])


def make_commands(name, commands):
    files = recordings_of((SAMPLES / name).read_text(encoding="ascii"), name)
    if len(files) != len(commands):
        sys.exit(f"make_samples: {name}: {len(files)} recordings, {len(commands)} commands")
    for file, points in zip(files, commands):
        write(SAMPLES / file, [line(t, v) for t, v in points])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", type=pathlib.Path, default=ROOT / "build" / "membrix-cli",
                        help="the membrix-cli to run (default: build/membrix-cli)")
    parser.add_argument("names", nargs="*", help="sample files to remake (default: all)")
    args = parser.parse_args()
    names = args.names or sorted(MEASURED) + sorted(COMMANDS)
    unknown = [n for n in names if n not in MEASURED and n not in COMMANDS]
    if unknown:
        sys.exit(f"make_samples: not a sample: {', '.join(unknown)}")
    if any(n in MEASURED for n in names) and not args.cli.is_file():
        sys.exit(f"make_samples: {args.cli} not found; build it first or give --cli")
    for name in names:
        print(name)
        if name in MEASURED:
            make_measured(args.cli.resolve(), name, MEASURED[name])
        else:
            make_commands(name, COMMANDS[name])


if __name__ == "__main__":
    main()
