#include "analysis/fi_sweep.h"

#include <cmath>
#include <memory>

#include "analysis/spike_detector.h"
#include "analysis/sweep_file.h"
#include "common/error.h"
#include "common/number_format.h"
#include "fiber/fiber_sweeps.h"
#include "ions/ion_dynamics.h"
#include "run/clamp_run.h"
#include "fiber/fiber.h"
#include "run/session.h"

namespace membrix {

namespace {

// Below this interval a "Reverse last ISI" frequency is taken as no frequency.
constexpr double kShortestISI = 1e-6;  // s
// A silent neuron is given up after this time.
constexpr double kSilenceLimit = 0.2;  // s

// The current as the passive depolarisation it would cause (mV per pA scale).
double PassiveDepolarisation(const NeuronProperties& np, double Iind) {
  return Iind / np.Square * np.tau_m / np.Cm / 1e6;
}

}  // namespace

double FIRunFrequency(Session& s, const FIInputs& in, double Iind, const Host* host) {
  RunGlobals& run = s.run;
  // A constant current clamp for the whole run.
  s.stim.Iind = Iind;
  s.stim.t_Iind = 1e8;
  s.NP0.If_I_V_or_g = 2;
  ResetRunState(s);
  std::unique_ptr<TNeuron> Nrn = CreateNeuron(s.NP0, s.View());
  if (run.dt > Nrn->LongestTimeStep()) SetTimeStep(run, Nrn->LongestTimeStep());
  CheckRunLength(run);
  Nrn->InitState();
  s.Ions.Setup(Nrn->NP, s.ionInputs);
  if (in.IfNoise == 1 && run.integrator.kind == IntegratorKind::Cvode) {
    throw Error("the error-controlled integrator (cvode) takes deterministic inputs; an f-I curve with noise "
                "needs the fixed step");
  }
  TRunAdvance advance(s, *Nrn);

  FINoiseCurrent noise(s);
  const bool lastThird = in.Estimator == FIEstimator::MeanForLastThird;
  SpikeStats& st = s.spikes;
  st.nSpikes = 0;
  std::int32_t len = 0;
  run.nt = 0;
  // At least one step, as in the clamp run.
  while (true) {
    ++run.nt;
    run.t = run.nt * run.dt;
    if (host != nullptr && run.nt % 1000 == 0 && host->StopRequested()) throw RunStopped{};
    const double g = in.IfNoise == 1 ? noise.Step(s.random) : 0.0;
    advance.Step(s, *Nrn, Stimulus(s, Nrn->NP), g);
    s.NV0 = Nrn->NV;
    TrackSpikes(s, *Nrn);
    if (advance.AfterDetection(s, *Nrn)) s.NV0 = Nrn->NV;
    const double V = s.NV0.V;
    // A voltage out of range (or no number at all) ends the run; so does silence.
    if (!(V >= -0.15 && V <= 0.1) || (st.nSpikes == 0 && run.t > kSilenceLimit)) {
      run.nt = run.nt_end;
    }
    if (lastThird && run.t < (2.0 / 3.0) * run.t_end) len = st.nSpikes;
    if (st.nSpikes == in.MaxSpikes && Nrn->NV.SpikePhase == 3) break;
    if (run.nt >= run.nt_end) break;
  }
  return FIEstimatedFrequency(in, st, len, run);
}

FINoiseCurrent::FINoiseCurrent(const Session& s)
    : sigma_(s.stim.sgm_V_Input / 1000.0),
      G_(s.NP0.Cm / s.NP0.tau_m),
      tauN_(s.stim.tau_Noise),
      tauM_(s.NP0.tau_m),
      dt_(s.run.dt) {}

double FINoiseCurrent::Step(RandomGenerator& random) {
  const double xi = random.Normal(0.0, 1.0);
  if (tauN_ > 0.0) {
    g_ = g_ - (g_ / tauN_) * dt_ + xi * sigma_ * G_ * std::sqrt(tauM_ / tauN_ + 1.0) * std::sqrt(2.0 * dt_ / tauN_);
  } else {
    g_ = xi * sigma_ * G_ * std::sqrt(2.0 * tauM_ / dt_);
  }
  return g_;
}

double FIEstimatedFrequency(const FIInputs& in, const SpikeStats& st, std::int32_t spikesBeforeLastThird,
                            const RunGlobals& run) {
  const double length = (run.nt_end + 1.0) * run.dt;
  switch (in.Estimator) {
    case FIEstimator::NumberOfSpikes: return st.nSpikes / length;
    case FIEstimator::ReverseLastISI:
      return st.nSpikes >= 2 && st.ISI[0] >= kShortestISI ? 1.0 / st.ISI[0] : 0.0;
    case FIEstimator::MeanForLastThird:
      // The spikes of the last third of the run over the length of that third.
      return 3.0 * (st.nSpikes - spikesBeforeLastThird) / length;
  }
  return 0.0;
}

std::string FILine(const FIPoint& p) {
  std::string line;
  AppendFixed(line, p.Iind, 9, 3);
  line += ' ';
  AppendFixed(line, p.f, 9, 5);
  line += ' ';
  AppendFixed(line, p.passive, 9, 3);
  return line;
}

RunsOutcome SweepFI(Session& s, const FIInputs& in, const FiberInputs& fiber, Host& host, FISink& sink,
                    const std::string& file) {
  const std::int64_t count = CurrentGridCount(in.Iind_max, in.StepIind, "Step for Iind");
  if (in.IfDistributedModel == 1) CheckFiberInputs(s, fiber);
  SweepFile out(file, SweepFile::Lines::Flushed);
  const NeuronProperties np = s.NP0;
  RunsOutcome outcome = RunShared<FIPoint>(
      s, host, count,
      [&](Session& copy, Host& worker, std::int64_t k) {
        const double Iind = static_cast<double>(k) * in.StepIind;
        const double f = in.IfDistributedModel == 1 ? FIRunFrequencyDistributed(copy, in, fiber, Iind, &worker)
                                                    : FIRunFrequency(copy, in, Iind, &worker);
        return FIPoint{Iind, f, PassiveDepolarisation(np, Iind)};
      },
      [&](std::int64_t k, FIPoint&& point) {
        out.WriteLine(FILine(point));
        sink.Point(point);
        sink.Progress(k + 1, count);
      });
  out.Close();
  return outcome;
}

}  // namespace membrix
