#pragma once
// The adaptive exponential integrate-and-fire neuron: one compartment with a
// leak, an optional exponential spike-initiation current and adaptation current
// w, and an optional spike-dependent variant in which the leak conductance, the
// leak reversal and the exponential's threshold voltage relax back after each
// spike. Its threshold comes from the default threshold rule; it marks its own
// spikes, one step after the voltage crossed the threshold.

#include "neuron/neuron.h"

namespace membrix {

class TLIFNrn : public TNeuron {
 public:
  using TNeuron::TNeuron;

  // At rest, VL equal to Vrest; gL or tau_m derived from the other.
  void InitState() override;
  // Marks a spike while V is above Vrest + VThr; the reset is Step's.
  void CheckSpike() override;
  // One explicit Euler step. gNMDA and Vclamp are not used: the clamp modes act
  // on this neuron only through the injected current.
  void Step(double uDend, double sDend, double uSoma, double sSoma, double gNMDA, double Iext,
            double Vclamp) override;
};

// The parameter window's presets of the adaptive exponential model.
// "defaults [Brette 2005]": the exponential and the adaptation of a 4 nS,
// 0.0805 nA cell, scaled by the present membrane area Square.
void SetBretteDefaults(NeuronProperties& np);
// "defaults [Badel 2008]": a 260 pF cell (Square from Cm) with the
// spike-dependent leak and threshold and no adaptation current.
void SetBadelDefaults(NeuronProperties& np);

}  // namespace membrix
