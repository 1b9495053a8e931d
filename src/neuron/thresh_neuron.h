#pragma once
// The threshold neuron: the conductance-based neuron without its spike-generating
// Na currents; its subthreshold membrane is integrated as the conductance-based
// one, and a threshold rule declares the spikes.

#include "neuron/cond_based_neuron.h"

namespace membrix {

class TThreshNrn : public TCondBasedNrn {
 public:
  using TCondBasedNrn::TCondBasedNrn;
};

}  // namespace membrix
