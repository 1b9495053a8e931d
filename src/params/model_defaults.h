#pragma once
// The consistent parameter set each model family and geometry starts from, and
// the built-in sets the program starts with.

#include "params/neuron_properties.h"

namespace membrix {

struct Session;

// Writes the common defaults, the values of the record's HH_type and HH_order,
// and the closing items (reversal fallbacks, threshold-model settings,
// resurgent-Na coefficients) into np. Vus is the session's input reversal,
// which the defaults reset as well.
void SetDefaults(NeuronProperties& np, double& Vus);

// The session as the program starts: the program-start globals, the start-up
// record values, their defaults, then the built-in start-up set ("Lyle").
void ApplyProgramStart(Session& s);

// The built-in start-up set, applied at program start right after the defaults.
void ApplyStartupSet(Session& s);

}  // namespace membrix
