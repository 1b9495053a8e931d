#include "analysis/adaptation_sweep.h"

#include "analysis/procedural_neuron.h"
#include "analysis/spike_detector.h"
#include "analysis/sweep_file.h"
#include "common/number_format.h"
#include "run/clamp_run.h"
#include "run/session.h"

namespace membrix {

namespace {

// An interval that did not occur counts as this long, so its rate prints as 0.
constexpr double kMissingInterval = 1e6;  // s

}  // namespace

AdaptationPoint AdaptationRun(Session& s, double Iind, const Host* host) {
  s.stim.Iind = Iind;
  s.stim.t_Iind = 1e8;
  s.NP0.If_I_V_or_g = 2;
  ResetRunState(s);
  // The procedural neuron starts at its resting state.
  ProceduralGlobals& g = s.proc;
  NeuronVariables& nv = s.NV0;
  ProceduralRest(s, g);
  nv.VatE = nv.V;
  nv.dVdt = nv.d2Vdt2 = 0.0;
  s.run.StartState = {nv.V, nv.VatE, nv.nn, nv.yK, nv.nA, nv.lA, nv.xD, nv.yD, nv.nH, nv.wAHP, nv.nM};
  ResetStimulusState(s.stim, nv.V);

  RunGlobals& run = s.run;
  nv.SpikePhase = 0;
  nv.Rearm = {};
  s.spikes.nSpikes = 0;
  for (std::size_t k = 1; k <= 10; ++k) s.spikes.ISI[k] = 0.0;
  CheckRunLength(run);
  run.nt = 0;
  while (run.nt < run.nt_end) {
    ++run.nt;
    run.t = run.nt * run.dt;
    if (host != nullptr && run.nt % 1000 == 0 && host->StopRequested()) throw RunStopped{};
    ProceduralStep(s, g);
    TrackAdaptation(s);
    if (!(nv.V >= -0.15 && nv.V <= 0.15)) break;  // out of range, or no number
  }

  AdaptationPoint p;
  p.Iind = Iind;
  for (std::size_t k = 1; k <= 5; ++k) {
    double isi = s.spikes.ISI[k + 1];
    if (!(isi > 0.0)) isi = kMissingInterval;
    p.rate[k - 1] = 1.0 / isi;
  }
  return p;
}

std::string AdaptationLine(const AdaptationPoint& p) {
  std::string line;
  AppendFixed(line, p.Iind, 9, 3);
  for (double r : p.rate) {
    line += ' ';
    AppendFixed(line, r, 9, 5);
  }
  return line;
}

RunsOutcome SweepAdaptation(Session& s, const AdaptationInputs& in, Host& host, AdaptationSink& sink,
                            const std::string& file) {
  const std::int64_t count = CurrentGridCount(in.Iind_max, in.StepIind, "Step for Iind");
  SweepFile out(file, SweepFile::Lines::Flushed);
  RunsOutcome outcome = RunShared<AdaptationPoint>(
      s, host, count,
      [&](Session& copy, Host& worker, std::int64_t k) {
        return AdaptationRun(copy, static_cast<double>(k) * in.StepIind, &worker);
      },
      [&](std::int64_t k, AdaptationPoint&& point) {
        out.WriteLine(AdaptationLine(point));
        sink.Point(point);
        sink.Progress(k + 1, count);
      });
  out.Close();
  return outcome;
}

}  // namespace membrix
