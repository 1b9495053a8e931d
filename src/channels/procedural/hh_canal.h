#pragma once
// The procedural form of the channel library: free procedures that advance the
// gates of a session's state record NV0 under its parameter record NP0, one
// current at a time, for the model families "Rariza", "Destexhe", "Migliore",
// "Cummins", "Chow" and "Lyle" ("Passive" has no channels; the caller skips
// them). This module holds the Rariza and Destexhe kinetics, the currents all
// families share, the choice of kinetics by family, the start of the gates at
// rest and the conductance sum; the kinetics particular to one family are in
// hh_migli.h, hh_cummins.h, hh_chow.h and hh_lyle.h.
//
// Conventions: v = 1000·V in mV, rates per ms, time constants in ms, the step
// dt of the session's run in s. Every current is a density in mA/cm², positive
// outward, computed at NV0.V after its gates have been advanced over one step;
// every gate is advanced from its own value at the start of the call.

#include "channels/channel.h"
#include "channels/procedural/procedural_globals.h"
#include "params/neuron_properties.h"

namespace membrix {

struct Session;

// ---- Kinetic helpers (also used by the threshold model) ---------------------

// The delayed rectifier of "Rariza" with its own fixed numbers (not the
// coefficients a1K ... b3K), voltage measured from Tr_Na.
GateRates RarizaKRates(double v, double Tr_Na);
// The Destexhe delayed rectifier, voltage measured from Tr_Na.
GateRates DestexheKRates(double v, double Tr_Na);
GateRates DestexheKMRates(double v);  // nM
// The AHP gate wAHP: no temperature factor, no second gate.
GateRates AHPRates(double v);

// Reversal potential of Ca (V) at the submembrane concentration Ca (mM), never
// below the resting concentration Ca_rest.
double ECaNernst(const NeuronProperties& np, double Ca);

// ---- Per-current procedures: advance the gates of one current, return it -------

// The record's model choices, read from its texts.
ProcModel ResolveProcModel(const NeuronProperties& np);

// The thirteen currents of one step, stored in NV0 in the order the Ca pool
// needs (the Ca currents before the pool, the Ca-dependent K after it), with
// the model choices resolved in g (resolved here if they are not yet); returns
// their sum. Unless everyGate, a current whose maximal conductance is 0 is
// stored as 0 and its gates are not advanced.
double ProcAdvanceCurrents(Session& s, ProceduralGlobals& g, bool everyGate);

double ProcINaR(Session& s);  // "Cummins" NaR_type, else LyleMS for "Lyle", else the parametric NaR
double ProcINa(Session& s, ProceduralGlobals& g);  // 0 for a family without procedural Na
double ProcIK(Session& s);                         // 0 for a family without procedural K
double ProcIKA(Session& s);
double ProcIKM(Session& s);
double ProcIKD(Session& s);
double ProcICaH(Session& s);
double ProcICaT(Session& s);
// Ca-dependent K: nKCa relaxes toward its Ca-gated level, then from there
// toward a voltage-gated level, within one call.
double ProcIKCa(Session& s);
double ProcIH(Session& s);
double ProcIAHP(Session& s);  // wAHP by a forward Euler step
// Bst: at a step where NV0.SpikePhase is 2 the gate is pulled toward tau1
// (100 when tau1 was 0; the default is written back), else toward 0.
double ProcIBst(Session& s, ProceduralGlobals& g);
double ProcINaP(Session& s);  // instantaneous gate

// One step of the submembrane Ca pool driven by the Ca current density ICa
// (mA/cm²; the caller passes ICaT + ICaH): influx over the shell depth, removal
// toward Ca_rest with tauCa.
void ProcUpdateCa(Session& s, double ICa);

// Every gate the family's currents use, and Ca, at their steady state at NV0.V.
// Gates the family does not use keep their values. Resolves g.model from the
// record: a caller that changes HH_type, NaR_type or HH_order starts the gates
// again here (or through ProceduralRest) before the next step.
void ProcInitGates(Session& s, ProceduralGlobals& g);

// Writes NV0.gSum, the sum of g·(open fraction) over the procedural currents;
// 0 for "Passive" and for the integrate-and-fire model.
void ProcConductanceSum(Session& s);

}  // namespace membrix
