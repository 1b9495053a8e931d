#include "channels/procedural/hh_chow.h"

#include "channels/potassium.h"

namespace membrix {

SodiumRates ChowNaRates(double v, double NaThreshShift) {
  const double vs = v - NaThreshShift;
  return {{1.0 / (1.0 + SafeExp(-0.17 * (vs + 26.0))), 0.0},
          {1.0 / (1.0 + SafeExp(0.13 * (v + 38.0))), 0.6 / (1.0 + SafeExp(-0.12 * (v + 67.0)))},
          {}};
}

GateRates ChowKRates(double v) { return TChowK::Rates(v, 0.0, 1.0); }

double ChowNaStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  const SodiumRates r = ChowNaRates(1000.0 * nv.V, np.NaThreshShift);
  nv.mm = r.m.inf;
  RelaxGate(nv.hh, r.h, dt);
  return nv.mm * nv.mm * nv.mm * nv.hh * (1 - np.IfBlockNa) * np.gNa * (nv.V - np.VNa);
}

void ChowNaInit(const NeuronProperties& np, NeuronVariables& nv) {
  const SodiumRates r = ChowNaRates(1000.0 * nv.V, np.NaThreshShift);
  nv.mm = r.m.inf;
  nv.hh = r.h.inf;
}

double ChowKStep(const NeuronProperties& np, NeuronVariables& nv, double dt) {
  RelaxGate(nv.nn, ChowKRates(1000.0 * nv.V), dt);
  return IntPower(4, nv.nn) * (1 - np.IfBlockK) * np.gK * (nv.V - np.VKn);
}

void ChowKInit(const NeuronProperties&, NeuronVariables& nv) { nv.nn = ChowKRates(1000.0 * nv.V).inf; }

}  // namespace membrix
