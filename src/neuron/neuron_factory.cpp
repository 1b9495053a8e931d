#include "neuron/cond_based_neuron.h"
#include "neuron/lif_neuron.h"
#include "neuron/thresh_neuron.h"

namespace membrix {

std::unique_ptr<TNeuron> CreateNeuron(const NeuronProperties& np, RunView clock) {
  const NeuronProperties copy = np;
  std::unique_ptr<TNeuron> neuron;
  if (copy.LIF_model == 1) {
    neuron = std::make_unique<TLIFNrn>(clock);
  } else if (copy.ThrModel == 1) {
    neuron = std::make_unique<TThreshNrn>(copy, clock);
  } else {
    neuron = std::make_unique<TCondBasedNrn>(copy, clock);
  }
  neuron->NP = copy;
  return neuron;
}

}  // namespace membrix
