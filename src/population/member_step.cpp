#include "population/member_step.h"

#include "run/stimulus.h"

namespace membrix {

void StartMemberAtRest(Session& s, ProceduralGlobals& g) {
  NeuronProperties& np = s.NP0;
  NeuronVariables& nv = s.NV0;
  np.IfSet_VL_or_Vrest = 2;
  nv.V = nv.VatE = nv.Vprev = np.Vrest;
  g.tau1 = s.proc.tau1;  // the burst current's level, as the parameter window set it
  ProceduralRest(s, g);
  nv.V = nv.VatE = nv.Vprev = np.Vrest;
  nv.IsynDendPrev = 0.0;
  nv.VThr = 100.0;
  nv.tLastSpike = -888.0;
  nv.dVdt = nv.d2Vdt2 = 0.0;
  nv.SpikePhase = 0;
  s.run.t = 0.0;
  s.run.nt = 0;
  s.stim.du_Reset = 0.0;
  ResetSpikeStats(s.spikes);
  s.spikes.VRef = nv.V;
  s.run.StartState = {nv.V, nv.VatE, nv.nn, nv.yK, nv.nA, nv.lA, nv.xD, nv.yD, nv.nH, nv.wAHP, nv.nM};
  ResetStimulusState(s.stim, nv.V);
}

}  // namespace membrix
