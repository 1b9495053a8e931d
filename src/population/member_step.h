#pragma once
// The step of one ensemble member: the procedural neuron on the session's NP0
// and NV0, then the spike detector. Members of every population go through
// these few calls, so that a kernel over many members can replace them.

#include "analysis/procedural_neuron.h"
#include "run/session.h"

namespace membrix {

// Puts the member at the resting state of its parameters: V at Vrest, the
// leak balanced against the channels at rest (Vrest fixed), the procedural
// gates at their steady state, no spike yet. The threshold table is the one the
// session already holds.
void StartMemberAtRest(Session& s, ProceduralGlobals& g);

// One step dt to the session's time t; true when the member fired at it.
inline bool MemberStep(Session& s, ProceduralGlobals& g) {
  ProceduralStep(s, g);
  NeuronVariables& nv = s.NV0;
  DetectSpikeIn(s, s.NP0, nv.tLastSpike, nv.SpikePhase, nv.Rearm, s.NP0.Vrest + nv.VThr, nv.d2Vdt2, nv.dVdt, nv.V);
  return nv.SpikePhase == 2;
}

// Gives the member a threshold shift (mV) on top of the model's own: the Na
// activation of the conductance-based cell moves by it, and so does the
// threshold of the threshold model.
inline void SetThresholdShift(NeuronProperties& np, const NeuronProperties& base, double shiftMV) {
  np.NaThreshShift = base.NaThreshShift + shiftMV;
  np.ThrShift = base.ThrShift + shiftMV / 1000.0;
}

// The reversal potential against which the procedural neuron takes its
// (u, s) input, u - s·(V - reversal): a conductance g reversing at E enters as
// u = -(reversal - E)·g, s = g.
inline double ProceduralInputReversal(const NeuronProperties& np) { return np.VK; }

}  // namespace membrix
