#pragma once
// The kinetics of the "Chow" family in the procedural form. Neither current has
// a temperature factor; the Na current has no slow inactivation and a steeper
// activation than the Chow Na channel, and the K current no KThreshShift.
// v in mV, tau in ms, dt in s.

#include "channels/procedural/procedural_gates.h"
#include "channels/sodium.h"
#include "neuron/neuron_variables.h"
#include "params/neuron_properties.h"

namespace membrix {

// Instantaneous activation (tau 0) at v - NaThreshShift, inactivation at v; no slow gate.
SodiumRates ChowNaRates(double v, double NaThreshShift);
GateRates ChowKRates(double v);

// Each Step advances its gates at nv.V and returns the current density; each
// Init puts its gates at their steady state at nv.V.

// mm follows its steady state at once, hh relaxes; current mm³·hh.
double ChowNaStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void ChowNaInit(const NeuronProperties& np, NeuronVariables& nv);
// nn⁴ against VKn.
double ChowKStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void ChowKInit(const NeuronProperties& np, NeuronVariables& nv);

}  // namespace membrix
