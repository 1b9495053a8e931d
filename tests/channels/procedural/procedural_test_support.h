#pragma once
// A session holding one model family's defaults for the procedural channel
// library, and the library's currents of one step in the order the procedural
// neuron calls them.

#include <string>

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
inline void StepAllCurrents(Session& s, ProceduralGlobals& g) {
  NeuronVariables& nv = s.NV0;
  nv.INaR = ProcINaR(s);
  nv.INa = ProcINa(s, g);
  nv.IK = ProcIK(s);
  nv.IKM = ProcIKM(s);
  nv.IKA = ProcIKA(s);
  nv.IKD = ProcIKD(s);
  nv.ICaH = ProcICaH(s);
  nv.ICaT = ProcICaT(s);
  ProcUpdateCa(s, nv.ICaT + nv.ICaH);
  nv.IKCa = ProcIKCa(s);
  nv.IH = ProcIH(s);
  nv.IAHP = ProcIAHP(s);
  nv.IBst = ProcIBst(s, g);
  nv.INaP = ProcINaP(s);
}

}  // namespace membrix::testing
