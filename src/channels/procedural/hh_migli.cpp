#include "channels/procedural/hh_migli.h"

#include "channels/potassium.h"

namespace membrix {

SodiumRates MiglioreNaRates(double v, double NaThreshShift) {
  SodiumRates r = TMigliNa::Kinetics(v, true);
  if (NaThreshShift != 0.0) r.m = TMigliNa::Kinetics(v - NaThreshShift, true).m;
  return r;
}

GateRates MiglioreKRates(double v) { return TMigliK::Rates(v, 0.0); }

GatePairRates MiglioreKARates(double v) {
  const double b = 1.0 / (1.0 + SafeExp((v + 40.0) / 5.0));
  const double e1 = SafeExp(-0.038 * (1.5 + b) * (v - 11.0));
  const double e2 = SafeExp(-0.038 * (0.825 + b) * (v - 11.0));
  return {{1.0 / (1.0 + e1), MaxD(4.0 * e2 / (1.0 + e1), 0.1)},
          {1.0 / (1.0 + SafeExp(0.11 * (v + 56.0))), MaxD(0.26 * (v + 50.0), 2.0)}};
}

double MiglioreNaStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  const SodiumRates r = MiglioreNaRates(1000.0 * nv.V, np.NaThreshShift);
  RelaxGate(nv.mm, r.m, dt);
  RelaxGate(nv.hh, r.h, dt);
  RelaxGate(nv.ii, r.s, dt);
  return nv.mm * nv.mm * nv.mm * nv.hh * (1 - np.IfBlockNa) * np.gNa * (nv.V - np.VNa);
}

void MiglioreNaInit(const NeuronProperties& np, NeuronVariables& nv) {
  const SodiumRates r = MiglioreNaRates(1000.0 * nv.V, np.NaThreshShift);
  nv.mm = r.m.inf;
  nv.hh = r.h.inf;
  nv.ii = r.s.inf;
}

double MiglioreKStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  RelaxGate(nv.nn, MiglioreKRates(1000.0 * nv.V), dt);
  return nv.nn * (1 - np.IfBlockK) * np.gK * (nv.V - np.VKn);
}

void MiglioreKInit(const NeuronProperties&, NeuronVariables& nv) {
  nv.nn = MiglioreKRates(1000.0 * nv.V).inf;
}

double MiglioreKAStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  const GatePairRates r = MiglioreKARates(1000.0 * nv.V);
  RelaxGate(nv.nA, r.act, dt);
  RelaxGate(nv.lA, r.inact, dt);
  return nv.nA * nv.lA * (1 - np.IfBlockKA) * np.gKA * (nv.V - np.VK);
}

void MiglioreKAInit(const NeuronProperties&, NeuronVariables& nv) {
  const GatePairRates r = MiglioreKARates(1000.0 * nv.V);
  nv.nA = r.act.inf;
  nv.lA = r.inact.inf;
}

}  // namespace membrix
