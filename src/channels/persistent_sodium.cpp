#include "channels/persistent_sodium.h"

namespace membrix {

GateRates TVervaekeNaP::Rates(double v) { return {1.0 / (1.0 + SafeExp(-(v + 51.0) / 4.5)), 1.0}; }

double TVervaekeNaP::Conductance(double mNaP, double, double) const { return mNaP * (1 - NP().IfBlockNaP); }

double TVervaekeNaP::Step() {
  NeuronVariables& nv = NV();
  const GateRates r = Rates(v());
  UpdateGate(nv.mNaP, r, relax_);
  return Conductance(nv.mNaP, 0.0, 0.0) * NP().gNaP * (nv.V - kNaPReversal);
}

void TVervaekeNaP::Init() { NV().mNaP = Rates(v()).inf; }

}  // namespace membrix
