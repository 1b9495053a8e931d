#pragma once
// The threshold neuron: the conductance-based neuron without its spike-generating
// Na currents; its subthreshold membrane is integrated as the conductance-based
// one, and a threshold rule declares the spikes. At a spike the voltage and the
// gates jump to their after-spike values, and the neuron stays frozen for the
// spike duration dT_AP.

#include "neuron/cond_based_neuron.h"

namespace membrix {

class TThreshNrn : public TCondBasedNrn {
 public:
  using TCondBasedNrn::TCondBasedNrn;

  // After-spike values of the voltages and gates, the spike's jumps of the
  // adaptation gates, and the dynamic threshold's reset.
  void ResetAfterSpike() override;
  // Declares a spike when V is above Vrest + VThr (and, unless the family is
  // "Passive", the spike duration has passed and the voltage is not curving up
  // fast); then resets.
  void CheckSpike() override;
  // Integrates the membrane unless the neuron is frozen after a spike, updates
  // the threshold by Thr_type, and checks for a spike.
  void Step(double uDend, double sDend, double uSoma, double sSoma, double gNMDA, double Iext,
            double Vclamp) override;
};

}  // namespace membrix
