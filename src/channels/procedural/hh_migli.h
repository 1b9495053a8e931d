#pragma once
// The kinetics particular to the "Migliore" family in the procedural form: the
// Na current (its slow inactivation advanced but kept out of the current), the
// delayed rectifier, and the A-type current that every family except "Cummins"
// and "Lyle" uses. v in mV, tau in ms, dt in s.

#include "channels/procedural/procedural_gates.h"
#include "channels/sodium.h"
#include "neuron/neuron_variables.h"
#include "params/neuron_properties.h"

namespace membrix {

// The Migliore Na kinetics with NaThreshShift on the activation only and the
// slow inactivation always on.
SodiumRates MiglioreNaRates(double v, double NaThreshShift);
// The Migliore K kinetics without KThreshShift.
GateRates MiglioreKRates(double v);
GatePairRates MiglioreKARates(double v);  // nA, lA

// Each Step advances its gates at nv.V and returns the current density; each
// Init puts its gates at their steady state at nv.V.

// mm, hh and ii relax; the current is mm³·hh: ii enters only the conductance sum.
double MiglioreNaStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void MiglioreNaInit(const NeuronProperties& np, NeuronVariables& nv);
double MiglioreKStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void MiglioreKInit(const NeuronProperties& np, NeuronVariables& nv);
double MiglioreKAStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void MiglioreKAInit(const NeuronProperties& np, NeuronVariables& nv);

}  // namespace membrix
