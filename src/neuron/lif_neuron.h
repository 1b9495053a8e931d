#pragma once
// The adaptive exponential integrate-and-fire neuron.

#include "neuron/neuron.h"

namespace membrix {

class TLIFNrn : public TNeuron {
 public:
  using TNeuron::TNeuron;
};

}  // namespace membrix
