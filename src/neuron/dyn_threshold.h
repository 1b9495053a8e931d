#pragma once
// The dynamic threshold of the threshold neuron's "Dyn. thr.-2" rule: an
// absolute threshold of -55 mV that jumps to 0 mV while the total membrane
// conductance exceeds the depolarisation-block level.

#include "params/neuron_properties.h"

namespace membrix {

class TDynThr {
 public:
  // Starts from the resting threshold, 10 mV above rest plus ThrShift.
  void Init(const NeuronProperties& np);
  // Called after every spike: the threshold is raised by 20 mV.
  void Reset();
  // The threshold (V, absolute) at the soma voltage Vmv (mV), the rate of rise
  // dVdt (V/s) and the total conductance G against the block level DepBlock
  // (both mS/cm²).
  double Update(double Vmv, double dVdt, double G, double DepBlock);

  double VTdyn = 0.0;  // threshold last returned, mV
};

}  // namespace membrix
