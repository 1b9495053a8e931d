#include "run/clamp_run.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <memory>

#include "analysis/spike_detector.h"
#include "ions/ion_dynamics.h"
#include "neuron/cond_based_neuron.h"
#include "neuron/variable_step.h"
#include "params/run_section.h"
#include "run/observed_gates.h"
#include "run/output_variables.h"
#include "run/run_views.h"
#include "run/session.h"
#include "run/trace_files.h"

namespace membrix {

void ResetRunState(Session& s) {
  StartRunAtRest(s);
  LoadThresholdTable(s);
}

void StartRunAtRest(Session& s) {
  NeuronVariables& nv = s.NV0;
  nv.V = nv.VatE = nv.Vprev = s.NP0.Vrest;
  nv.IsynDendPrev = 0.0;
  nv.VThr = 100.0;
  nv.tLastSpike = -888.0;
  nv.dVdt = nv.d2Vdt2 = 0.0;
  nv.SpikePhase = 0;
  nv.Rearm = {};
  s.run.t = 0.0;
  s.run.nt = 0;
  s.stim.du_Reset = 0.0;
  ResetSpikeStats(s.spikes);
  s.spikes.VRef = nv.V;
  StartStateRecord& st = s.run.StartState;
  st = {nv.V, nv.VatE, nv.nn, nv.yK, nv.nA, nv.lA, nv.xD, nv.yD, nv.nH, nv.wAHP, nv.nM};
  ResetStimulusState(s.stim, nv.V);
}

std::string DivergenceNote(const Session& s, const NeuronProperties& np) {
  char text[200];
  std::snprintf(text, sizeof text,
                "the membrane voltage diverged (%g V) at t = %.2f ms: the time step of %.4g ms is too long "
                "for the \"%s\" model in the \"%s\" geometry",
                s.NV0.V, s.run.t * 1000.0, s.run.dt * 1000.0, np.HH_type.c_str(), np.HH_order.c_str());
  return text;
}

void ModelTraceValue(Session& s, const NeuronProperties& np) { ModelTraceValue(s, np, s.NV0); }

void ModelTraceValue(Session& s, const NeuronProperties& np, const NeuronVariables& nv) {
  const PipetteRecord& p = s.stim.Pipette;
  const double area = np.Square * 1e9;
  double& Vr = s.run.Vr;
  const bool pipette = p.G1 != 0.0;
  switch (np.If_I_V_or_g) {
    case 1:
    case 4:
    case 5: Vr = pipette ? p.Ip * area : nv.PSC; break;
    case 2:
    case 7: Vr = (pipette ? p.Vp : nv.V) - np.Vrest; break;
    // The clamp current has the sign of the ionic current (inward negative), so
    // current over driving force is the conductance itself, positive.
    case 3: Vr = (pipette ? p.Ip : nv.PSC / area) / (nv.Vprev - s.run.VrevFit); break;
    case 6: Vr = nv.Iind; break;
    default: break;
  }
  if (s.ModelData.Holds(s.run.nt, s.rec.Smpl)) s.ModelData(s.run.nt, s.rec.Smpl) = Vr;
}

namespace {

// What the error-controlled integrator cannot take is refused before the run
// starts, with the reason and what to use instead.
void CheckVariableStepRun(const Session& s, const TNeuron& neuron) {
  const NeuronProperties& np = neuron.NP;
  const auto refuse = [](const std::string& why) {
    throw Error("the error-controlled integrator (cvode) " + why + "; run it with the fixed step");
  };
  if (dynamic_cast<const TCondBasedNrn*>(&neuron) == nullptr || np.ThrModel == 1) {
    refuse("integrates the conductance-based neuron only, not the threshold or integrate-and-fire neuron");
  }
  const StimulusGlobals& g = s.stim;
  if (g.IfVoltageNoise == 1 || g.NoiseRec.amplitude > 0.0 || g.noiseList == NoiseList::NoiseCurrent) {
    refuse("takes deterministic inputs; a noise input changes at every step");
  }
  if (np.If_I_V_or_g == 4 || np.If_I_V_or_g == 5 || np.If_I_V_or_g == 7) {
    refuse("does not drive the neuron from a recording (clamp mode " + std::to_string(np.If_I_V_or_g) + ")");
  }
  if (g.Pipette.G1 != 0.0) refuse("does not integrate the pipette's own circuit (G1 is not 0)");
}

}  // namespace

TRunAdvance::TRunAdvance(Session& s, TNeuron& neuron, bool withIons) : withIons_(withIons) {
  if (s.run.integrator.kind != IntegratorKind::Cvode) return;
  CheckVariableStepRun(s, neuron);
  variableStep_ = std::make_unique<TVariableStepIntegrator>(static_cast<TCondBasedNrn&>(neuron), s.run.t,
                                                            s.run.integrator, s.criteria.StartLevel,
                                                            withIons ? &s.Ions : nullptr);
}

TRunAdvance::~TRunAdvance() = default;

void TRunAdvance::Step(Session& s, TNeuron& neuron, StepInputs in, double extraCurrent) {
  Electrode(s, neuron, in);
  const double Iext = in.Iext + extraCurrent;
  if (variableStep_) {
    variableStep_->AdvanceTo(clockOffset_ + s.run.t, {in.uDend, in.sDend, 0.0, in.sSoma, in.gNMDA, Iext, in.Vclamp});
    s.run.integratorWork = variableStep_->Work();
    return;
  }
  if (withIons_) s.Ions.Advance(neuron.NP, neuron.NV, s.run.dt);
  neuron.Step(in.uDend, in.sDend, 0.0, in.sSoma, in.gNMDA, Iext, in.Vclamp);
}

void TRunAdvance::RestartClock(const Session& s) { clockOffset_ += s.run.t; }

bool TRunAdvance::AfterDetection(Session& s, TNeuron& neuron) {
  if (!variableStep_) return false;
  // The located peak that stands for the spike the detector has just marked:
  // the last one in the two sample intervals its parabola spans. The spike's
  // time, interval and peak become the located ones.
  const double earliest = clockOffset_ + s.run.t - 2.0 * s.run.dt;
  const auto& peaks = variableStep_->Peaks();
  const bool placed = neuron.NV.SpikePhase == 2 && !peaks.empty() && peaks.back().t >= earliest;
  if (placed) {
    NeuronVariables& nv = neuron.NV;
    const double located = peaks.back().t - clockOffset_;  // on the run's clock
    const double shift = located - nv.tLastSpike;
    nv.tLastSpike = located;
    nv.ISI += shift;
    s.spikes.ISI[0] += shift;
    s.spikes.VPeak = peaks.back().V;
  }
  variableStep_->DropPeaksBefore(earliest);
  return placed;
}

double RunClamp(Session& s, Host& host, RunViewSink& views) {
  if (s.rec.Smpl < 0 || s.rec.Smpl > kMaxRecording) {
    throw RangeError("recording number " + std::to_string(s.rec.Smpl) + " is outside 0 ... " +
                     std::to_string(kMaxRecording));
  }
  RunGlobals& run = s.run;

  LoadRunParameters(s);
  CheckRunLength(run);
  host.ShowParameters();
  // Outputs that are inputs are refused before anything is read or written.
  CheckRunOutputs(s);
  PrepareRecordingForRun(s);
  ResetRunState(s);
  std::unique_ptr<TNeuron> Nrn = CreateNeuron(s.NP0, s.View());
  // Kinetics that need short steps ("Carter-12") lower the run's step; the run
  // keeps its length and the recording is resampled on the new grid.
  if (run.dt > Nrn->LongestTimeStep()) {
    SetTimeStep(run, Nrn->LongestTimeStep());
    PrepareRecordingForRun(s);
  }
  // Gates nobody sees and no current needs are left at rest for the run.
  if (auto* cb = dynamic_cast<TCondBasedNrn*>(Nrn.get())) cb->ObserveSlots(ObservedSlots(s, views));
  Nrn->InitState();
  // The output files are created only once the inputs have been read: a run
  // that fails on them leaves an existing output as it was.
  RunFiles files;
  files.Open(s);
  s.NP0 = Nrn->NP;  // values derived at initialisation become the current parameters
  s.Ions.Setup(Nrn->NP, s.ionInputs);
  PrepareRunViews(s, views);
  host.ShowParameters();
  TRunAdvance advance(s, *Nrn);
  double err = 0.0;
  bool divergenceNoted = false;
  const bool everyStep = views.EveryStep();

  do {
    ++run.nt;
    run.t = run.nt * run.dt;
    StepInputs in = Stimulus(s, Nrn->NP);
    advance.Step(s, *Nrn, in);
    // The step's one detection: the spike mark it leaves (SpikePhase 2) is what the
    // marking, drawing and writing below see, and the bookkeeping at the end of
    // the step counts it.
    DetectSpike(s, *Nrn);
    advance.AfterDetection(s, *Nrn);
    const NeuronVariables& nv = Nrn->NV;
    // No membrane reaches 1 V: beyond it the explicit step is too long for the
    // model's conductances. The run goes on (a fit may pass through such
    // parameters), but the result is not left to look sound.
    const bool diverged = !divergenceNoted && !(std::abs(nv.V) <= kDivergedVoltage);
    const bool spike = nv.SpikePhase == 2;
    // The drawing and writing cadences, tested once per step.
    const bool drawStep = IsMultiple(run.nt, run.n_Draw);
    const bool writeStep = IsMultiple(run.nt, run.n_Write);
    // Every hundredth step (in 64 bits, as a large drawing cadence times the
    // step's remainder does not fit 32).
    const bool events = (run.nt % 100) * run.n_Draw == 0;
    // The session's copy of the state is what the drawing, the writing, the
    // host's events and the caller after the run read. It is taken here, as
    // the step leaves the neuron, at every step where one of them reads it;
    // between them nobody does, and the checks of the step read the neuron's.
    const bool drawn = (run.nt == 1 || drawStep || everyStep) && views.Drawing();
    const bool written = (run.Writing == 1 && writeStep) || (writeStep && run.WriteMode >= 1 && run.WriteMode <= 4) ||
                         ((run.WriteMode == 4 || run.DrawAnyCurve == 1) && drawStep);
    if (drawn || written || spike || events || diverged || run.nt >= run.nt_end || run.PauseFlag == 'P') {
      s.NV0 = nv;
    }
    if (diverged) {
      divergenceNoted = true;
      s.SimplexMemo.push_back(DivergenceNote(s, Nrn->NP));
    }
    ModelTraceValue(s, Nrn->NP, nv);
    // Every step of the run is compared; without a recording the recorded
    // value is 0.
    if (run.t > s.stim.t_IindShift) {
      const double d = s.ExpData.At(run.nt, s.rec.Smpl) - run.Vr;
      const double n = static_cast<double>(run.nt);
      err = std::sqrt(d * d / n + err * err * (n - 1.0) / n);
    }
    if (spike) MarkSpike(s, views);
    // Views that draw from every step take every series at the cadence (and
    // at every step when the cadence is one step or none), and between them
    // the series they draw from every step.
    if (run.nt == 1 || drawStep || spike || (everyStep && run.n_Draw <= 1)) {
      DrawRunStep(s, views);
    } else if (everyStep) {
      DrawEveryStepSeries(s, views);
    }
    if (run.Writing == 1 && (writeStep || spike)) files.WriteLog(s, s.Ions);
    if (writeStep && run.WriteMode >= 1 && run.WriteMode <= 4) files.WriteTrace(s);
    if ((run.WriteMode == 4 || run.DrawAnyCurve == 1) && drawStep) {
      views.CurvePoint(run.t * 1000.0, OutputVariableValue(s, s.trace.VarToWrite));
    }
    // Count, rate and per-interval measures from the detection above. Detecting
    // again here would clear the mark of a conductance-based neuron's spike before
    // it is counted; threshold and integrate-and-fire neurons mark their own.
    TrackSpikes(s, *Nrn, DetectorPass::AlreadyRun);
    if (events) host.ProcessEvents();
    while (run.PauseFlag == 'P' && !host.StopRequested()) host.ProcessEvents();
  } while (run.nt < run.nt_end);

  files.Close(s);
  return err;
}

}  // namespace membrix
