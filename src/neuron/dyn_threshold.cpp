#include "neuron/dyn_threshold.h"

namespace membrix {

void TDynThr::Init(const NeuronProperties& np) { VTdyn = (np.Vrest + 0.01 + np.ThrShift) * 1000.0; }

void TDynThr::Reset() { VTdyn += 20.0; }

double TDynThr::Update(double Vmv, double dVdt, double G, double DepBlock) {
  (void)Vmv, (void)dVdt;  // the rule does not follow the voltage
  VTdyn = G > DepBlock ? 0.0 : -55.0;
  return VTdyn / 1000.0;
}

}  // namespace membrix
