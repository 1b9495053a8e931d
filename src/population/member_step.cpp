#include "population/member_step.h"

#include "run/clamp_run.h"

namespace membrix {

void StartMemberAtRest(Session& s, ProceduralGlobals& g) {
  NeuronProperties& np = s.NP0;
  NeuronVariables& nv = s.NV0;
  np.IfSet_VL_or_Vrest = 2;
  nv.V = nv.VatE = nv.Vprev = np.Vrest;
  g.tau1 = s.proc.tau1;  // the burst current's level, as the parameter window set it
  ProceduralRest(s, g);
  StartRunAtRest(s);
}

}  // namespace membrix
