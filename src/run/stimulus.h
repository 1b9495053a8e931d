#pragma once
// The protocol of a run: what the neuron receives at every step (the u - s input
// at dendrite and soma, an NMDA conductance, an injected current, a command
// voltage) and the electrode that may stand between the stimulus and the cell.

#include <cstdint>

#include "neuron/neuron.h"

namespace membrix {

struct Session;

// Noise added to the injected current from the parameter window: an
// Ornstein-Uhlenbeck process.
struct NoiseRecord {
  double tau = 0.0;        // s
  double amplitude = 0.0;  // current density, mA/cm²
  double state = 0.0;
};

// The pipette between the stimulus and the cell; transparent when G1 = 0.
struct PipetteRecord {
  double G1 = 0.0;      // pipette conductance
  double C1 = 0.0;      // pipette capacitance
  double Vp = 0.0;      // pipette voltage, V
  double VpPrev = 0.0;  // pipette voltage of the previous step, V
  double Ip = 0.0;      // pipette current density
};

struct StimulusGlobals {
  double t_IindShift = 0.0;  // start of the pulse window, s
  double t_Iind = 0.05;      // length of the pulse window, s
  double Iind = 100.0;       // injected current amplitude, pA
  double Freq_Iind = 0.0;    // oscillation or pulse-train frequency, Hz
  double Vh = 0.0;           // command voltage during the window, V
  double uu = 0.0;           // dendritic input current density, mA/cm²
  double ss = 0.0;           // dendritic input conductance density, mS/cm²
  double s_soma = 0.0;       // somatic input conductance density, mS/cm²
  double gNMDA = 0.0;        // NMDA conductance density during the window, mS/cm²
  double Vus = -0.065;       // reversal potential of the u - s input, V
  double du_Reset = 0.0;     // extra current density of the firing-clamp reset generator
  double tau_Noise = 0.0;    // time constant of the "noise-current" option, s
  NoiseRecord NoiseRec;
  PipetteRecord Pipette;
};

// The inputs of one step, in the order the neuron's Step takes them.
struct StepInputs {
  double uDend = 0.0;
  double sDend = 0.0;
  double uSoma = 0.0;
  double sSoma = 0.0;
  double gNMDA = 0.0;
  double Iext = 0.0;
  double Vclamp = 0.0;
};

// The inputs at the present time t for the neuron's parameters np.
StepInputs Stimulus(Session& s, const NeuronProperties& np);

// The pipette acts on the inputs before the neuron steps; V is the neuron's
// voltage before its step.
void Electrode(Session& s, const TNeuron& neuron, StepInputs& in);

}  // namespace membrix
