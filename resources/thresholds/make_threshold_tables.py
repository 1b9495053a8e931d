#!/usr/bin/env python3
"""Makes the two built-in threshold tables of the threshold neuron.

Each table is a threshold sweep of a model family in the column layout of
"VTh(tAP).dat": one row per injected current, with

  1  threshold of the second spike above rest, mV
  2  interval from the first to the second spike, ms (rows without a second
     spike carry -888000)
  3  injected current, pA
  4  rate of rise dV/dt at the second spike, V/s
  5  threshold of the first spike above rest, mV
  6  rate of rise at the first spike, V/s
  7  firing rate 1/t2, Hz, with t2 the interval on the 0.015 ms step grid
     ("Chow" only)

A row is a smooth function of the current: the rate of rise grows with the
current and saturates, the interval shrinks toward its refractory floor, and
the threshold rises with the rate of rise as a power law. A few measured rows
anchor the curves; they are reproduced digit for digit, and the curves are
bent gently so that they pass through them (see README.md).

Writes, next to this script, lyle_threshold_table.dat and
chow_threshold_table.dat, the same rows as the working-folder data files
../set_VTh(dVdt)_Lyle.dat and ../set_VTh(dVdt)_Chow.dat, and the embedded copy
of both tables for the engine, src/neuron/builtin_threshold_tables.inc.

Usage: python3 make_threshold_tables.py
"""

import math
import pathlib

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent.parent
STEP_MS = 0.015  # time step of the sweep, ms


# --- curves -------------------------------------------------------------------

def pchip(knots):
    """Monotone piecewise-cubic interpolant (Fritsch-Carlson) through (x, y)."""
    xs = [k[0] for k in knots]
    ys = [k[1] for k in knots]
    n = len(xs)
    h = [xs[i + 1] - xs[i] for i in range(n - 1)]
    d = [(ys[i + 1] - ys[i]) / h[i] for i in range(n - 1)]
    m = [0.0] * n
    for i in range(1, n - 1):
        if d[i - 1] * d[i] > 0:
            w1 = 2 * h[i] + h[i - 1]
            w2 = h[i] + 2 * h[i - 1]
            m[i] = (w1 + w2) / (w1 / d[i - 1] + w2 / d[i])
    m[0] = d[0] if n == 2 else _end_slope(h[0], h[1], d[0], d[1])
    m[-1] = d[-1] if n == 2 else _end_slope(h[-1], h[-2], d[-1], d[-2])

    def f(x):
        i = 0
        while i < n - 2 and x >= xs[i + 1]:
            i += 1
        t = (x - xs[i]) / h[i]
        h00 = (1 + 2 * t) * (1 - t) ** 2
        h10 = t * (1 - t) ** 2
        h01 = t * t * (3 - 2 * t)
        h11 = t * t * (t - 1)
        return h00 * ys[i] + h10 * h[i] * m[i] + h01 * ys[i + 1] + h11 * h[i] * m[i + 1]

    return f


def _end_slope(h0, h1, d0, d1):
    m = ((2 * h0 + h1) * d0 - h0 * d1) / (h0 + h1)
    if m * d0 <= 0:
        return 0.0
    if d0 * d1 <= 0 and abs(m) > abs(3 * d0):
        return 3 * d0
    return m


def bisect(f, lo, hi, iterations=200):
    flo = f(lo)
    for _ in range(iterations):
        mid = 0.5 * (lo + hi)
        fm = f(mid)
        if (fm > 0) == (flo > 0):
            lo, flo = mid, fm
        else:
            hi = mid
    return 0.5 * (lo + hi)


def saturating(x1, y1, x2, y2, x3, y3):
    """y = ymax - (ymax - y1)·exp(-(x - x1)/scale) through three points."""
    def mismatch(scale):
        # ymax from the last two points, then the miss at the first.
        e = math.exp(-(x3 - x2) / scale)
        ymax = (y3 - y2 * e) / (1 - e)
        return (ymax - y1) * math.exp(-(x3 - x1) / scale) - (ymax - y3)
    scale = bisect(mismatch, 50.0, 20000.0)
    e = math.exp(-(x3 - x2) / scale)
    ymax = (y3 - y2 * e) / (1 - e)
    return lambda x: ymax - (ymax - y1) * math.exp(-(x - x1) / scale)


def quadratic(p1, p2, p3):
    """The parabola through three points (Lagrange form)."""
    (x1, y1), (x2, y2), (x3, y3) = p1, p2, p3

    def f(x):
        return (y1 * (x - x2) * (x - x3) / ((x1 - x2) * (x1 - x3)) +
                y2 * (x - x1) * (x - x3) / ((x2 - x1) * (x2 - x3)) +
                y3 * (x - x1) * (x - x2) / ((x3 - x1) * (x3 - x2)))
    return f


def power_law(p, a1, b1, a2, b2):
    """b = b0 + c·max(a, 0)^p through (a1, b1) and (a2, b2)."""
    c = (b2 - b1) / (max(a2, 0) ** p - max(a1, 0) ** p)
    b0 = b1 - c * max(a1, 0) ** p
    return lambda a: b0 + c * max(a, 0) ** p


def power_law3(a1, b1, a2, b2, a3, b3):
    """b = b0 + c·a^p through three points."""
    def mismatch(p):
        return power_law(p, a1, b1, a2, b2)(a3) - b3
    p = bisect(mismatch, 0.2, 3.0)
    return power_law(p, a1, b1, a2, b2)


def pinned(base, pins):
    """base bent through the pins: the misses at the pins, interpolated
    linearly in the row number between them, are added to the curve."""
    rows = sorted(pins)
    miss = [(k, pins[k] - base(k)) for k in rows]

    def f(k):
        if k in pins:
            return pins[k]
        for (k0, m0), (k1, m1) in zip(miss, miss[1:]):
            if k0 < k < k1:
                return base(k) + m0 + (m1 - m0) * (k - k0) / (k1 - k0)
        return base(k)
    return f


# --- formatting -----------------------------------------------------------------

def fixed(x, decimals, width=9):
    return f"{x:{width}.{decimals}f}"


def scientific(x, width=23):
    """Sign or blank, one digit, point, mantissa digits, 'E', signed four-digit exponent."""
    digits = width - 9
    mantissa, exponent = f"{abs(x):.{digits}E}".split("E")
    sign = "-" if x < 0 else " "
    e = int(exponent)
    return f"{sign}{mantissa}E{'+' if e >= 0 else '-'}{abs(e):04d}"


def quantise(ms):
    return round(ms / STEP_MS) * STEP_MS


# --- "Lyle" -----------------------------------------------------------------------

def lyle_rows():
    # 48 currents without a second spike, then 1010 measured currents.
    rows = []
    for i in range(1, 49):
        current = 4.0 * i
        rows.append((0.0, -888000.0, current, 0.0, 77.63441 - 0.21 * (i - 1), 0.07528 + 0.0019 * (i - 1)))

    kept = 1010
    current = {k: 196.0 + 4.0 * (k - 1) for k in range(1, kept + 1)}
    # Measured rows that anchor the curves, as they stand in the sweep.
    anchors = {
        1: (7.033, 142.02000, 196.0, 0.00071, 7.17959, -0.00017),
        980: (28.985, 7.60500, 4112.0, 3.15431, 24.16193, 9.37638),
        981: (28.959, 7.59000, 4116.0, 3.15965, 24.18537, 9.38536),
        1003: (29.381, 7.57500, 4204.0, 3.15637, 24.41333, 9.60703),
        1010: (29.528, 7.57500, 4232.0, 3.15254, 24.43043, 9.68220),
    }

    # Rate of rise at the second spike: grows with the current and saturates,
    # peaks at row 981 and sags slightly as the interval reaches its floor.
    lam = 1.0
    i1, i980 = current[1], current[980]
    a1, a980 = anchors[1][3], anchors[980][3]

    def rise(k):
        u = (current[k] - i1) / (i980 - i1)
        return a1 + (a980 - a1) * (1 - math.exp(-lam * u)) / (1 - math.exp(-lam))
    sag = pchip([(981, anchors[981][3]), (1003, anchors[1003][3]), (1010, anchors[1010][3])])

    def rate2(k):
        if k in anchors:
            return anchors[k][3]
        return rise(k) if k < 980 else sag(k)

    # Threshold of the second spike: a power law of its rate of rise up to row
    # 980; beyond, it goes on rising slowly with the current.
    thr2 = power_law(0.46, a1, anchors[1][0], a980, anchors[980][0])
    tail2 = pchip([(981, anchors[981][0]), (1003, anchors[1003][0]), (1010, anchors[1010][0])])

    def threshold2(k):
        if k in anchors:
            return anchors[k][0]
        return thr2(rate2(k)) if k < 980 else tail2(k)

    # Interval: the firing rate saturates toward 1/7.575 ms; the interval is
    # measured on the 0.015 ms step grid.
    f1, f980, fmax = 1000.0 / 142.02, 1000.0 / 7.605, 1000.0 / 7.575
    scale = (i980 - i1) / math.log((fmax - f1) / (fmax - f980))

    def interval(k):
        if k in anchors:
            return anchors[k][1]
        if k > 1003:
            return 7.575
        if k > 981:
            return 7.590
        f = fmax - (fmax - f1) * math.exp(-(current[k] - i1) / scale)
        return max(quantise(1000.0 / f), 7.605)

    # First spike: its rate of rise grows almost linearly with the current,
    # its threshold is a power law of that rate.
    rate1 = pinned(quadratic((1, anchors[1][5]), (980, anchors[980][5]), (1010, anchors[1010][5])),
                   {k: v[5] for k, v in anchors.items()})
    thr1_law = power_law(0.4887, anchors[1][5], anchors[1][4], anchors[980][5], anchors[980][4])
    thr1 = pinned(lambda k: thr1_law(rate1(k)), {k: v[4] for k, v in anchors.items()})

    for k in range(1, kept + 1):
        rows.append((threshold2(k), interval(k), current[k], rate2(k), thr1(k), rate1(k)))
    return rows


# --- "Chow" -----------------------------------------------------------------------

def chow_rows():
    n = 199
    current = {i: 20.0 * (i + 1) for i in range(1, n + 1)}
    anchors = {
        1: (3.135, 36.59105, 40.0, 0.02778, 2.70897, 0.08436, 2.73224043715847E+0001),
        198: (28.310, 3.06116, 3980.0, 14.11249, 35.22371, 35.76500, 3.25203252032520E+0002),
        199: (28.453, 3.05406, 4000.0, 14.12708, 35.40005, 35.94083, 3.25203252032520E+0002),
    }

    def through(column, law):
        return lambda i: anchors[i][column] if i in anchors else law(i)

    c = lambda i: current[i]
    rate2_law = saturating(*(v for i in (1, 198, 199) for v in (c(i), anchors[i][3])))
    rate2 = through(3, lambda i: rate2_law(c(i)))
    thr2_law = power_law(0.5, anchors[1][3], anchors[1][0], anchors[198][3], anchors[198][0])
    thr2 = through(0, lambda i: thr2_law(rate2(i)))
    freq_law = saturating(*(v for i in (1, 198, 199) for v in (c(i), 1000.0 / anchors[i][1])))
    interval = through(1, lambda i: 1000.0 / freq_law(c(i)))
    rate1_law = quadratic(*((c(i), anchors[i][5]) for i in (1, 198, 199)))
    rate1 = through(5, lambda i: rate1_law(c(i)))
    thr1_law = power_law3(*(v for i in (1, 198, 199) for v in (anchors[i][5], anchors[i][4])))
    thr1 = through(4, lambda i: thr1_law(rate1(i)))

    def freq(i):
        if i in anchors:
            return anchors[i][6]
        return 1000.0 / (math.ceil(interval(i) / STEP_MS) * STEP_MS)

    return [(thr2(i), interval(i), c(i), rate2(i), thr1(i), rate1(i), freq(i)) for i in range(1, n + 1)]


# --- output -----------------------------------------------------------------------

def format_row(row):
    text = fixed(row[0], 3) + "".join(" " + fixed(x, 5) for x in row[1:6])
    if len(row) > 6:
        text += " " + scientific(row[6])
    return text


def check(name, rows, skipped, table_step, t_min, t0, t200):
    kept = [r for r in rows if r[1] > 0]
    assert len(rows) - len(kept) == skipped, name
    a = [round(r[3], 5) for r in kept]
    b = [round(r[0], 3) for r in kept]
    big = max(range(len(a)), key=lambda k: (a[k], k))
    assert round(a[big] / 40000, 12) == round(table_step, 12), name
    assert math.isclose(min(round(r[1], 5) for r in kept) / 1000, t_min, rel_tol=1e-12), name
    assert b[0] == t0 and b[big - 1] == t200, name
    assert all(x < y for x, y in zip(a[:big + 1], a[1:big + 1])), name + ": rate of rise not rising"
    assert all(x <= y for x, y in zip(b[:big], b[1:big])), name + ": threshold not rising"
    intervals = [round(r[1], 5) for r in kept]
    assert all(x >= y for x, y in zip(intervals, intervals[1:])), name + ": interval not shrinking"
    x6 = [round(r[5], 5) for r in kept]
    assert all(x < y for x, y in zip(x6, x6[1:])), name + ": first-spike rate not rising"


def write_inc(tables):
    lines = ["// Generated by resources/thresholds/make_threshold_tables.py; do not edit.",
             "// The rows of the two built-in threshold tables, as text."]
    for symbol, rows in tables:
        lines.append("")
        lines.append(f"inline constexpr const char* {symbol}[] = {{")
        lines.extend(f'    "{format_row(r)}",' for r in rows)
        lines.append("};")
    (ROOT / "src" / "neuron" / "builtin_threshold_tables.inc").write_text("\n".join(lines) + "\n")


def main():
    lyle = lyle_rows()
    chow = chow_rows()
    assert len(lyle) == 1058 and len(chow) == 199
    check("Lyle", lyle, 48, 3.15965 / 40000, 0.007575, 7.033, 28.985)
    check("Chow", chow, 0, 14.12708 / 40000, 0.00305406, 3.135, 28.310)
    for name, rows in (("Lyle", lyle), ("Chow", chow)):
        text = "".join(format_row(r) + "\n" for r in rows)
        (HERE / f"{name.lower()}_threshold_table.dat").write_text(text)
        (ROOT / "resources" / f"set_VTh(dVdt)_{name}.dat").write_text(text)
    write_inc([("kLyleThresholdRows", lyle), ("kChowThresholdRows", chow)])


if __name__ == "__main__":
    main()
