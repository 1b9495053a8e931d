#pragma once
// Neuron records for neuron and run tests: a family's common defaults in the
// geometry asked for.

#include <string>

#include "params/model_defaults.h"
#include "params/neuron_properties.h"

namespace membrix::testing {

// A family's defaults in a geometry under current clamp, with other Na and
// resurgent Na schemes where they are named.
inline NeuronProperties FamilyRecord(const std::string& family, const std::string& geometry = "1-point",
                                     const char* naType = nullptr, const char* naRType = nullptr) {
  NeuronProperties np;
  np.HH_type = family;
  np.HH_order = geometry;
  np.If_I_V_or_g = 2;
  double vus = 0.0;
  SetDefaults(np, vus);
  if (naType != nullptr) {
    np.Na_type = naType;
    np.NaR_type = naRType;
  }
  return np;
}

inline NeuronProperties PassiveRecord(const std::string& geometry = "1-point") {
  return FamilyRecord("Passive", geometry);
}

}  // namespace membrix::testing
