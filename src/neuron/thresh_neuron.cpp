#include "neuron/thresh_neuron.h"

#include <string>

#include "neuron/numerics.h"
#include "neuron/threshold_rules.h"

namespace membrix {

void TThreshNrn::ResetAfterSpike() {
  NV.V = NP.Vreset;
  NV.VatE = NP.VresetDend;
  NV.VThrDyn = NP.Vthr_AP;
  NV.dVdt = NV.d2Vdt2 = 0.0;
  NV.IsynDend = NV.IsynSoma = 0.0;
  NV.nn = NP.n_AP;
  NV.yK = NP.yK_AP;
  NV.nA = NP.nA_AP;
  NV.lA = NP.lA_AP;
  NV.nH = NP.nH_AP;
  NV.xD = NP.xD_AP;
  // A jump toward 1 moves a gate the given fraction of its distance to 1; a
  // relative jump scales it by (1 + factor).
  NV.wADP += (1.0 - NV.wADP) * NP.dwADP;
  NV.wAHP += (1.0 - NV.wAHP) * NP.dwAHP;
  NV.lAHP += NP.dlAHP * NV.lAHP;
  NV.nM += (1.0 - NV.nM) * NP.dnM;
  NV.zM += NP.dzM * NV.zM;
  NV.yD += NP.dyD * NV.yD;
  NV.ii += NP.dii * NV.ii;
  NV.nKCa += (1.0 - NV.nKCa) * NP.dnKCa;
  if (TDynThr* dyn = DynThr()) dyn->Reset();
}

void TThreshNrn::CheckSpike() {
  if (NV.SpikePhase == 2) NV.SpikePhase = 0;  // the mark of a spike lasts one step
  if (NV.V <= NP.Vrest + NV.VThr) return;
  const double now = t();
  if (NP.HH_type != "Passive") {
    const bool recovered = now - NV.tLastSpike > NP.dT_AP && NV.d2Vdt2 < 1000.0;
    if (!recovered && now != NV.tLastSpike) return;
  }
  NV.SpikePhase = 2;
  if (now != NV.tLastSpike) NV.ISI = MinD(now - NV.tLastSpike, now);  // the first interval is t itself
  NV.tLastSpike = now;
  ResetAfterSpike();
}

void TThreshNrn::Step(double uDend, double sDend, double uSoma, double sSoma, double gNMDA, double Iext,
                      double Vclamp) {
  const double now = t();
  const double s = now - NV.tLastSpike;
  const bool frozen = s <= NP.dT_AP;  // voltage, gates and derivatives stay as they are
  if (!frozen) IntegrateStep(uDend, sDend, uSoma, sSoma, gNMDA, Iext, Vclamp);

  const std::string& rule = NP.Thr_type;
  if (rule == "Default-2") {
    NV.VThr = DefaultThreshold(NP, s, NV.dVdt);
  } else if (rule == "Brette thr.-7") {
    NV.VThr = NV.VThrDyn;
  } else if (rule == "Dyn. thr.-2") {
    TDynThr* dyn = DynThr();
    if (!frozen && dyn != nullptr) {
      const double G = NV.gSum + NV.gSumDend + NP.gL + sDend + sSoma;
      NV.VThr = dyn->Update(NV.V * 1000.0, NV.dVdt, G, NP.DepBlock) - NP.Vrest;
    }
  } else if (rule == "Dyn. thr.-8") {
    NV.VThr = ConductanceThreshold(NP, NV, sDend + sSoma, s);
  }

  // Na-channel cooperativity lowers the threshold as the time since the last
  // spike (or since the start of the run) grows; it overrides every rule.
  if (NP.KJ_NaCooperativity != 0.0 && s > 0.0) {
    const double t0 = NV.tLastSpike >= 0.0 ? NV.tLastSpike : 0.0;
    NV.VThr = MinD(NP.KJ_NaCooperativity / (now - t0) / 1e6, 0.1);
  }
  CheckSpike();
}

}  // namespace membrix
