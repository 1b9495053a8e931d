#include "channels/procedural/hh_cummins.h"

#include "channels/calcium.h"
#include "channels/potassium.h"
#include "channels/procedural/procedural_gates.h"
#include "channels/resurgent_sodium.h"
#include "channels/sodium.h"

namespace membrix {

double CumminsNaStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  const SodiumRates r = TCumNa::Rates(1000.0 * nv.V, np);
  RelaxGate(nv.mm, r.m, dt);
  RelaxGate(nv.hh, r.h, dt);
  RelaxGate(nv.ii, r.s, dt);
  return nv.mm * nv.mm * nv.mm * nv.hh * nv.ii * (1 - np.IfBlockNa) * np.gNa * (nv.V - np.VNa);
}

void CumminsNaInit(const NeuronProperties& np, NeuronVariables& nv) {
  const SodiumRates r = TCumNa::Rates(1000.0 * nv.V, np);
  nv.mm = r.m.inf;
  nv.hh = r.h.inf;
  nv.ii = r.s.inf;
}

double CumminsKStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  RelaxGate(nv.nn, TCumK::Rates(1000.0 * nv.V), dt);
  return nv.nn * (1 - np.IfBlockK) * np.gK * (nv.V - np.VKn);
}

void CumminsKInit(const NeuronProperties&, NeuronVariables& nv) { nv.nn = TCumK::Rates(1000.0 * nv.V).inf; }

double CumminsKAStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  const double v = 1000.0 * nv.V;
  const GateRates n = TCumKA::RatesN(v);
  const GateRates l = TCumKA::RatesL(v);
  RelaxGate(nv.nA, n, dt);
  RelaxGate(nv.lA, l, dt);
  return IntPower(3, nv.nA) * nv.lA * (1 - np.IfBlockKA) * np.gKA * (nv.V - np.VK);
}

void CumminsKAInit(const NeuronProperties&, NeuronVariables& nv) {
  const double v = 1000.0 * nv.V;
  nv.nA = TCumKA::RatesN(v).inf;
  nv.lA = TCumKA::RatesL(v).inf;
}

double CumminsKDStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  const double v = 1000.0 * nv.V;
  const GateRates x = TCumKD::RatesX(v);
  const GateRates y = TCumKD::RatesY(v);
  RelaxGate(nv.xD, x, dt);
  RelaxGate(nv.yD, y, dt);
  return IntPower(3, nv.xD) * nv.yD * np.gKD * (nv.V - np.VK);
}

void CumminsKDInit(const NeuronProperties&, NeuronVariables& nv) {
  const double v = 1000.0 * nv.V;
  nv.xD = TCumKD::RatesX(v).inf;
  nv.yD = TCumKD::RatesY(v).inf;
}

double CumminsCaHStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  const TCumCaH::Gates r = TCumCaH::Rates(1000.0 * nv.V);
  RelaxGate(nv.mCaH, r.m, dt);
  RelaxGate(nv.hCaH, r.h, dt);
  RelaxGate(nv.kCaH, r.k, dt);
  return nv.mCaH * nv.hCaH * nv.kCaH * np.gCaH * (nv.V - kCaReversal);
}

void CumminsCaHInit(const NeuronProperties&, NeuronVariables& nv) {
  const TCumCaH::Gates r = TCumCaH::Rates(1000.0 * nv.V);
  nv.mCaH = r.m.inf;
  nv.hCaH = r.h.inf;
  nv.kCaH = r.k.inf;
}

double CumminsCaTStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  const TCumCaT::Gates r = TCumCaT::Rates(1000.0 * nv.V);
  RelaxGate(nv.mCaT, r.m, dt);
  RelaxGate(nv.hCaT, r.h, dt);
  return nv.mCaT * nv.hCaT * np.gCaT * (nv.V - kCaReversal);
}

void CumminsCaTInit(const NeuronProperties&, NeuronVariables& nv) {
  const TCumCaT::Gates r = TCumCaT::Rates(1000.0 * nv.V);
  nv.mCaT = r.m.inf;
  nv.hCaT = r.h.inf;
}

double CumminsNaRStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  const SodiumRates r = TCumNaR::Rates(1000.0 * nv.V, np);
  RelaxGate(nv.mmR, r.m, dt);
  RelaxGate(nv.hhR, r.h, dt);
  return nv.mmR * nv.hhR * (1 - np.IfBlockNaR) * np.gNaR * (nv.V - np.VNaR);
}

void CumminsNaRInit(const NeuronProperties& np, NeuronVariables& nv) {
  const SodiumRates r = TCumNaR::Rates(1000.0 * nv.V, np);
  nv.mmR = r.m.inf;
  nv.hhR = r.h.inf;
}

}  // namespace membrix
