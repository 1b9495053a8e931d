#pragma once
// A small passive neuron record for neuron and run tests: the common defaults
// of the "Passive" family in the geometry asked for.

#include <string>

#include "params/model_defaults.h"
#include "params/neuron_properties.h"

namespace membrix::testing {

inline NeuronProperties PassiveRecord(const std::string& geometry = "1-point") {
  NeuronProperties np;
  np.HH_type = "Passive";
  np.HH_order = geometry;
  np.If_I_V_or_g = 2;
  double vus = 0.0;
  SetDefaults(np, vus);
  return np;
}

}  // namespace membrix::testing
