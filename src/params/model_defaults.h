#pragma once
// The consistent parameter set each model family and geometry starts from, and
// the built-in sets the program starts with.

#include "params/neuron_properties.h"

namespace membrix {

struct Session;

// Writes the common defaults, the values of the record's HH_type and HH_order,
// and the closing items (reversal fallbacks, threshold-model settings,
// resurgent-Na coefficients) into np. Vus is the session's input reversal,
// which the defaults reset as well. Fields a family does not name keep the
// value the record held; a family without values of its own ("Passive") keeps
// the common defaults, so all its maximal conductances are 0.
void SetDefaults(NeuronProperties& np, double& Vus);

// The same for the session's NP0 and Vus.
void SetDefaults(Session& s);

// The program-start globals (run cadences and length, recording number and
// scales, stimulus, firing-clamp and fitting settings) and the record values
// the program starts from ("Migliore", "1-point", ...), without applying the
// defaults. Opening a parameter file starts from these as well.
void ApplyProgramStartValues(Session& s);

// The session as the program starts: the program-start values, their defaults,
// then the built-in start-up set.
void ApplyProgramStart(Session& s);

// The built-in start-up set: the "Lyle" family with its defaults, a 0.6 s run
// driven by the dendritic input (uu, ss) with no current pulse, nothing
// blocked, current clamp, and the firing-clamp settings that go with it.
void ApplyStartupSet(Session& s);

}  // namespace membrix
