#pragma once
// The dynamic threshold of the threshold neuron's "Dyn. thr.-2" rule.

#include "params/neuron_properties.h"

namespace membrix {

class TDynThr {
 public:
  // Prepares the threshold for a run from the neuron's parameters.
  void Init(const NeuronProperties& np) { (void)np; VTdyn = 0.0; }
  // Called after every spike.
  void Reset() {}

  double VTdyn = 0.0;  // threshold last returned, mV
};

}  // namespace membrix
