#include "channels/procedural/hh_lyle.h"

#include <cmath>

#include "channels/multistate_schemes.h"
#include "channels/potassium.h"
#include "channels/resurgent_sodium.h"

namespace membrix {

namespace {

double Unblocked(std::int32_t blockFlag) { return 1.0 - blockFlag; }

// Copies the procedural occupancies into the schemes' vector type and back.
Occupancies Widened(const LyleOccupancies& P) {
  Occupancies wide{};
  for (int i = 1; i <= 4; ++i) wide[i] = P[i];
  return wide;
}

void Narrow(const Occupancies& wide, LyleOccupancies& P) {
  for (int i = 1; i <= 4; ++i) P[i] = wide[i];
}

// Occupancies a little outside [0, 1] by rounding are accepted as they are.
bool IsProbabilityVector(const LyleOccupancies& P) {
  constexpr double kRoundoff = 1e-12;
  for (int i = 1; i <= 4; ++i) {
    if (!std::isfinite(P[i]) || P[i] < -kRoundoff || P[i] > 1.0 + kRoundoff) return false;
  }
  return true;
}

void BuildScheme(const NeuronProperties& np, double v, Transitions& K) {
  BuildLyleTransitions(LyleScheme::Lyle4, v - np.NaThreshShift, 0.0, K);
}

}  // namespace

// ---- Rate helpers ---------------------------------------------------------------

GatePairRates LyleKRates(double v, double f) { return {TLyleK::RatesN(v, f), TLyleK::RatesY(v, f)}; }

GatePairRates LyleKARates(double v, double f) { return {TLyleKA::RatesN(v, f), TLyleKA::RatesL(v, f)}; }

GateRates LyleKMRates(double v, double f) {
  const double alpha = 0.003 * SafeExp(3.6 * f * (v + 45.0));
  const double beta = 0.003 * SafeExp(-2.4 * f * (v + 45.0));
  return {alpha / (alpha + beta), 1.0 / (alpha + beta) + 8.0};
}

GatePairRates LyleKDRates(double v, double f) { return {TLyleKD::RatesX(v, f), TLyleKD::RatesY(v, f)}; }

GateRates LyleHRates(double v, double f) { return TLyleH::Rates(v, f); }

// ---- Open fractions --------------------------------------------------------------

double LyleKCond(const NeuronProperties& np, double nn, double yK) {
  return TLyleK::OpenFraction(nn, yK) * Unblocked(np.IfBlockK);
}

double LyleKACond(const NeuronProperties& np, double nA, double lA) {
  return TLyleKA::OpenFraction(nA, lA) * Unblocked(np.IfBlockKA);
}

double LyleKMCond(const NeuronProperties& np, double nM) { return nM * nM * Unblocked(np.IfBlockKM); }

double LyleKDCond(double xD, double yD) { return TLyleKD::OpenFraction(xD, yD); }

// ---- Na scheme -------------------------------------------------------------------

double LyleNaStep(const NeuronProperties& np, NeuronVariables& nv, double dt, LyleOccupancies& P) {
  Transitions K;
  BuildScheme(np, 1000.0 * nv.V, K);
  const double h = 1000.0 * dt;
  LyleOccupancies next = P;
  for (int i = 1; i <= 3; ++i) {
    double inflow = 0.0;
    double outflow = 0.0;
    for (int j = 1; j <= 4; ++j) {
      if (j == i) continue;
      inflow += h * K[j][i] * next[j];
      outflow += h * K[i][j];
    }
    next[i] += inflow - outflow * next[i];
  }
  next[4] = 1.0 - next[1] - next[2] - next[3];
  if (!IsProbabilityVector(next)) {
    // The step is too long for the explicit update: a state gave away more
    // than it held, and repeated steps would swing and grow without bound.
    // The implicit step keeps the occupancies a probability vector at any step.
    Occupancies implicit{};
    ImplicitOccupancyStep(4, K, dt, Widened(P), implicit);
    Narrow(implicit, next);
    next[4] = 1.0 - next[1] - next[2] - next[3];
  }
  P = next;
  nv.mm = P[1];
  nv.hh = 1.0;
  return P[1] * Unblocked(np.IfBlockNa) * np.gNa * (nv.V - np.VNa);
}

void LyleNaInit(const NeuronProperties& np, NeuronVariables& nv, LyleOccupancies& P) {
  Transitions K;
  BuildScheme(np, 1000.0 * nv.V, K);
  Occupancies wide{};
  StationaryOccupancies(4, K, wide);
  Narrow(wide, P);
  nv.mm = P[1];
  nv.hh = 1.0;
}

// ---- Resurgent Na ------------------------------------------------------------------

double LyleMSNaRStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  const SodiumRates r = TLyleMSNaR::Kinetics(1000.0 * nv.V, np.FRT);
  RelaxGate(nv.mmR, r.m, dt);
  RelaxGate(nv.hhR, r.h, dt);
  return nv.mmR * nv.mmR * nv.hhR * nv.hhR * nv.hhR * Unblocked(np.IfBlockNa) * np.gNaR * (nv.V - np.VNa);
}

void LyleMSNaRInit(const NeuronProperties& np, NeuronVariables& nv) {
  const SodiumRates r = TLyleMSNaR::Kinetics(1000.0 * nv.V, np.FRT);
  nv.mmR = r.m.inf;
  nv.hhR = r.h.inf;
}

// ---- K, KA, KM, KD ----------------------------------------------------------------

double LyleKStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  const GatePairRates r = LyleKRates(1000.0 * nv.V, np.FRT);
  RelaxGate(nv.nn, r.act, dt);
  RelaxGate(nv.yK, r.inact, dt);
  return LyleKCond(np, nv.nn, nv.yK) * np.gK * (nv.V - np.VKn);
}

void LyleKInit(const NeuronProperties& np, NeuronVariables& nv) {
  const GatePairRates r = LyleKRates(1000.0 * nv.V, np.FRT);
  nv.nn = r.act.inf;
  nv.yK = r.inact.inf;
}

double LyleKAStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  const GatePairRates r = LyleKARates(1000.0 * nv.V, np.FRT);
  RelaxGate(nv.nA, r.act, dt);
  RelaxGate(nv.lA, r.inact, dt);
  return LyleKACond(np, nv.nA, nv.lA) * np.gKA * (nv.V - np.VK);
}

void LyleKAInit(const NeuronProperties& np, NeuronVariables& nv) {
  const GatePairRates r = LyleKARates(1000.0 * nv.V, np.FRT);
  nv.nA = r.act.inf;
  nv.lA = r.inact.inf;
}

double LyleKMStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  RelaxGate(nv.nM, LyleKMRates(1000.0 * nv.V, np.FRT), dt);
  return LyleKMCond(np, nv.nM) * np.gKM * (nv.V - np.VKM);
}

void LyleKMInit(const NeuronProperties& np, NeuronVariables& nv) {
  nv.nM = LyleKMRates(1000.0 * nv.V, np.FRT).inf;
}

double LyleKDStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  const GatePairRates r = LyleKDRates(1000.0 * nv.V, np.FRT);
  RelaxGate(nv.xD, r.act, dt);
  RelaxGate(nv.yD, r.inact, dt);
  return LyleKDCond(nv.xD, nv.yD) * np.gKD * (nv.V - np.VKD);
}

void LyleKDInit(const NeuronProperties& np, NeuronVariables& nv) {
  const GatePairRates r = LyleKDRates(1000.0 * nv.V, np.FRT);
  nv.xD = r.act.inf;
  nv.yD = r.inact.inf;
}

}  // namespace membrix
