#include "channels/resurgent_sodium.h"

namespace membrix {

// As in the Na slot: gates evaluated at the voltage of the start of the step,
// updated in the order mmR, hhR, iiR, each from its own value at the start of
// the step.

// ---- TRarizaNaR --------------------------------------------------------------

SodiumRates TRarizaNaR::Rates(double v, const NeuronProperties& np) {
  const double vp = v - np.Tr_NaR;
  const double am = np.a1NaR * HHRate(np.a2NaR - vp, np.a3NaR, np.a4NaR);
  const double bm = np.b1NaR * HHRate(np.b2NaR - vp, np.b3NaR, np.b4NaR);
  const double ah = np.c1NaR * HHRate(np.c2NaR - vp, np.c3NaR, np.c4NaR);
  const double bh = np.d1NaR * HHRateInv(np.d2NaR - vp, np.d3NaR, np.d4NaR);
  return {FromAlphaBeta(am, bm), FromAlphaBeta(ah, bh), {}};
}

double TRarizaNaR::Step() {
  const SodiumRates r = Rates(v(), NP());
  NeuronVariables& nv = NV();
  UpdateGate(nv.mmR, r.m);
  UpdateGate(nv.hhR, r.h);
  return Conductance(nv.mmR, nv.hhR, 0.0) * NP().gNaR * (nv.V - NP().VNaR);
}

double TRarizaNaR::Conductance(double mmR, double hhR, double) const {
  return mmR * mmR * mmR * hhR * (1 - NP().IfBlockNaR);
}

void TRarizaNaR::Init() {
  const SodiumRates r = Rates(v(), NP());
  NV().mmR = r.m.inf;
  NV().hhR = r.h.inf;
}

// ---- TCumNaR -----------------------------------------------------------------

SodiumRates TCumNaR::Rates(double v, const NeuronProperties& np) {
  const double vp = v - np.Tr_NaR;
  const double am = np.a1NaR * HHRateInv(np.a2NaR - vp, np.a3NaR, np.a4NaR);
  const double bm = np.b1NaR * HHRateInv(np.b2NaR - vp, np.b3NaR, np.b4NaR);
  const double ah = np.c1NaR * HHRateInv(np.c2NaR - vp, np.c3NaR, np.c4NaR);
  const double bh = np.d1NaR * HHRateInv(np.d2NaR - vp, np.d3NaR, np.d4NaR);
  return {FromAlphaBeta(am, bm), FromAlphaBeta(ah, bh), {}};
}

double TCumNaR::Step() {
  const SodiumRates r = Rates(v(), NP());
  NeuronVariables& nv = NV();
  UpdateGate(nv.mmR, r.m);
  UpdateGate(nv.hhR, r.h);
  return Conductance(nv.mmR, nv.hhR, 0.0) * NP().gNaR * (nv.V - NP().VNaR);
}

double TCumNaR::Conductance(double mmR, double hhR, double) const {
  return mmR * hhR * (1 - NP().IfBlockNaR);
}

void TCumNaR::Init() {
  const SodiumRates r = Rates(v(), NP());
  NV().mmR = r.m.inf;
  NV().hhR = r.h.inf;
}

// ---- TMigliNaR ---------------------------------------------------------------

SodiumRates TMigliNaR::Rates(double v, const NeuronProperties& np) {
  return TMigliNa::Kinetics(v, np.If_Slow_NaR_inactivation == 1);
}

double TMigliNaR::Step() {
  const SodiumRates r = Rates(v(), NP());
  NeuronVariables& nv = NV();
  UpdateSodiumGates(*this, nv.mmR, nv.hhR, nv.iiR, r);
  return Conductance(nv.mmR, nv.hhR, nv.iiR) * NP().gNaR * (nv.V - NP().VNa);
}

double TMigliNaR::Conductance(double mmR, double hhR, double iiR) const {
  return mmR * mmR * mmR * hhR * iiR * (1 - NP().IfBlockNaR);
}

void TMigliNaR::Init() {
  const SodiumRates r = Rates(v(), NP());
  SetSodiumSteadyState(NV().mmR, NV().hhR, NV().iiR, r);
}

// ---- TChowNaR ----------------------------------------------------------------

SodiumRates TChowNaR::Rates(double v, const NeuronProperties& np) {
  // This current follows the Na slot's slow-inactivation switch.
  const double sInf = np.If_Slow_Na_inactivation == 1 ? 1.0 / (1.0 + SafeExp(0.5 * (v + 42.0))) : 1.0;
  return {{1.0 / (1.0 + SafeExp(-0.08 * (v + 26.0))), 0.0},
          {1.0 / (1.0 + SafeExp(0.13 * (v + 38.0))), 0.6 / (1.0 + SafeExp(-0.12 * (v + 67.0)))},
          {sInf, 100.0}};
}

double TChowNaR::Step() {
  const SodiumRates r = Rates(v(), NP());
  NeuronVariables& nv = NV();
  nv.mmR = r.m.inf;                                                          // instantaneous
  UpdateGate(nv.hhR, r.h);
  UpdateGate(nv.iiR, r.s, iRelax_);
  return Conductance(nv.mmR, nv.hhR, nv.iiR) * NP().gNaR * (nv.V - NP().VNa);
}

double TChowNaR::Conductance(double mmR, double hhR, double iiR) const {
  return mmR * mmR * mmR * hhR * iiR * iiR * iiR * (1 - NP().IfBlockNaR);
}

void TChowNaR::Init() {
  const SodiumRates r = Rates(v(), NP());
  SetSodiumSteadyState(NV().mmR, NV().hhR, NV().iiR, r);
}

// ---- TShuNaR -----------------------------------------------------------------

SodiumRates TShuNaR::Rates(double v, const NeuronProperties& np) {
  return TShuNa::Kinetics(v - 5.0, np.TempFactor);
}

double TShuNaR::Step() {
  const SodiumRates r = Rates(v(), NP());
  NeuronVariables& nv = NV();
  UpdateGate(nv.mmR, r.m);
  UpdateGate(nv.hhR, r.h);
  return Conductance(nv.mmR, nv.hhR, 0.0) * NP().gNaR * (nv.V - NP().VNa);
}

double TShuNaR::Conductance(double mmR, double hhR, double) const {
  return mmR * mmR * mmR * hhR * (1 - NP().IfBlockNaR);
}

void TShuNaR::Init() {
  NP().TempFactor = TemperatureFactor(NP().Temp, 23.0);
  const SodiumRates r = Rates(v(), NP());
  NV().mmR = r.m.inf;
  NV().hhR = r.h.inf;
}

// ---- TBazhNaR ----------------------------------------------------------------

SodiumRates TBazhNaR::Rates(double v, const NeuronProperties& np) {
  return TBazhNa::Kinetics(v, np.TempFactor);
}

double TBazhNaR::Step() {
  const SodiumRates r = Rates(v(), NP());
  NeuronVariables& nv = NV();
  UpdateGate(nv.mmR, r.m);
  UpdateGate(nv.hhR, r.h);
  return Conductance(nv.mmR, nv.hhR, 0.0) * NP().gNaR * (nv.V - NP().VNa);
}

double TBazhNaR::Conductance(double mmR, double hhR, double) const {
  return NP().TempFactor * mmR * mmR * mmR * hhR * (1 - NP().IfBlockNaR);
}

void TBazhNaR::Init() {
  NP().TempFactor = TemperatureFactor(NP().Temp, 23.0);
  const SodiumRates r = Rates(v(), NP());
  NV().mmR = r.m.inf;
  NV().hhR = r.h.inf;
}

// ---- TLyleMSNaR --------------------------------------------------------------

SodiumRates TLyleMSNaR::Rates(double v, const NeuronProperties& np) {
  return Kinetics(v - np.NaThreshShift, np.FRT);
}

SodiumRates TLyleMSNaR::Kinetics(double vs, double f) {
  // Each exponent is gamma·z·F/RT·(vs - vhalf): z = 6, gamma = 0.5 for m;
  // z = -30, gamma = 0.17 (and 0.83 backward) for h.
  const double am = 0.67 * SafeExp(3.0 * f * (vs + 34.0));
  const double bm = 0.67 * SafeExp(-3.0 * f * (vs + 34.0));
  const double ah = 0.0023 * SafeExp(-5.1 * f * (vs + 42.5));
  const double bh = 0.0023 * SafeExp(24.9 * f * (vs + 42.5));
  return {{am / (am + bm), MaxD(1.0 / (am + bm), 5.0)}, {ah / (ah + bh), MaxD(1.0 / (ah + bh), 3.0)}, {}};
}

double TLyleMSNaR::Step() {
  const SodiumRates r = Rates(v(), NP());
  NeuronVariables& nv = NV();
  UpdateGate(nv.mmR, r.m);
  UpdateGate(nv.hhR, r.h);
  return Conductance(nv.mmR, nv.hhR, 0.0) * NP().gNaR * (nv.V - NP().VNa);
}

double TLyleMSNaR::Conductance(double mmR, double hhR, double) const {
  return mmR * mmR * hhR * hhR * hhR * (1 - NP().IfBlockNaR);
}

void TLyleMSNaR::Init() {
  const SodiumRates r = Rates(v(), NP());
  NV().mmR = r.m.inf;
  NV().hhR = r.h.inf;
}

}  // namespace membrix
