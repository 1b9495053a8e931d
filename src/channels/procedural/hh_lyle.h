#pragma once
// The kinetics particular to the "Lyle" family in the procedural form: the
// four-state Na scheme with its own occupancies, the resurgent Na current, and
// the K, KA, KM, KD and H currents with the rate and open-fraction helpers the
// threshold model shares. v in mV, f = FRT (per mV), tau in ms, dt in s.

#include "channels/procedural/procedural_gates.h"
#include "channels/procedural/procedural_globals.h"
#include "neuron/neuron_variables.h"
#include "params/neuron_properties.h"

namespace membrix {

// ---- Rate helpers ---------------------------------------------------------------

GatePairRates LyleKRates(double v, double f);   // nn, yK
GatePairRates LyleKARates(double v, double f);  // nA, lA
// nM with the fixed rate scale 0.003 per ms: no tauKM2, no temperature factor.
GateRates LyleKMRates(double v, double f);
GatePairRates LyleKDRates(double v, double f);  // xD, yD
GateRates LyleHRates(double v, double f);       // nH

// ---- Open fractions --------------------------------------------------------------

double LyleKCond(const NeuronProperties& np, double nn, double yK);   // nn·yK, K block
double LyleKACond(const NeuronProperties& np, double nA, double lA);  // nA⁴·lA³, KA block
double LyleKMCond(const NeuronProperties& np, double nM);             // nM², KM block
double LyleKDCond(double xD, double yD);                              // (xD·yD)⁴, no block

// ---- Currents: each Step advances its gates at nv.V and returns the current
// density (mA/cm², outward positive); each Init puts its gates at their steady
// state at nv.V. -------------------------------------------------------------------

// The "Lyle-4" scheme with its activation shifted by NaThreshShift, advanced by
// explicit Euler steps taken state after state: the sums of a later state
// already see the new occupancies of the earlier ones, and state 4 takes what
// the others leave. mm = P[1], hh = 1; no slow inactivation.
double LyleNaStep(const NeuronProperties& np, NeuronVariables& nv, double dt, LyleOccupancies& P);
void LyleNaInit(const NeuronProperties& np, NeuronVariables& nv, LyleOccupancies& P);

// The LyleMS resurgent kinetics at the unshifted voltage, blocked with the Na current.
double LyleMSNaRStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void LyleMSNaRInit(const NeuronProperties& np, NeuronVariables& nv);

double LyleKStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void LyleKInit(const NeuronProperties& np, NeuronVariables& nv);
double LyleKAStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void LyleKAInit(const NeuronProperties& np, NeuronVariables& nv);
// At the somatic voltage in every geometry.
double LyleKMStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void LyleKMInit(const NeuronProperties& np, NeuronVariables& nv);
double LyleKDStep(const NeuronProperties& np, NeuronVariables& nv, double dt);
void LyleKDInit(const NeuronProperties& np, NeuronVariables& nv);

}  // namespace membrix
