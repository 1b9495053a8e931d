#include "ui/parameter_window_inputs.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "run/session.h"

namespace membrix {

namespace {

// A field of the parameter record shown as field × kScale.
template <double NeuronProperties::*F, double kScale>
double ShowRecord(const Session& s) {
  return s.NP0.*F * kScale;
}
template <double NeuronProperties::*F, double kScale>
void StoreRecord(Session& s, double v) {
  s.NP0.*F = v / kScale;
}

template <double StimulusGlobals::*F, double kScale>
double ShowStimulus(const Session& s) {
  return s.stim.*F * kScale;
}
template <double StimulusGlobals::*F, double kScale>
void StoreStimulus(Session& s, double v) {
  s.stim.*F = v / kScale;
}

// Values given for the whole cell (nS, nA, pA) become densities by dividing by
// the membrane area. With an area of 0 there is no density to write: the field
// keeps its value until a positive area is entered.
void StoreIfFinite(double& field, double x) {
  if (std::isfinite(x)) field = x;
}

double ShowTemp(const Session& s) { return s.NP0.Temp - 273.0; }
void StoreTemp(Session& s, double v) { s.NP0.Temp = v + 273.0; }

double ShowEIF_a(const Session& s) { return s.NP0.EIF_a * s.NP0.Square * 1e6; }
void StoreEIF_a(Session& s, double v) { StoreIfFinite(s.NP0.EIF_a, v / s.NP0.Square / 1e6); }

double ShowEIF_dw(const Session& s) { return s.NP0.EIF_dw * s.NP0.Square * 1e6; }
void StoreEIF_dw(Session& s, double v) { StoreIfFinite(s.NP0.EIF_dw, v / s.NP0.Square / 1e6); }

double ShowNoiseAmplitude(const Session& s) { return s.stim.NoiseRec.amplitude * s.NP0.Square * 1e9; }
void StoreNoiseAmplitude(Session& s, double v) {
  StoreIfFinite(s.stim.NoiseRec.amplitude, v / (s.NP0.Square * 1e9));
}

double ShowNoiseTau(const Session& s) { return s.stim.NoiseRec.tau * 1000.0; }
void StoreNoiseTau(Session& s, double v) { s.stim.NoiseRec.tau = v / 1000.0; }

// "tau1, ms" is kept as entered; 0 lets the Bst current take its default.
double ShowTau1(const Session& s) { return s.proc.tau1; }
void StoreTau1(Session& s, double v) { s.proc.tau1 = v; }

double ShowG1(const Session& s) { return s.stim.Pipette.G1; }
void StoreG1(Session& s, double v) { s.stim.Pipette.G1 = v; }
double ShowC1(const Session& s) { return s.stim.Pipette.C1 * 1000.0; }
void StoreC1(Session& s, double v) { s.stim.Pipette.C1 = v / 1000.0; }

// A time step of 0 or less is never taken.
double ShowDt(const Session& s) { return s.run.dt * 1000.0; }
void StoreDt(Session& s, double v) {
  if (v > 0.0) s.run.dt = v / 1000.0;
}

// An input of the ion pages: a field of the ion-dynamics inputs.
template <double IonInputs::*F>
double ShowIon(const Session& s) {
  return s.ionInputs.*F;
}
template <double IonInputs::*F>
void StoreIon(Session& s, double v) {
  s.ionInputs.*F = v;
}

using Show = double (*)(const Session&);
using Store = void (*)(Session&, double);

struct Conversion {
  Show show;
  Store store;
};

template <double NeuronProperties::*F, double kScale = 1.0>
constexpr Conversion kRecord{&ShowRecord<F, kScale>, &StoreRecord<F, kScale>};
template <double StimulusGlobals::*F, double kScale = 1.0>
constexpr Conversion kStimulus{&ShowStimulus<F, kScale>, &StoreStimulus<F, kScale>};
constexpr Conversion kTau1{&ShowTau1, &StoreTau1};
template <double IonInputs::*F>
constexpr Conversion kIon{&ShowIon<F>, &StoreIon<F>};

constexpr ParameterInputEntry In(int number, std::string_view label, int decimals, InputPage page,
                                std::string_view group, Conversion c) {
  return {number, label, decimals, page, group, c.show, c.store};
}
constexpr ParameterInputEntry Conductance(ParameterInputEntry entry, bool resetOnDoubleClick) {
  entry.conductance = true;
  entry.resetOnDoubleClick = resetOnDoubleClick;
  return entry;
}
constexpr ParameterInputEntry Reset(ParameterInputEntry entry) {
  entry.resetOnDoubleClick = true;
  return entry;
}
constexpr ParameterInputEntry Hint(ParameterInputEntry entry, std::string_view hint) {
  entry.hint = hint;
  return entry;
}
constexpr ParameterInputEntry Initial(ParameterInputEntry entry, double v) {
  entry.initial = v;
  return entry;
}

using NP = NeuronProperties;
using SG = StimulusGlobals;
constexpr InputPage kTop = InputPage::Top;
constexpr InputPage kNa = InputPage::NaChannels;
constexpr InputPage kSimple = InputPage::SimpleModels;
constexpr InputPage kOther = InputPage::Other;
constexpr InputPage kIons = InputPage::Ions;
constexpr InputPage kPump = InputPage::NaKPump;

// clang-format off
constexpr ParameterInputEntry kInputs[] = {
    // The top area: conductances (the label shows the cell's total conductance),
    // then the passive membrane and the main reversal potentials.
    Conductance(In( 1, "gNaR", 2, kTop, {}, kRecord<&NP::gNaR>), true),
    Conductance(In( 2, "gNa",  2, kTop, {}, kRecord<&NP::gNa>),  true),
    Conductance(In( 3, "gK",   2, kTop, {}, kRecord<&NP::gK>),   true),
    Conductance(In( 4, "gKM",  3, kTop, {}, kRecord<&NP::gKM>),  true),
    Conductance(In(14, "gKA",  2, kTop, {}, kRecord<&NP::gKA>),  true),
    Conductance(In(25, "gKD",  3, kTop, {}, kRecord<&NP::gKD>),  true),
    Conductance(In(15, "gCaH", 4, kTop, {}, kRecord<&NP::gCaH>), false),
    Conductance(In(16, "gKCa", 2, kTop, {}, kRecord<&NP::gKCa>), false),
    Conductance(In(17, "gAHP", 2, kTop, {}, kRecord<&NP::gAHP>), true),
    Conductance(In(38, "gADP", 2, kTop, {}, kRecord<&NP::gADP>), true),
    Conductance(In(21, "gCaT", 4, kTop, {}, kRecord<&NP::gCaT>), false),
    Conductance(In(22, "gBst", 2, kTop, {}, kRecord<&NP::gBst>), false),
    Conductance(In(23, "gNaP", 2, kTop, {}, kRecord<&NP::gNaP>), false),
    Conductance(In(33, "gH",   4, kTop, {}, kRecord<&NP::gH>),   true),
    Conductance(In(12, "gL",   4, kTop, {}, kRecord<&NP::gL>),   false),
    Reset(In( 5, " S*1e5,     cm^2   ",    2, kTop, {}, kRecord<&NP::Square, 1e5>)),
    In(42, " Cm, muF/cm^2",           2, kTop, {}, kRecord<&NP::Cm, 1000.0>),
    In( 6, " Vrest,         mV    ",  2, kTop, {}, kRecord<&NP::Vrest, 1000.0>),
    In(18, " VL,             mV    ", 2, kTop, {}, kRecord<&NP::VL, 1000.0>),
    In(20, " tau_m,        ms    ",   1, kTop, {}, kRecord<&NP::tau_m, 1000.0>),
    In(34, " ro=gd/gs    ",           2, kTop, {}, kRecord<&NP::ro>),
    In(58, " l",                      2, kTop, {}, kRecord<&NP::l>),
    In(13, " VNa,           mV    ",  1, kTop, {}, kRecord<&NP::VNa, 1000.0>),
    In(19, " VK,             mV    ", 1, kTop, {}, kRecord<&NP::VK, 1000.0>),

    // "Na-channels": the resurgent Na coefficients a2 ... d3, in pairs.
    In(61, "a2", 2, kNa, "Na-channel properties", kRecord<&NP::a2NaR>),
    In( 8, "a3", 2, kNa, "Na-channel properties", kRecord<&NP::a3NaR>),
    In(63, "b2", 2, kNa, "Na-channel properties", kRecord<&NP::b2NaR>),
    In( 9, "b3", 2, kNa, "Na-channel properties", kRecord<&NP::b3NaR>),
    In(62, "c2", 2, kNa, "Na-channel properties", kRecord<&NP::c2NaR>),
    In(10, "c3", 2, kNa, "Na-channel properties", kRecord<&NP::c3NaR>),
    In(64, "d2", 2, kNa, "Na-channel properties", kRecord<&NP::d2NaR>),
    In(11, "d3", 2, kNa, "Na-channel properties", kRecord<&NP::d3NaR>),
    In(35, "VNaR", 1, kNa, "Na-channel properties", kRecord<&NP::VNaR, 1000.0>),
    In(26, "NaThreshShift, mV ", 1, kNa, "Na-channel properties", kRecord<&NP::NaThreshShift>),
    In(41, "KJ_NaCooperativity", 0, kNa, "Na-channel properties", kRecord<&NP::KJ_NaCooperativity>),

    // "Simple models".
    In(24, "tau1, ms", 0, kSimple, "SimplifiedModels", kTau1),
    In(27, "n_AP",     2, kSimple, "SimplifiedModels", kRecord<&NP::n_AP>),
    In(28, "Vreset",   2, kSimple, "SimplifiedModels", kRecord<&NP::Vreset, 1000.0>),
    In(29, "ThrShift", 1, kSimple, "SimplifiedModels", kRecord<&NP::ThrShift, 1000.0>),
    In(30, "tau_abs",  1, kSimple, "SimplifiedModels", kRecord<&NP::tau_abs, 1000.0>),
    In(31, "FixThr",   1, kSimple, "SimplifiedModels", kRecord<&NP::FixThr, 1000.0>),
    In(32, "dwAHP",    4, kSimple, "SimplifiedModels", kRecord<&NP::dwAHP>),
    In(36, "dT_AP",    2, kSimple, "SimplifiedModels", kRecord<&NP::dT_AP, 1000.0>),
    In(37, "dThr*dts", 2, kSimple, "SimplifiedModels", kRecord<&NP::dThr_dts, 1000.0>),
    In(39, "dwADP",    4, kSimple, "SimplifiedModels", kRecord<&NP::dwADP>),
    In(40, "tADP",     0, kSimple, "SimplifiedModels", kRecord<&NP::tADP, 1000.0>),
    In(43, "k_a",      2, kSimple, "Threshold", kRecord<&NP::k_a, 1000.0>),
    In(44, "dVTdV",    2, kSimple, "Threshold", kRecord<&NP::dVTdV>),
    In(59, "DepBlock", 2, kSimple, "Threshold", kRecord<&NP::DepBlock>),
    In(49, "deltaT, mV", 2, kSimple, "adaptive EIF", kRecord<&NP::EIF_deltaT, 1000.0>),
    In(50, "tauw, ms",   0, kSimple, "adaptive EIF", kRecord<&NP::EIF_tauw, 1000.0>),
    In(51, "a, nS",      0, kSimple, "adaptive EIF", {&ShowEIF_a, &StoreEIF_a}),
    In(52, "dw, nA",     4, kSimple, "adaptive EIF", {&ShowEIF_dw, &StoreEIF_dw}),
    In(53, "VT, mV",     1, kSimple, "adaptive EIF", kRecord<&NP::EIF_VT, 1000.0>),

    // "Other".
    In(45, "Vus, mV",  2, kOther, "Iext=u-s*(V-Vus)", kStimulus<&SG::Vus, 1000.0>),
    In(48, "G1",       4, kOther, "Pipette", {&ShowG1, &StoreG1}),
    In(47, "C1",       2, kOther, "Pipette", {&ShowC1, &StoreC1}),
    In(46, " Temp, C", 0, kOther, "Temperature and Mg", {&ShowTemp, &StoreTemp}),
    In(60, " Mg, mM",  2, kOther, "Temperature and Mg", kRecord<&NP::Mg>),
    In( 7, " dt, ms    ", 3, kOther, "Time step", {&ShowDt, &StoreDt}),
    In(54, " Ampl, pA", 0, kOther, "Noise", {&ShowNoiseAmplitude, &StoreNoiseAmplitude}),
    In(55, "tau, ms",   1, kOther, "Noise", {&ShowNoiseTau, &StoreNoiseTau}),
    Hint(In(56, " gLd",     4, kOther, "2-p-MainenSejn", kRecord<&NP::gLd>), "mS/cm^2"),
    In(57, " VLd, mV", 2, kOther, "2-p-MainenSejn", kRecord<&NP::VLd, 1000.0>),

    // "Ions": Ca dynamics and the AHP reversal belong to the record; the rest are
    // the ion-dynamics inputs, read when a run sets the ion dynamics up.
    In(77, "tauCa, ms", 1, kIons, "Ca dynamics", kRecord<&NP::tauCa, 1000.0>),
    In(78, "Ca0, muM",  1, kIons, "Ca dynamics", kRecord<&NP::Ca0>),
    In(79, "dVAHP",     1, kIons, "Reversals", kRecord<&NP::dVAHP, 1000.0>),
    Hint(Initial(In(71, "gL_K/gL",  2, kIons, "Leak", kIon<&IonInputs::gL_K_ratio>), 0.6), "gL_Cl=gL*-gL_K-gL_Na"),
    Hint(Initial(In(72, "gL_Na/gL", 2, kIons, "Leak", kIon<&IonInputs::gL_Na_ratio>), 0.3), "gL_Cl=gL*-gL_K-gL_Na"),
    In(69, "KCC2",  3, kIons, "Co-transporters", kIon<&IonInputs::KCC2>),
    In(70, "NKCC1", 3, kIons, "Co-transporters", kIon<&IonInputs::NKCC1>),
    Hint(Initial(In(75, "beta",  2, kIons, "Volume", kIon<&IonInputs::beta>), 7.0), "mM*cm^2/(muA*s)"),
    Hint(Initial(In(76, "gamma", 3, kIons, "Volume", kIon<&IonInputs::gamma>), 0.02), "mM*cm^2/(muA*s)"),

    // "NaK-pump": the two pump isoforms.
    Reset(Initial(In(65, "NaK,1 ", 1, kPump, "Maximal pump currents", kIon<&IonInputs::NaK1>), 10.0)),
    Reset(In(66, "NaK,2", 1, kPump, "Maximal pump currents", kIon<&IonInputs::NaK2>)),
    Hint(Initial(In(67, "Nai_alpha1", 1, kPump, "Na affinity", kIon<&IonInputs::Nai_alpha1>), 10.0),
         "Nai^n/(Nai_alpha^n+Nai^n)"),
    Hint(Initial(In(68, "Nai_alpha2", 1, kPump, "Na affinity", kIon<&IonInputs::Nai_alpha2>), 30.0),
         "Nai^n/(Nai_alpha^n+Nai^n)"),
    Hint(Initial(In(73, "dV,1", 1, kPump, "Voltage dependence", kIon<&IonInputs::dV1>), 10.0),
         "0.25+0.75/(1+exp((V0-V)/dV)))"),
    Hint(Initial(In(74, "dV,2", 1, kPump, "Voltage dependence", kIon<&IonInputs::dV2>), 10.0),
         "0.25+0.75/(1+exp((V0-V)/dV)))"),
};
// clang-format on

}  // namespace

std::span<const ParameterInputEntry> ParameterInputs() { return kInputs; }

std::span<const ParameterInputEntry* const> ParameterInputsByNumber() {
  static const auto sorted = [] {
    std::array<const ParameterInputEntry*, std::size(kInputs)> p{};
    for (std::size_t i = 0; i < p.size(); ++i) p[i] = &kInputs[i];
    std::sort(p.begin(), p.end(), [](auto* a, auto* b) { return a->number < b->number; });
    return p;
  }();
  return sorted;
}

const ParameterInputEntry* FindParameterInput(int number) {
  for (const ParameterInputEntry& entry : kInputs) {
    if (entry.number == number) return &entry;
  }
  return nullptr;
}

QString InputName(int number) { return QStringLiteral("DDSpinEdit%1").arg(number); }

bool IsNoiseInput(int number) { return number == 54 || number == 55; }

}  // namespace membrix
