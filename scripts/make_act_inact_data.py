#!/usr/bin/env python3
"""Makes the 41 voltage-clamp recordings of resources/samples/Act_Inact.id.

The recordings stand for a cell measured under the fixed protocols of the
activation and inactivation window:

  activation    hold -100 mV, step at 2 ms to V = +50, +45, ..., -50 mV
                -> Data/Tessel/a<V>.d
  inactivation  hold V = -110, -105, ..., -15 mV, step at 2 ms to 0 mV
                -> Data/Tessel/DataOf_SSA12/a<V>.d

The "cell" is the model of Act_Inact.id with a NaR conductance 10% larger and
its gates shifted 3 mV to more negative voltages (Tr_NaR lowered by 3 mV), so
that the window shows a model that is close to the data but not equal to it.
Its membrane capacitance is negligible, which leaves out the capacitive
transient at the step, as subtracting it does in an experiment.
Each protocol is one clamp run of membrix-cli:

  membrix-cli run --id CELL.id --set NP0.Vrest=HOLD --set Vh=STEP \
                  --set NP0.Cm=1e-9 --set n_Write=1 --save-var Vr OUT

"Vr" is the clamp current in pA at every step of 0.05 ms, inward negative
as recorded (the window reads the files negated). Gaussian noise of
20 pA is added with a seed derived from the file name, so one build makes the
same files byte for byte. The step to 0 mV is also written as Act_Inact_1.d,
recording 1 of the parameter file. Lines: time in ms (width 9, three decimals) and
current (scientific, width 13).

Usage: python3 scripts/make_act_inact_data.py [--cli build/membrix-cli]
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
ID_FILE = SAMPLES / "Act_Inact.id"
NOISE_PA = 20.0
CONDUCTANCE_FACTOR = 1.1
SHIFT_MV = -3.0


def protocols():
    """(folder, holding V, step V, voltage named by the file) for r = -20 ... 20."""
    for r in range(-20, 21):
        if r <= 0:
            step = abs(r) * 0.005 - 0.05
            yield "Data/Tessel", -0.1, step, step
        else:
            hold = r * 0.005 - 0.115
            yield "Data/Tessel/DataOf_SSA12", hold, 0.0, hold


def cell_file(text):
    """The sample's parameters as the measured cell: larger gNaR, shifted gates,
    and a recording section without a file (the recording is being made)."""
    g = float(re.search(r"NP0\.gNaR\s*:=\s*([-0-9.]+)", text).group(1))
    text = re.sub(r"(NP0\.gNaR\s*:=\s*)[-0-9.]+", lambda m: f"{m.group(1)}{g * CONDUCTANCE_FACTOR}", text)
    text = re.sub(r"(SmplFile\[Smpl\]\s*:=\s*)'[^']*'", r"\1'NoFile'", text)
    # The holding level is set per protocol: the recording section, read again
    # at every run, must not set it back.
    text = re.sub(r"\n\s*NP0\.Vrest\s*:=[^\n]*", "", text)
    # The family's Tr_NaR, moved; it is set after the family's defaults.
    return text.replace("  NP0.IfBlockNaR := 0;",
                        f"  NP0.IfBlockNaR := 0;\n  NP0.Tr_NaR := {-60.0 + SHIFT_MV};")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", type=pathlib.Path, default=ROOT / "build" / "membrix-cli",
                        help="the membrix-cli to run (default: build/membrix-cli)")
    args = parser.parse_args()
    if not args.cli.is_file():
        sys.exit(f"make_act_inact_data: {args.cli} not found; build it first or give --cli")
    cli = args.cli.resolve()
    with tempfile.TemporaryDirectory() as work:
        work = pathlib.Path(work)
        cell = work / "cell.id"
        cell.write_text(cell_file(ID_FILE.read_text(encoding="ascii")), encoding="ascii")
        for folder, hold, step, v in protocols():
            name = f"a{round(1000 * v)}.d"
            out = work / "trace.dat"
            subprocess.run([str(cli), "run", "--id", str(cell), "--smpl", "1",
                            "--set", f"NP0.Vrest={hold!r}", "--set", f"Vh={step!r}",
                            # A negligible capacitance: no capacitive transient at the step.
                            "--set", "NP0.Cm=1e-9",
                            "--set", "n_Write=1", "--save-var", "Vr", str(out)],
                           check=True, cwd=work, stdout=subprocess.DEVNULL)
            noise = random.Random(zlib.crc32(f"Act_Inact:{name}".encode()))
            lines = []
            for text in out.read_text(encoding="ascii").splitlines():
                if text.strip():
                    t, value = (float(x) for x in text.split())
                    lines.append(f"{t:9.3f} {value + noise.gauss(0.0, NOISE_PA):13.5E}\n")
            target = SAMPLES / folder / name
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_text("".join(lines), encoding="ascii")
            print(f"  {target.relative_to(ROOT)}: {len(lines)} points")
            if folder == "Data/Tessel" and name == "a0.d":
                # Recording 1 of the parameter file, for its clamp runs.
                (SAMPLES / "Act_Inact_1.d").write_text("".join(lines), encoding="ascii")


if __name__ == "__main__":
    main()
