#!/usr/bin/env python3
"""Makes the sample sweep file of the ramp analyzer, resources/ramps/model_ramps.txt.

A CA1 pyramidal cell model ("Migliore", one compartment) follows a voltage-clamp
protocol in "VC at Vexp" mode, once per sweep:

  -80 mV, a prepulse to -30 mV from 20 to 50 ms that inactivates the sodium
  current, back to -80 mV, and after a delay d a ramp of 5 mV/ms up to 0 mV,
  then -80 mV again until 500 ms.

The delays d run from 0 to 40 ms, so the sodium current recovers more and more
before the ramp reaches its threshold. Each run is made by the program itself:

  membrix-cli run --id SWEEP.id --set n_Write=1 --save-exp-mod OUT

which writes t (ms), the command voltage (mV) and the clamp current (pA) at every
step of 0.05 ms. Gaussian noise (0.3 mV on the voltage, 15 pA on the current,
fixed seed) is added, and the samples are kept every 0.2 ms from 40 to 200 ms
and every 0.5 ms elsewhere, the same times in every sweep. The file holds one
sample per line, time (s), voltage (mV), current (pA); every sweep runs to
500 ms, past the analyzer's default t_maxLimit of 490 ms, which separates it
from the next.

Usage: python3 scripts/make_ramp_sweeps.py [--cli build/membrix-cli] [--out FILE]
"""

import argparse
import pathlib
import random
import subprocess
import tempfile

DELAYS_MS = [0, 1, 2, 3, 4, 5, 6, 8, 10, 12, 15, 20, 30, 40]

ID_TEXT = """{ one sweep of the ramp analyzer's sample }
CommonParametersFromFile
  NSmpls := 1;
  IfDataIn1column := 0;
  scx_Smpl := 0.001;
  t_end := 0.5;

MembrixPhysParameters
  NP0.HH_type := 'Migliore';
  NP0.HH_order := '1-point';
  MembrixPhysParameters(NP) := 1;
  NP0.IfSet_VL_or_Vrest := 2;
  NP0.Vrest := -0.08;
  NP0.IfBlockNaR := 1;

KeepParams=0
  NP0.If_I_V_or_g := 5;
  t_IindShift := 0;  t_Iind := 0.5;
  Iind := 0;  uu := 0;  ss := 0;  Freq_Iind := 0;

ParametersFromFile
  SmplFile[Smpl] := '{protocol}';
end.
"""


def protocol(delay):
    """Corner points (ms, mV) of the command of one sweep."""
    start = 50.0 + delay
    return [(0, -80), (20, -80), (20, -30), (50, -30), (50, -80), (start, -80), (start + 16, 0),
            (start + 16, -80), (500, -80)]


def kept(t_ms):
    """The samples kept: every 0.2 ms from 40 to 200 ms, every 0.5 ms elsewhere."""
    step = round(t_ms / 0.05)
    if 40.0 <= t_ms <= 200.0:
        return step % 4 == 0
    return step % 10 == 0


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", default=str(root / "build" / "membrix-cli"))
    parser.add_argument("--out", default=str(root / "resources" / "ramps" / "model_ramps.txt"))
    args = parser.parse_args()
    noise = random.Random(2312)
    lines = [
        "# Sample sweep file of the ramp analyzer, made by scripts/make_ramp_sweeps.py from the",
        "# program's own model (Migliore, one compartment, VC at Vexp) with added noise: a prepulse",
        "# to -30 mV from 20 to 50 ms, then a 5 mV/ms ramp from -80 mV after a delay of",
        "# " + ", ".join(str(d) for d in DELAYS_MS) + " ms.",
        "# Columns: time (s), voltage (mV), current (pA); each sweep runs to 500 ms.",
    ]
    with tempfile.TemporaryDirectory() as work:
        work = pathlib.Path(work)
        for k, delay in enumerate(DELAYS_MS, start=1):
            d_file = work / f"sweep_{k}.d"
            d_file.write_text("".join(f"{t:9.3f} {v:9.3f}\n" for t, v in protocol(delay)))
            id_file = work / f"sweep_{k}.id"
            id_file.write_text(ID_TEXT.replace("{protocol}", d_file.name))
            out = work / f"sweep_{k}.dat"
            subprocess.run([args.cli, "run", "--id", str(id_file), "--set", "n_Write=1", "--save-exp-mod",
                            str(out)], check=True, cwd=work, stdout=subprocess.DEVNULL)
            for row in out.read_text().split("\n"):
                fields = row.split()
                if len(fields) < 3:
                    continue
                t, v, i = (float(x) for x in fields[:3])
                if not kept(t):
                    continue
                v += noise.gauss(0.0, 0.3)
                i += noise.gauss(0.0, 15.0)
                lines.append(f"{t / 1000.0:.4f} {v:.2f} {i:.1f}")
    pathlib.Path(args.out).write_text("\n".join(lines) + "\n")
    print(f"written: {args.out} ({len(DELAYS_MS)} sweeps)")


if __name__ == "__main__":
    main()
