#pragma once
// Ion concentrations with pumps and co-transporters during a clamp run. While
// ion dynamics is off it leaves the neuron untouched.

#include <string>

#include "params/neuron_properties.h"

namespace membrix {

struct Session;

class TIons {
 public:
  explicit TIons(NeuronProperties& np) : np_(&np) {}
  // Advances the concentrations by one step and writes the pump currents and
  // reversal potentials into the neuron's parameters.
  void Step() {}
  // Appends the ion file's line of this step (nothing while ion dynamics is off).
  void WriteLine(const Session& s, std::string& line) const { (void)s, (void)line; }

 private:
  [[maybe_unused]] NeuronProperties* np_;
};

}  // namespace membrix
