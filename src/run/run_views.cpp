#include "run/run_views.h"

#include <cstdio>

#include "run/session.h"

namespace membrix {

void ClearRunViews(RunViewSink& views) { views.Clear(); }

void PrepareRunViews(const Session& s, RunViewSink& views) {
  const NeuronProperties& np = s.NP0;
  RunViewSetup setup;
  setup.dendriteActive =
      np.HH_order == "2-points" || np.HH_order == "2-p-MainenSejn" || np.HH_order == "2-p-ActiveDend";
  setup.clearFirst = !views.KeepsPoints();
  setup.tEndMs = s.run.t_end * 1000.0;
  const int mode = np.If_I_V_or_g;
  setup.modelAxisTitle = (mode == 1 || mode == 3 || mode == 4 || mode == 5) ? "I, pA" : "V, Volts";
  setup.ionViews = s.Ions.IonDynamics == 1;
  if (setup.clearFirst) ClearRunViews(views);
  views.Prepare(setup);
  if (!views.Drawing()) return;
  // The recording at every step of the run; without one, the line of zeros
  // from its first step to its last.
  const int column = s.rec.Smpl;
  const bool recorded = s.ExpData.Rows(column) > 0;
  for (std::int64_t i = s.run.nt; i <= s.run.nt_end; ++i) {
    if (!recorded && i != s.run.nt && i != s.run.nt_end) continue;
    views.Point("Experiment", static_cast<double>(i) * s.run.dt * 1000.0, s.ExpData.At(i, column));
  }
}

void ShowRunStatus(const Session& s, RunViewSink& views) { views.Status(s.run.t * 1000.0, s.rec.SmplFile[s.rec.Smpl]); }

std::string RunStatusTimeText(double tMs) {
  char time[64];
  std::snprintf(time, sizeof time, "t=%7.2f ms", tMs);
  return time;
}

std::string RunStatusFileText(const std::string& recordingEntry) { return "\"" + recordingEntry + "\""; }

void DrawRunStep(const Session& s, RunViewSink& views) {
  if (!views.Drawing()) return;
  ShowRunStatus(s, views);
  const NeuronVariables& nv = s.NV0;
  const NeuronProperties& np = s.NP0;
  const double x = s.run.t * 1000.0;
  views.Point(" V ", x, nv.V * 1000.0);
  if (np.ThrModel == 1) views.Point("Thr", x, (np.Vrest + nv.VThr) * 1000.0);
  views.Point("PSC", x, nv.PSC / 1000.0);
  views.Point("-Im", x, -nv.Iion);
  views.Point("-INa", x, -nv.INa);
  views.Point("-IK-IKA-IKD", x, -nv.IK - nv.IKA - nv.IKD);
  views.Point("du_Reset", x, s.stim.du_Reset);
  views.Point("Vd", x, nv.VatE * 1000.0);
  views.Point("mm", x, nv.mm);
  views.Point("hh", x, nv.hh);
  views.Point("nn", x, nv.nn);
  views.Point("Model", x, s.run.Vr);
  views.Point("nM", x, nv.nM);
  views.Point("mmR", x, nv.mmR);
  views.Point("hhR", x, nv.hhR);
  views.Point("wAHP", x, nv.wAHP);
  views.Point("wADP", x, nv.wADP);
  views.Point("g", x, np.gL + nv.gSum);
  views.Point("ii", x, nv.ii);
  if (np.Na_type == "Lyle") {
    views.Point("XNa[1]", x, nv.pNa[1]);
    views.Point("XNa[2]", x, nv.pNa[2]);
    views.Point("XNa[3]", x, nv.pNa[3]);
    views.Point("XNa[4]", x, nv.pNa[4]);
    views.Point("XNa[13]", x, nv.pNa[13]);
  }
  if (views.PhasePlaneShown()) {
    views.Point("dVdt(V)", nv.V * 1000.0, nv.dVdt);
    views.Point("Im(V)", nv.V * 1000.0, nv.Iion);
  }
  // The imported channels beside the built-in currents and gates.
  const double* gate = nv.ImportedGates.data();
  for (std::size_t k = 0; k < np.Imported.size(); ++k) {
    const int channel = static_cast<int>(k);
    views.ImportedPoint(channel, -1, x, -nv.IImported[k]);
    const int gates = static_cast<int>(np.Imported[k].kinetics.gates.size());
    for (int g = 0; g < gates; ++g) views.ImportedPoint(channel, g, x, *gate++);
  }
  const TIons& ions = s.Ions;
  if (ions.IonDynamics == 1) {
    views.Point("I_Na_K_pump", x, ions.I_Na_K_pump);
    views.Point("Ki", x, ions.Ki);
    views.Point("Nai", x, ions.Nai);
    views.Point("VNa", x, ions.ENa * 1000.0);
    views.Point("VK", x, ions.EK * 1000.0);
    if (ions.IfVolume == 1) views.Point("Vol", x, ions.Vol);
  }
}

void DrawEveryStepSeries(const Session& s, RunViewSink& views) {
  if (!views.Drawing()) return;
  const NeuronVariables& nv = s.NV0;
  const double x = s.run.t * 1000.0;
  views.Point(" V ", x, nv.V * 1000.0);
  views.Point("Vd", x, nv.VatE * 1000.0);
  views.Point("Model", x, s.run.Vr);
  if (views.PhasePlaneShown()) {
    views.Point("dVdt(V)", nv.V * 1000.0, nv.dVdt);
    views.Point("Im(V)", nv.V * 1000.0, nv.Iion);
  }
}

void MarkSpike(const Session& s, RunViewSink& views) {
  views.Spike(s.NV0.tLastSpike);
  views.Point("Spike", s.run.t * 1000.0, s.NV0.V * 1000.0);
}

}  // namespace membrix
