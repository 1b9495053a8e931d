#pragma once
// The procedural point neuron: a neuron without an object, advanced directly on
// a session's parameter record NP0 and state record NV0. The analyses that run
// many long simulations use it instead of a neuron object. Its currents come
// from the procedural channel library; threshold-model and integrate-and-fire
// parameter sets have branches of their own. Spikes are detected by the caller.

#include <cstdint>

#include "channels/procedural/procedural_globals.h"
#include "params/neuron_properties.h"

namespace membrix {

// The procedural neuron takes its input as uu - ss·(V - VK). An input u, s
// given against the reversal Vus of the full neuron and the maps,
// u - s·(V - Vus), is the same current with uu = u + s·(Vus - VK).
inline double ProceduralU(double u, double sIn, double Vus, const NeuronProperties& np) {
  return u + sIn * (Vus - np.VK);
}

struct Session;

// Advances NV0 by one step dt to the session's time t (the caller has already
// advanced t). In this order:
// - threshold model (ThrModel = 1): the threshold model's voltage step over the
//   time since the last spike, then VThr from its threshold rule with ThrShift;
// - integrate-and-fire (LIF_model = 1): a spike when V exceeds Vrest + VThr,
//   LIFStep, then VThr from the threshold rule without shift;
// - otherwise the conductance-based cell: the channel currents (none for
//   "Passive"), the leak (reversing at VL, at Vrest for "Passive"), the injected
//   current with du_Reset, and the input uu - ss·(V - VK) less the NMDA term
//   gNMDA·(V - Vrest)²; one Euler step of "1-point" or of the passive dendrite of
//   "2-points" (other geometries are not advanced); the command voltage in the
//   voltage-clamp modes 1, 3, 4 and 5; then dVdt, d2Vdt2 and PSC (pA).
// The record's family and geometry are those resolved in g when the gates were
// set up (ProceduralRest, ProcInitGates) or at the first step. A current whose
// maximal conductance is 0 carries 0 and its gates stay where they are, unless
// g.everyGate asks for every gate to advance.
void ProceduralStep(Session& s, ProceduralGlobals& g);

// The thirteen channel currents of one step at NV0.V, stored in NV0 in the
// order the Ca pool needs (the Ca currents before the pool, the Ca-dependent K
// after it); returns their sum.
double ProcStepCurrents(Session& s, ProceduralGlobals& g);

// The integrate-and-fire step on the voltage V and its derivative dVdt (V/s).
// spikeFlag 2 resets V to Vreset. NV0.Isyn takes the input uu - ss·(V - VK).
// Within tau_abs after the last spike V is frozen (not when that spike lies
// within 1 ms of t = 0); otherwise one Euler step of the leaky membrane with the
// injected current and the input.
void LIFStep(Session& s, std::int32_t spikeFlag, double& V, double& dVdt);

// Brings NP0 and NV0 to a consistent resting state before a deterministic run:
// FRT from the temperature, the Na current blocked for the threshold model, the
// gates at their steady state at NV0.V (callers put V at Vrest first), then
// from the resting currents either gL (tau_m fixed) or tau_m, and either VL
// (Vrest fixed: the leak balances the channels) or, with VL fixed, the free
// resting potential Vrest, found by letting the unclamped membrane settle;
// V ends at it.
void ProceduralRest(Session& s, ProceduralGlobals& g);

}  // namespace membrix
