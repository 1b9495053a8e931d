#pragma once
// The threshold model of the procedural point neuron: its spike threshold and
// its voltage step. Between spikes the membrane follows the leak, the input and
// the potassium-type currents of the model family; right after a spike the
// voltage is held and the gates sit at their after-spike values.

namespace membrix {

struct Session;

// The threshold above rest (V) at the rate of rise dVdt (V/s): 0.1 V while the
// voltage does not rise; the Gaussian-ensemble window's fixed threshold when it
// is ticked; FixThr when positive; otherwise the table of "Chow" and "Lyle" or
// the power law, each plus shift. tSince, the time since the last spike, does
// not enter the rule.
double ThresholdFunction(const Session& s, double tSince, double shift, double dVdt);

// Advances the session's StartState by one step dt with the parameters of NP0;
// tSince is the time since the last spike (s). During the spike duration dT_AP
// the voltage is held and the gates reset; afterwards the gates of the family
// relax and the voltage is integrated ("1-point" and "2-points"). dVdt and
// d2Vdt2 are the first and second differences of the voltage.
void ThresholdModelStep(Session& s, double& dVdt, double& d2Vdt2, double tSince);

}  // namespace membrix
