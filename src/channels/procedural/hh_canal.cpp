#include "channels/procedural/hh_canal.h"

#include <cmath>
#include <string>
#include <string_view>

#include "channels/afterpotential.h"
#include "channels/calcium.h"
#include "channels/potassium.h"
#include "channels/procedural/hh_chow.h"
#include "channels/procedural/hh_cummins.h"
#include "channels/procedural/hh_lyle.h"
#include "channels/procedural/hh_migli.h"
#include "channels/procedural/procedural_gates.h"
#include "channels/procedural/rariza_kinetics.h"
#include "channels/resurgent_sodium.h"
#include "channels/sodium.h"
#include "run/session.h"

namespace membrix {

namespace {

bool Is(const NeuronProperties& np, std::string_view family) {
  return std::string_view(np.HH_type) == family;
}

// ---- Parametric Na ("Rariza", "Destexhe"): the Rariza Na kinetics without slow
// inactivation; ii is neither read nor written.

double ParametricNaStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  return ParametricNaAdvance(nv.V, nv.mm, nv.hh, np, dt, np.NaThreshShift);
}

void ParametricNaInit(const NeuronProperties& np, NeuronVariables& nv) {
  const SodiumRates r = TRarizaNa::Rates(1000.0 * nv.V, np);
  nv.mm = r.m.inf;
  nv.hh = r.h.inf;
}

// ---- Delayed rectifier of "Rariza" and "Destexhe" ----------------------------

void RarizaDestexheKInit(const NeuronProperties& np, NeuronVariables& nv) {
  const double v = 1000.0 * nv.V;
  nv.nn = (Is(np, "Destexhe") ? DestexheKRates(v, np.Tr_Na) : RarizaKRates(v, np.Tr_Na)).inf;
}

// ---- The parametric resurgent Na current, the default of every family --------

double RarizaNaRStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  const SodiumRates r = TRarizaNaR::Rates(1000.0 * nv.V, np);
  RelaxGate(nv.mmR, r.m, dt);
  RelaxGate(nv.hhR, r.h, dt);
  return nv.mmR * nv.mmR * nv.mmR * nv.hhR * (1 - np.IfBlockNaR) * np.gNaR * (nv.V - np.VNaR);
}

void RarizaNaRInit(const NeuronProperties& np, NeuronVariables& nv) {
  const SodiumRates r = TRarizaNaR::Rates(1000.0 * nv.V, np);
  nv.mmR = r.m.inf;
  nv.hhR = r.h.inf;
}

// ---- M current of every family but "Lyle" --------------------------------------

double DestexheKMStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  RelaxGate(nv.nM, DestexheKMRates(1000.0 * nv.V), dt);
  return nv.nM * (1 - np.IfBlockKM) * np.gKM * (nv.V - np.VKM);
}

// ---- Destexhe Ca currents: no block factor ---------------------------------------

// The high-threshold current reverses at the Nernst potential of the present Ca.
double DestexheCaHCurrent(const NeuronProperties& np, const NeuronVariables& nv, double Ca) {
  return nv.mCaH * nv.mCaH * nv.hCaH * np.gCaH * (nv.V - ECaNernst(np, Ca));
}

// The Destexhe low-threshold kinetics with one branch of the inactivation time
// constant at every voltage.
TDestexheCaT::Gates DestexheCaTRates(double v) {
  TDestexheCaT::Gates r = TDestexheCaT::Rates(v);
  r.h.tau = SafeExp(-(v + 22.0) / 10.5) + 28.0;
  return r;
}

// ---- KCa, Bst, NaP ------------------------------------------------------------------

GateRates KCaVoltageRates(double v) {
  const double x = (v + 55.0) / 30.0;
  return {1.0 / (1.0 + SafeExp(-(v + 35.0) / 6.5)), 200.0 / (SafeExp(x) + SafeExp(-x))};
}

double NaPActivation(double v) { return 1.0 / (1.0 + SafeExp(-(v + 57.7) / 7.7)); }

constexpr double kBstTau = 100.0;  // ms
constexpr double kTau1Default = 100.0;

}  // namespace

// ---- Kinetic helpers --------------------------------------------------------------

GateRates RarizaKRates(double v, double Tr_Na) {
  const GateOf<double> r = RarizaKGate(v, Tr_Na);
  return {r.inf, r.tau};
}

GateRates DestexheKRates(double v, double Tr_Na) { return TDestexheK::Rates(v, Tr_Na); }

GateRates DestexheKMRates(double v) { return TDestexheKM::Rates(v); }

GateRates AHPRates(double v) {
  return {1.0 / (1.0 + SafeExp(-(v + 35.0) / 10.0)),
          2000.0 / (3.3 * SafeExp((v + 35.0) / 20.0) + SafeExp(-(v + 35.0) / 20.0))};
}

double ECaNernst(const NeuronProperties& np, double Ca) {
  const double c = MaxD(Ca, np.Ca_rest);
  return (np.R_gas * np.Temp / 2.0 / np.F_Faraday) * std::log(np.Ca0 / c);
}

// ---- Per-current procedures --------------------------------------------------------

ProcModel ResolveProcModel(const NeuronProperties& np) {
  ProcModel m;
  m.resolved = true;
  m.family = Is(np, "Passive")    ? ProcFamily::Passive
             : Is(np, "Rariza")   ? ProcFamily::Rariza
             : Is(np, "Destexhe") ? ProcFamily::Destexhe
             : Is(np, "Migliore") ? ProcFamily::Migliore
             : Is(np, "Cummins")  ? ProcFamily::Cummins
             : Is(np, "Chow")     ? ProcFamily::Chow
             : Is(np, "Lyle")     ? ProcFamily::Lyle
                                  : ProcFamily::Other;
  m.cumminsNaR = std::string_view(np.NaR_type) == "Cummins";
  m.geometry = np.HH_order == "1-point"    ? ProcGeometry::OnePoint
               : np.HH_order == "2-points" ? ProcGeometry::TwoPoints
                                           : ProcGeometry::Other;
  return m;
}

namespace {

bool RarizaOrDestexhe(ProcFamily f) { return f == ProcFamily::Rariza || f == ProcFamily::Destexhe; }

double INaR(const ProcModel& m, const NeuronProperties& np, NeuronVariables& nv, double dt) {
  if (m.cumminsNaR) return CumminsNaRStep(np, nv, dt);
  if (m.family == ProcFamily::Lyle) return LyleMSNaRStep(np, nv, dt);
  return RarizaNaRStep(np, nv, dt);
}

double INa(const ProcModel& m, const NeuronProperties& np, NeuronVariables& nv, double dt, ProceduralGlobals& g) {
  switch (m.family) {
    case ProcFamily::Rariza:
    case ProcFamily::Destexhe: return ParametricNaStep(np, nv, dt);
    case ProcFamily::Migliore: return MiglioreNaStep(np, nv, dt);
    case ProcFamily::Cummins: return CumminsNaStep(np, nv, dt);
    case ProcFamily::Chow: return ChowNaStep(np, nv, dt);
    case ProcFamily::Lyle: return LyleNaStep(np, nv, dt, g.ProcLyleP);
    default: return 0.0;
  }
}

double IK(const ProcModel& m, const NeuronProperties& np, NeuronVariables& nv, double dt) {
  switch (m.family) {
    case ProcFamily::Rariza: return RarizaKAdvance(nv.V, nv.nn, np, dt);
    case ProcFamily::Destexhe: RelaxGate(nv.nn, DestexheKRates(1000.0 * nv.V, np.Tr_Na), dt); break;
    case ProcFamily::Migliore: return MiglioreKStep(np, nv, dt);
    case ProcFamily::Cummins: return CumminsKStep(np, nv, dt);
    case ProcFamily::Chow: return ChowKStep(np, nv, dt);
    case ProcFamily::Lyle: return LyleKStep(np, nv, dt);
    default: return 0.0;
  }
  return IntPower(4, nv.nn) * (1 - np.IfBlockK) * np.gK * (nv.V - np.VK);
}

double IKA(const ProcModel& m, const NeuronProperties& np, NeuronVariables& nv, double dt) {
  if (m.family == ProcFamily::Cummins) return CumminsKAStep(np, nv, dt);
  if (m.family == ProcFamily::Lyle) return LyleKAStep(np, nv, dt);
  return MiglioreKAStep(np, nv, dt);
}

double IKM(const ProcModel& m, const NeuronProperties& np, NeuronVariables& nv, double dt) {
  if (m.family == ProcFamily::Lyle) return LyleKMStep(np, nv, dt);
  return DestexheKMStep(np, nv, dt);
}

double IKD(const ProcModel& m, const NeuronProperties& np, NeuronVariables& nv, double dt) {
  if (m.family == ProcFamily::Lyle) return LyleKDStep(np, nv, dt);
  return CumminsKDStep(np, nv, dt);
}

double ICaH(const ProcModel& m, const NeuronProperties& np, NeuronVariables& nv, double dt) {
  if (m.family == ProcFamily::Cummins) return CumminsCaHStep(np, nv, dt);
  const TDestexheCaH::Gates r = TDestexheCaH::Rates(1000.0 * nv.V);
  RelaxGate(nv.mCaH, r.m, dt);
  RelaxGate(nv.hCaH, r.h, dt);
  return DestexheCaHCurrent(np, nv, nv.Ca);
}

double ICaT(const ProcModel& m, const NeuronProperties& np, NeuronVariables& nv, double dt) {
  if (m.family == ProcFamily::Cummins) return CumminsCaTStep(np, nv, dt);
  const TDestexheCaT::Gates r = DestexheCaTRates(1000.0 * nv.V);
  RelaxGate(nv.mCaT, r.m, dt);
  RelaxGate(nv.hCaT, r.h, dt);
  return nv.mCaT * nv.mCaT * nv.hCaT * np.gCaT * (nv.V - kCaReversal);
}

}  // namespace

double ProcINaR(Session& s) { return INaR(ResolveProcModel(s.NP0), s.NP0, s.NV0, s.run.dt); }

double ProcINa(Session& s, ProceduralGlobals& g) { return INa(ResolveProcModel(s.NP0), s.NP0, s.NV0, s.run.dt, g); }

double ProcIK(Session& s) { return IK(ResolveProcModel(s.NP0), s.NP0, s.NV0, s.run.dt); }

double ProcIKA(Session& s) { return IKA(ResolveProcModel(s.NP0), s.NP0, s.NV0, s.run.dt); }

double ProcIKM(Session& s) { return IKM(ResolveProcModel(s.NP0), s.NP0, s.NV0, s.run.dt); }

double ProcIKD(Session& s) { return IKD(ResolveProcModel(s.NP0), s.NP0, s.NV0, s.run.dt); }

double ProcICaH(Session& s) { return ICaH(ResolveProcModel(s.NP0), s.NP0, s.NV0, s.run.dt); }

double ProcICaT(Session& s) { return ICaT(ResolveProcModel(s.NP0), s.NP0, s.NV0, s.run.dt); }

double ProcIKCa(Session& s) {
  const NeuronProperties& np = s.NP0;
  NeuronVariables& nv = s.NV0;
  RelaxGate(nv.nKCa, TDestexheKCa::Rates(nv.Ca), s.run.dt);
  RelaxGate(nv.nKCa, KCaVoltageRates(1000.0 * nv.V), s.run.dt);
  return np.gKCa * nv.nKCa * (nv.V - np.VK);
}

double ProcIH(Session& s) {
  const NeuronProperties& np = s.NP0;
  NeuronVariables& nv = s.NV0;
  RelaxGate(nv.nH, LyleHRates(1000.0 * nv.V, np.FRT), s.run.dt);
  return np.gH * nv.nH * (nv.V - np.VH);
}

double ProcIAHP(Session& s) {
  const NeuronProperties& np = s.NP0;
  NeuronVariables& nv = s.NV0;
  const GateRates r = AHPRates(1000.0 * nv.V);
  nv.wAHP += EulerFactor(s.run.dt, r.tau) * (r.inf - nv.wAHP);
  return np.gAHP * nv.wAHP * (nv.V - np.VK);
}

double ProcIBst(Session& s, ProceduralGlobals& g) {
  const NeuronProperties& np = s.NP0;
  NeuronVariables& nv = s.NV0;
  if (g.tau1 == 0.0) g.tau1 = kTau1Default;
  const double target = nv.SpikePhase == 2 ? g.tau1 : 0.0;
  RelaxGate(nv.mBst, {target, kBstTau}, s.run.dt);
  return np.gBst * Ratio1(nv.mBst) * (nv.V - np.VK);
}

double ProcINaP(Session& s) {
  const NeuronProperties& np = s.NP0;
  NeuronVariables& nv = s.NV0;
  nv.mNaP = NaPActivation(1000.0 * nv.V);
  return np.gNaP * IntPower(3, nv.mNaP) * (nv.V - np.VNa);
}

double ProcAdvanceCurrents(Session& s, ProceduralGlobals& g, bool everyGate) {
  if (!g.model.resolved) g.model = ResolveProcModel(s.NP0);
  const ProcModel& m = g.model;
  const NeuronProperties& np = s.NP0;
  NeuronVariables& nv = s.NV0;
  const double dt = s.run.dt;
  // A current whose maximal conductance is 0 carries 0 whatever its gates do;
  // they are left where they are unless the caller reads them.
  const auto carries = [everyGate](double gMax) { return everyGate || gMax != 0.0; };
  nv.INaR = carries(np.gNaR) ? INaR(m, np, nv, dt) : 0.0;
  nv.INa = carries(np.gNa) ? INa(m, np, nv, dt, g) : 0.0;
  nv.IK = carries(np.gK) ? IK(m, np, nv, dt) : 0.0;
  nv.IKM = carries(np.gKM) ? IKM(m, np, nv, dt) : 0.0;
  nv.IKA = carries(np.gKA) ? IKA(m, np, nv, dt) : 0.0;
  nv.IKD = carries(np.gKD) ? IKD(m, np, nv, dt) : 0.0;
  nv.ICaH = carries(np.gCaH) ? ICaH(m, np, nv, dt) : 0.0;
  nv.ICaT = carries(np.gCaT) ? ICaT(m, np, nv, dt) : 0.0;
  ProcUpdateCa(s, nv.ICaT + nv.ICaH);
  nv.IKCa = carries(np.gKCa) ? ProcIKCa(s) : 0.0;
  nv.IH = carries(np.gH) ? ProcIH(s) : 0.0;
  nv.IAHP = carries(np.gAHP) ? ProcIAHP(s) : 0.0;
  nv.IBst = carries(np.gBst) ? ProcIBst(s, g) : 0.0;
  nv.INaP = carries(np.gNaP) ? ProcINaP(s) : 0.0;
  return nv.INaR + nv.INa + nv.IK + nv.IKM + nv.IKA + nv.IKD + nv.ICaH + nv.ICaT + nv.IKCa + nv.IH + nv.IAHP +
         nv.IBst + nv.INaP;
}

void ProcUpdateCa(Session& s, double ICa) {
  const NeuronProperties& np = s.NP0;
  NeuronVariables& nv = s.NV0;
  // With ICa in mA/cm², F in C/mol and the depth in cm, ICa·1000/(2F·depth) is
  // the influx in mM/s, the same as the neuron's Ca pool takes.
  CaPoolStep(nv.Ca, ICa, np, s.run.dt);
}

// ---- Start at rest -----------------------------------------------------------------

void ProcInitGates(Session& s, ProceduralGlobals& g) {
  const NeuronProperties& np = s.NP0;
  NeuronVariables& nv = s.NV0;
  const double v = 1000.0 * nv.V;
  const bool cummins = Is(np, "Cummins");
  const bool lyle = Is(np, "Lyle");

  // The Ca pool where the high-threshold current at rest holds it.
  nv.Ca = np.Ca_rest;
  double ICaH = 0.0;
  if (cummins) {
    CumminsCaHInit(np, nv);
    ICaH = nv.mCaH * nv.hCaH * nv.kCaH * np.gCaH * (nv.V - kCaReversal);
    CumminsCaTInit(np, nv);
  } else {
    const TDestexheCaH::Gates h = TDestexheCaH::Rates(v);
    nv.mCaH = h.m.inf;
    nv.hCaH = h.h.inf;
    ICaH = DestexheCaHCurrent(np, nv, np.Ca_rest);
    const TDestexheCaT::Gates t = DestexheCaTRates(v);
    nv.mCaT = t.m.inf;
    nv.hCaT = t.h.inf;
  }
  nv.Ca = np.Ca_rest - np.tauCa * ICaH * 1000.0 / (2.0 * np.F_Faraday * np.Ca_depth);

  nv.nKCa = TDestexheKCa::Rates(nv.Ca).inf;
  nv.wAHP = AHPRates(v).inf;
  nv.mBst = 0.0;
  nv.mNaP = NaPActivation(v);
  if (!lyle) {
    MiglioreKAInit(np, nv);
    nv.nM = DestexheKMRates(v).inf;
  }

  if (np.NaR_type == "Cummins") {
    CumminsNaRInit(np, nv);
  } else if (!lyle) {
    RarizaNaRInit(np, nv);
  }

  g.model = ResolveProcModel(np);
  if (RarizaOrDestexhe(g.model.family)) {
    ParametricNaInit(np, nv);
    RarizaDestexheKInit(np, nv);
  } else if (Is(np, "Migliore")) {
    MiglioreNaInit(np, nv);
    MiglioreKInit(np, nv);
  } else if (cummins) {
    CumminsNaInit(np, nv);
    CumminsKInit(np, nv);
    CumminsKAInit(np, nv);
    CumminsKDInit(np, nv);
  } else if (Is(np, "Chow")) {
    ChowNaInit(np, nv);
    ChowKInit(np, nv);
  } else if (lyle) {
    LyleNaInit(np, nv, g.ProcLyleP);
    LyleMSNaRInit(np, nv);
    LyleKInit(np, nv);
    LyleKAInit(np, nv);
    LyleKMInit(np, nv);
    LyleKDInit(np, nv);
    nv.nH = LyleHRates(v, np.FRT).inf;
  } else {
    nv.mmR = nv.hhR = nv.mm = nv.nn = nv.hh = 0.0;
  }
}

// ---- Conductance sum ---------------------------------------------------------------

void ProcConductanceSum(Session& s) {
  const NeuronProperties& np = s.NP0;
  NeuronVariables& nv = s.NV0;
  if (Is(np, "Passive") || np.LIF_model == 1) {
    nv.gSum = 0.0;
    return;
  }
  const bool cummins = Is(np, "Cummins");
  const bool migliore = Is(np, "Migliore");
  const bool lyle = Is(np, "Lyle");

  double NaR = nv.mmR * nv.mmR * nv.mmR * nv.hhR;
  if (np.NaR_type == "Cummins") {
    NaR = nv.mmR * nv.hhR;
  } else if (lyle) {
    NaR = nv.mmR * nv.mmR * IntPower(3, nv.hhR);
  }
  double Na = IntPower(3, nv.mm) * nv.hh;
  if (migliore) Na *= nv.ii;
  if (lyle) Na = nv.mm;
  double K = IntPower(4, nv.nn) * (1 - np.IfBlockK);
  if (cummins || migliore) K = nv.nn * (1 - np.IfBlockK);
  if (lyle) K = LyleKCond(np, nv.nn, nv.yK);
  double KA = nv.nA * nv.lA * (1 - np.IfBlockKA);
  if (cummins) KA = IntPower(3, nv.nA) * nv.lA * (1 - np.IfBlockKA);
  if (lyle) KA = LyleKACond(np, nv.nA, nv.lA);
  const double KM = lyle ? LyleKMCond(np, nv.nM) : nv.nM * (1 - np.IfBlockKM);
  const double KD = lyle ? LyleKDCond(nv.xD, nv.yD) : IntPower(3, nv.xD) * nv.yD;
  const double CaH = cummins ? nv.mCaH * nv.hCaH * nv.kCaH : nv.mCaH * nv.mCaH * nv.hCaH;
  const double CaT = cummins ? nv.mCaT * nv.hCaT : nv.mCaT * nv.mCaT * nv.hCaT;

  nv.gSum = np.gNaR * NaR * (1 - np.IfBlockNaR) + np.gNa * Na * (1 - np.IfBlockNa) + np.gK * K + np.gKA * KA +
            np.gKM * KM + np.gKD * KD + np.gCaH * CaH + np.gCaT * CaT + np.gH * nv.nH +
            np.gKCa * nv.nKCa * nv.nKCa + np.gAHP * nv.wAHP + np.gBst * Ratio1(nv.mBst) +
            np.gNaP * IntPower(3, nv.mNaP);
}

}  // namespace membrix
