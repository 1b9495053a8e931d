#pragma once
// A conductance-based neuron of one model family, for driving a single channel
// by hand: set the voltage, call the slot's Init or Step, read the gates.

#include <cmath>
#include <string>

#include "neuron/cond_based_neuron.h"
#include "params/model_defaults.h"

namespace membrix::testing {

// The record of a family with its defaults, one compartment and no clamp.
inline NeuronProperties FamilyRecord(const std::string& family) {
  NeuronProperties np;
  np.HH_type = family;
  np.HH_order = "1-point";
  np.If_I_V_or_g = 2;
  double vus = 0.0;
  SetDefaults(np, vus);
  return np;
}

class SlotNeuron {
 public:
  explicit SlotNeuron(const NeuronProperties& np, double dt = 1e-4) : nrn_(np, clock_.View()) {
    nrn_.NP = np;
    clock_.dt = dt;
  }

  // The slot's channel, with the soma (and the dendrite) at vmV millivolts.
  TChannel& At(Slot slot, double vmV) {
    nrn_.NV.V = nrn_.NV.VatE = vmV / 1000.0;
    return nrn_.Channel(slot);
  }

  TCondBasedNrn& nrn() { return nrn_; }
  NeuronVariables& NV() { return nrn_.NV; }
  NeuronProperties& NP() { return nrn_.NP; }
  double dt() const { return clock_.dt; }

 private:
  StandaloneClock clock_;
  TCondBasedNrn nrn_;
};

// x after one exponential relaxation over dt (s) toward xinf with tau (ms); a
// tau of 0 is an instantaneous gate.
inline double RelaxedOver(double dt, double x, double xinf, double tau) {
  return tau > 0.0 ? xinf + (x - xinf) * std::exp(-1000.0 * dt / tau) : xinf;
}

}  // namespace membrix::testing
