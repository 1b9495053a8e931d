#include "run/stimulus.h"

#include "run/session.h"

namespace membrix {

// The protocols come with their own change; until then a run receives no input
// and a voltage clamp holds the resting potential.
StepInputs Stimulus(Session& s, const NeuronProperties& np) {
  (void)s;
  StepInputs in;
  in.Vclamp = np.Vrest;
  return in;
}

void Electrode(Session& s, const TNeuron& neuron, StepInputs& in) {
  PipetteRecord& p = s.stim.Pipette;
  if (p.G1 == 0.0) {
    p.Vp = neuron.NV.V;
    p.Ip = in.Iext;
  }
}

}  // namespace membrix
