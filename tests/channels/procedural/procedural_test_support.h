#pragma once
// A session holding one model family's defaults for the procedural channel
// library, and the library's currents of one step in the order the procedural
// neuron calls them.

#include <string>

#include "analysis/procedural_neuron.h"
#include "channels/procedural/hh_canal.h"
#include "params/model_defaults.h"
#include "run/session.h"

namespace membrix::testing {

// The family's defaults in one compartment, current clamp, FRT derived from the
// temperature as the procedural neuron derives it at rest.
inline void UseFamily(Session& s, const std::string& family, const std::string& geometry = "1-point") {
  s.NP0.HH_type = family;
  s.NP0.HH_order = geometry;
  s.NP0.If_I_V_or_g = 2;
  SetDefaults(s);
  s.NP0.FRT = s.NP0.F_Faraday / s.NP0.R_gas / s.NP0.Temp / 1000.0;
}

// Every procedural current once, with the Ca pool between the Ca currents and
// the Ca-dependent K current.
inline void StepAllCurrents(Session& s, ProceduralGlobals& g) { ProcStepCurrents(s, g); }

}  // namespace membrix::testing
