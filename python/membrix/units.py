"""The units in which Python gives and takes the values of a session.

Every protocol global and parameter field is given and taken in the unit the
workbench shows it in (its main window and its parameter window): times in
ms, voltages in mV, conductance densities in mS/cm², current densities in
µA/cm², currents in pA, capacitance in µF/cm², the temperature in °C. Fields
that no window shows follow the same rule (a reversal potential in mV, a time
constant in ms). The engine keeps the parameter record in its own units (s,
V, mF/cm², K); the conversion is made here, where a value enters or leaves.
"""

# name -> (unit, how the shown value is made from the kept one, factor):
#   "scale": shown = kept * factor
#   "cell":  shown = kept * NP0.Square * factor (a density shown for the whole cell)
#   "temp":  shown = kept - 273 (K shown in °C)
# Names not listed are shown as they are kept, without a unit.
_TABLE = {
    # The main window's stimulus and run inputs.
    "t_end": ("ms", "scale", 1000.0),
    "dt": ("ms", "scale", 1000.0),
    "t_IindShift": ("ms", "scale", 1000.0),
    "t_Iind": ("ms", "scale", 1000.0),
    "Iind": ("pA", "scale", 1.0),
    "Freq_Iind": ("Hz", "scale", 1.0),
    # The command voltage itself (the main window shows it against Vrest).
    "Vh": ("mV", "scale", 1000.0),
    "uu": ("µA/cm²", "scale", 1000.0),
    "ss": ("mS/cm²", "scale", 1.0),
    "s_soma": ("mS/cm²", "scale", 1.0),
    "gNMDA": ("mS/cm²", "scale", 1.0),
    "Vus": ("mV", "scale", 1000.0),
    "tau_Noise": ("ms", "scale", 1000.0),
    "G1": ("mS/cm²", "scale", 1.0),
    "C1": ("µF/cm²", "scale", 1000.0),
    "VrevFit": ("mV", "scale", 1000.0),
    "tau1": ("ms", "scale", 1.0),
    "scx_Smpl": ("s", "scale", 1.0),
    # The parameter window's top area.
    "NP0.Square": ("1e-5 cm²", "scale", 1e5),
    "NP0.Cm": ("µF/cm²", "scale", 1000.0),
    "NP0.Vrest": ("mV", "scale", 1000.0),
    "NP0.VL": ("mV", "scale", 1000.0),
    "NP0.tau_m": ("ms", "scale", 1000.0),
    "NP0.VNa": ("mV", "scale", 1000.0),
    "NP0.VK": ("mV", "scale", 1000.0),
    "NP0.VNaR": ("mV", "scale", 1000.0),
    "NP0.NaThreshShift": ("mV", "scale", 1.0),
    # Simple models, threshold and the adaptive EIF.
    "NP0.Vreset": ("mV", "scale", 1000.0),
    "NP0.VresetDend": ("mV", "scale", 1000.0),
    "NP0.ThrShift": ("mV", "scale", 1000.0),
    "NP0.tau_abs": ("ms", "scale", 1000.0),
    "NP0.FixThr": ("mV", "scale", 1000.0),
    "NP0.dT_AP": ("ms", "scale", 1000.0),
    "NP0.dThr_dts": ("mV·s", "scale", 1000.0),
    "NP0.tADP": ("ms", "scale", 1000.0),
    "NP0.k_a": ("mV", "scale", 1000.0),
    "NP0.tau_Thr": ("ms", "scale", 1000.0),
    "NP0.Vthr_AP": ("mV", "scale", 1000.0),
    "NP0.EIF_deltaT": ("mV", "scale", 1000.0),
    "NP0.EIF_tauw": ("ms", "scale", 1000.0),
    "NP0.EIF_a": ("nS", "cell", 1e6),
    "NP0.EIF_dw": ("nA", "cell", 1e6),
    "NP0.EIF_VT": ("mV", "scale", 1000.0),
    # Other, ions.
    "NP0.Temp": ("°C", "temp", 1.0),
    "NP0.Mg": ("mM", "scale", 1.0),
    "NP0.VLd": ("mV", "scale", 1000.0),
    "NP0.gLd": ("mS/cm²", "scale", 1.0),
    "NP0.tauCa": ("ms", "scale", 1000.0),
    "NP0.Ca0": ("mM", "scale", 1.0),
    "NP0.Ca_rest": ("mM", "scale", 1.0),
    "NP0.Ca_depth": ("µm", "scale", 1e4),
    "NP0.dVAHP": ("mV", "scale", 1000.0),
    "NP0.E_NMDA": ("mV", "scale", 1000.0),
    "NP0.Ipump": ("µA/cm²", "scale", 1000.0),
    "NP0.IpumpDend": ("µA/cm²", "scale", 1000.0),
    "NP0.Tr_Na": ("mV", "scale", 1.0),
    "NP0.Tr_NaR": ("mV", "scale", 1.0),
    "NP0.KThreshShift": ("mV", "scale", 1.0),
    "NP0.FRT": ("1/mV", "scale", 1.0),
    "NP0.R_gas": ("J/(mol·K)", "scale", 1.0),
    "NP0.F_Faraday": ("C/mol", "scale", 1.0),
}
for _g in ("gNa", "gNaR", "gK", "gKM", "gKA", "gKD", "gCaH", "gKCa", "gADP", "gAHP", "gCaT", "gBst", "gNaP", "gH",
           "gL"):
    _TABLE["NP0." + _g] = ("mS/cm²", "scale", 1.0)
for _v in ("VKn", "VKM", "VKD", "VH", "VADP", "VCa", "VAHP"):
    _TABLE["NP0." + _v] = ("mV", "scale", 1000.0)
del _g, _v

# Other spellings of the units a call may name.
_SPELLINGS = {"µ": "u", "μ": "u", "²": "2", "·": "*", "°C": "degC", " ": ""}


def _plain(unit):
    text = unit
    for a, b in _SPELLINGS.items():
        text = text.replace(a, b)
    return text.replace("mu", "u")


def unit_of(name):
    """The unit of a session's value by its name ("" for a number without one, a text or a switch)."""
    return _TABLE.get(name, ("", "scale", 1.0))[0]


def changed(name):
    """Whether the unit differs from the record's own (the unit Session.set and get used before)."""
    _, kind, factor = _TABLE.get(name, ("", "scale", 1.0))
    return kind != "scale" or factor != 1.0


def scaled(name):
    """Whether the shown value is the kept one times a factor (so that 0 is 0 in both)."""
    return _TABLE.get(name, ("", "scale", 1.0))[1] in ("scale", "cell")


def same_unit(given, name):
    return _plain(given) == _plain(unit_of(name))


def to_shown(name, kept, square):
    """The shown value of a kept one (`square`: the membrane area NP0.Square, cm²)."""
    _, kind, factor = _TABLE.get(name, ("", "scale", 1.0))
    if kind == "temp":
        return _tidy(kept - 273.0, lambda x: x + 273.0, kept)
    if kind == "cell":
        return _tidy(kept * square * factor, lambda x: x / (square * factor), kept)
    if factor == 1.0:
        return kept
    return _tidy(kept * factor, lambda x: x / factor, kept)


def to_kept(name, shown, square):
    """The kept value of a shown one, as the window stores a value typed into it."""
    _, kind, factor = _TABLE.get(name, ("", "scale", 1.0))
    if kind == "temp":
        return shown + 273.0
    if kind == "cell":
        if not square:
            raise ZeroDivisionError("%s is given for the whole cell, and the membrane area NP0.Square is 0: "
                                    "set the area first" % name)
        return shown / (square * factor)
    return shown / factor if factor != 1.0 else shown


def _tidy(shown, back, kept):
    """The shown value with the fewest digits that gives back the very value kept (-65 for -0.065 V, not
    -65.00000000000001; 6.3 °C for 279.3 K)."""
    try:
        for digits in range(1, 16):
            short = float("%.*g" % (digits, shown))
            if back(short) == kept:
                return short
    except ZeroDivisionError:
        pass
    return shown


def all_units():
    return dict(_TABLE)
