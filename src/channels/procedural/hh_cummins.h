#pragma once
// The kinetics of the "Cummins" family in the procedural form, each with the
// formulas of its channel class: Na (slow inactivation always on), K, KA, the
// D-type K current that every family except "Lyle" uses, the two Ca currents
// (without block factor) and the resurgent Na current that NaR_type "Cummins"
// selects in every family. v in mV, tau in ms, dt in s.

#include "neuron/neuron_variables.h"
#include "params/neuron_properties.h"

namespace membrix {

// Each Step advances its gates at nv.V and returns the current density
// (mA/cm², outward positive); each Init puts its gates at their steady state at nv.V.

double CumminsNaStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void CumminsNaInit(const NeuronProperties& np, NeuronVariables& nv);
double CumminsKStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void CumminsKInit(const NeuronProperties& np, NeuronVariables& nv);
double CumminsKAStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void CumminsKAInit(const NeuronProperties& np, NeuronVariables& nv);
// xD³·yD against VK, no block factor.
double CumminsKDStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void CumminsKDInit(const NeuronProperties& np, NeuronVariables& nv);
double CumminsCaHStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void CumminsCaHInit(const NeuronProperties& np, NeuronVariables& nv);
double CumminsCaTStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void CumminsCaTInit(const NeuronProperties& np, NeuronVariables& nv);
double CumminsNaRStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void CumminsNaRInit(const NeuronProperties& np, NeuronVariables& nv);

}  // namespace membrix
