#include "population/ensemble.h"

#include <algorithm>
#include <cmath>

#include "analysis/procedural_neuron.h"
#include "analysis/spike_detector.h"
#include "analysis/sweep_file.h"
#include "common/error.h"
#include "common/number_format.h"
#include "neuron/numerics.h"
#include "population/ensemble_kernel.h"
#include "population/member_step.h"
#include "run/clamp_run.h"
#include "run/run_globals.h"
#include "run/session.h"
#include "run/stimulus.h"
#include "thresholdmodel/dispersion.h"

namespace membrix {

namespace {

// Members are counted by the window's mesh input plus one.
void CheckMesh(std::int64_t mesh, const char* label) {
  if (mesh < 0 || mesh > 10000000) throw RangeError(std::string("\"") + label + "\" must lie between 0 and 10000000");
}

void CheckProblem(const EnsembleInputs& in) {
  if (!(in.dt > 0.0) || !std::isfinite(in.dt)) throw RangeError("\"dt, ms\" must be positive");
  if (!(in.t_end > 0.0) || !std::isfinite(in.t_end)) throw RangeError("\"t_end, ms\" must be positive");
  if (in.tau_Noise < 0.0) throw RangeError("\"tau_Noise=\" must not be negative");
}

void PollStop(const Host* host, std::int64_t nt) {
  if (host != nullptr && nt % 4096 == 0 && host->StopRequested()) throw RunStopped{};
}

// Members are handed to the workers in fixed blocks: a worker's copy of the
// session is taken once per block, and each member starts again from the
// ensemble's base state with a generator seeded from its own index. The blocks
// do not depend on the number of workers, so neither do the results.
constexpr std::int64_t kMembersPerBlock = 32;

std::int64_t BlockCount(std::int64_t members) { return (members + kMembersPerBlock - 1) / kMembersPerBlock; }

// Puts back on a worker's copy what a member changes, and seeds its generator.
void StartFromBase(Session& copy, const Session& base, std::int64_t member) {
  copy.NP0 = base.NP0;
  copy.NV0 = base.NV0;
  copy.run = base.run;
  copy.stim = base.stim;
  copy.spikes = base.spikes;
  copy.random.set_state(RunSeed(member, base.random.seed()));
}

}  // namespace

// A block of members between processes.
template <>
struct SharedCodec<std::vector<EnsembleMember>> {
  static void Write(std::string& out, const std::vector<EnsembleMember>& block) {
    PutShared(out, static_cast<std::uint64_t>(block.size()));
    for (const EnsembleMember& m : block) {
      PutShared(out, m.spikes);
      PutShared(out, m.shifts);
      PutShared(out, m.gL);
      PutShared(out, m.Vmeasure);
      PutShared(out, m.trace);
      PutShared(out, m.noise);
    }
  }
  static void Read(SharedReader& in, std::vector<EnsembleMember>& block) {
    std::uint64_t n = 0;
    in.Get(n);
    if (n > static_cast<std::uint64_t>(kMembersPerBlock)) throw std::runtime_error("a block of members arrived damaged");
    block.resize(static_cast<std::size_t>(n));
    for (EnsembleMember& m : block) {
      in.Get(m.spikes);
      in.Get(m.shifts);
      in.Get(m.gL);
      in.Get(m.Vmeasure);
      in.Get(m.trace);
      in.Get(m.noise);
    }
  }
};

namespace {

// Runs the members of the ensemble in blocks and delivers them one by one, in
// member order: block(copy, first, last, host) on a worker gives members first
// ... last-1, deliver(i, member) takes them here. The members never change the
// recording tables, which the workers then copy only once.
template <class BlockRun, class Deliver>
RunsOutcome RunMemberBlocks(const Session& base, Host& host, std::int64_t M, BlockRun&& block, Deliver&& deliver) {
  RunsOutcome blocks = RunShared<std::vector<EnsembleMember>>(
      base, host, BlockCount(M),
      [&](Session& copy, Host& worker, std::int64_t b) {
        const std::int64_t first = b * kMembersPerBlock;
        return block(copy, first, std::min(M, first + kMembersPerBlock), worker);
      },
      [&](std::int64_t b, std::vector<EnsembleMember>&& out) {
        std::int64_t i = b * kMembersPerBlock;
        for (EnsembleMember& m : out) deliver(i++, std::move(m));
      },
      RecordingTables::PerWorker);
  RunsOutcome members;
  members.stopped = blocks.stopped;
  members.delivered = std::min(M, blocks.delivered * kMembersPerBlock);
  return members;
}

// The same, one member after another: member(copy, i, host) on a worker.
template <class MemberRun, class Deliver>
RunsOutcome RunMembers(const Session& base, Host& host, std::int64_t M, MemberRun&& member, Deliver&& deliver) {
  return RunMemberBlocks(
      base, host, M,
      [&](Session& copy, std::int64_t first, std::int64_t last, Host& worker) {
        std::vector<EnsembleMember> out;
        out.reserve(static_cast<std::size_t>(last - first));
        for (std::int64_t i = first; i < last; ++i) {
          StartFromBase(copy, base, i);
          out.push_back(member(copy, i, worker));
        }
        return out;
      },
      std::forward<Deliver>(deliver));
}

// Writes the rate file of a run. A stopped run's rate is that of the members
// done, not of the whole ensemble diluted by members that never ran; with no
// member done there is no rate and the file stays empty.
void FinishRate(EnsembleResult& r, EnsembleSink& sink, SweepFile& file) {
  if (r.outcome.stopped) {
    if (r.outcome.delivered < 1) {
      file.Close();
      return;
    }
    r.ro.CountOnly(r.outcome.delivered);
    sink.Rate(r.ro);
  }
  for (std::int32_t k = 0; k <= r.ro.Nrate(); ++k) {
    file.WriteLine(RateLine(r.ro.TimeOf(k) * 1000.0, r.ro.ro()[static_cast<std::size_t>(k)]));
  }
  file.Close();
}

}  // namespace

std::string EnsemblePath(const std::string& dir, const char* name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::int64_t EnsembleMembers(const EnsembleInputs& in) {
  CheckMesh(in.MeshGauss, "Mesh for Gauss");
  return static_cast<std::int64_t>(in.MeshGauss) + 1;
}

double DispersionSigma(const EnsembleInputs& in) {
  return in.sigmaUnit == SigmaUnit::InMV ? in.sgm_V / 1000.0 : in.sgm_V;
}

void ApplyEnsembleProblem(Session& s, const EnsembleInputs& in) {
  CheckProblem(in);
  SetTimeStep(s.run, in.dt / 1000.0);
  SetRunLength(s.run, in.t_end / 1000.0);
  CheckRunLength(s.run);
  s.stim.t_Iind = in.t_Iind / 1000.0;
  s.stim.Iind = in.Iind;
  s.stim.Freq_Iind = in.Freq_Iind;
}

void ApplyFixThreshold(Session& s, const EnsembleInputs& in) {
  s.NP0.FixThr = in.FixThreshold ? in.FixThr / 1000.0 + s.NP0.ThrShift : 0.0;
}

void SelectEnsembleModel(Session& s, EnsembleModel model) {
  if (model == EnsembleModel::ThresholdModel) {
    s.NP0.ThrModel = 1;
  } else {
    s.NP0.ThrModel = 0;
    s.NP0.LIF_model = 0;
  }
}

EnsembleMember GaussianThresholdMember(Session& copy, const EnsembleInputs& in, bool draw, const Host* host) {
  EnsembleMember m;
  NeuronProperties& np = copy.NP0;
  const NeuronProperties base = copy.NP0;
  const double sigma = DispersionSigma(in);
  const bool leak = in.disperse == DispersionKind::Leak || in.disperse == DispersionKind::ThresholdAndLeak;
  const bool threshold = in.disperse == DispersionKind::Threshold || in.disperse == DispersionKind::ThresholdAndLeak;
  // The spread of the threshold in mV: the entered sgm_V in either reading.
  const double sigmaShift = in.sgm_V;

  if (leak) {
    np.gL = std::max(0.001, (copy.random.Normal(0.0, 1.0) * sigma + 1.0) * base.gL);
    np.IfSet_gL_or_tau = 1;  // the member's own leak is given; its tau_m follows
  }
  ProceduralGlobals g;
  StartMemberAtRest(copy, g);
  m.gL = np.gL;
  double shift = 0.0;
  if (threshold) shift = copy.random.Normal(0.0, 1.0) * sigmaShift;
  SetThresholdShift(np, base, shift);
  m.shifts.push_back(shift);
  m.spikes.reserve(64);

  RunGlobals& run = copy.run;
  NeuronVariables& nv = copy.NV0;
  if (draw) m.trace.reserve(static_cast<std::size_t>(run.nt_end / std::max(1, run.n_Draw) + 2));
  for (run.nt = 1; run.nt <= run.nt_end; ++run.nt) {
    run.t = run.nt * run.dt;
    PollStop(host, run.nt);
    if (MemberStep(copy, g)) {
      m.spikes.push_back(run.t);
      if (in.ThrRenewal) {
        shift = copy.random.Normal(0.0, 1.0) * sigmaShift;
        SetThresholdShift(np, base, shift);
        m.shifts.push_back(shift);
      }
    }
    if (draw && (run.nt == 1 || IsMultiple(run.nt, run.n_Draw))) {
      m.trace.push_back({run.t, nv.V});
    }
  }
  return m;
}

EnsembleMember NoiseMember(Session& copy, const EnsembleInputs& in, bool first, const Host* host) {
  EnsembleMember m;
  NeuronProperties& np = copy.NP0;
  copy.stim.uu = copy.stim.ss = 0.0;
  ProceduralGlobals g;
  StartMemberAtRest(copy, g);
  NeuronVariables& nv = copy.NV0;
  nv.V = np.Vrest + copy.random.Normal(0.0, 1.0) * NoiseDriveOf(copy, in).sigma;
  nv.VatE = nv.Vprev = nv.V;
  copy.run.StartState.V = copy.run.StartState.VatE = nv.V;
  m.gL = np.gL;
  m.spikes.reserve(64);

  RunGlobals& run = copy.run;
  const double dt = run.dt;
  const NoiseDrive drive = NoiseDriveOf(copy, in);
  double& uu = copy.stim.uu;
  if (first) {
    m.trace.reserve(static_cast<std::size_t>(run.nt_end) + 1);
    m.noise.reserve(static_cast<std::size_t>(run.nt_end / std::max(1, run.n_Draw) + 2));
  }
  for (run.nt = 1; run.nt <= run.nt_end; ++run.nt) {
    run.t = run.nt * dt;
    PollStop(host, run.nt);
    AdvanceNoiseInput(uu, drive, dt, copy.random.Normal(0.0, 1.0));
    if (MemberStep(copy, g)) m.spikes.push_back(run.t);
    if (run.nt == drive.ntMeasure) m.Vmeasure = nv.V;
    if (first) {
      m.trace.push_back({run.t, nv.V});
      if (run.nt == 1 || IsMultiple(run.nt, run.n_Draw)) m.noise.push_back({run.t, uu * 1000.0});
    }
  }
  return m;
}

EnsembleResult RunGaussianThresholds(Session& s, const EnsembleInputs& in, Host& host, EnsembleSink& sink,
                                     EnsembleModel model, const std::string& dir) {
  ApplyEnsembleProblem(s, in);
  const std::int64_t M = EnsembleMembers(in);
  EnsembleResult r{RateHistogram(s.run.t_end, in.Nrate, M), {}, 0.0, EnsemblePath(dir, kRateFileName)};
  SweepFile file(r.file);  // created at the start, so an unwritable place is known before the run

  Session base = s;
  SelectEnsembleModel(base, model);
  ResetRunState(base);
  const std::int64_t drawn = (M - 1) / 2;
  const auto deliver = [&](std::int64_t i, EnsembleMember&& m) {
    for (double t : m.spikes) r.ro.AddSpike(t);
    if (i == drawn) sink.Voltage(m.trace);
    sink.Member(i, M);
    sink.Rate(r.ro);
  };
  const std::optional<KernelIsa> kernel = ChosenEnsembleKernel();
  if (kernel && in.disperse == DispersionKind::Threshold && EnsembleKernelApplies(base)) {
    // Squid-axon members alike but for their threshold: a block goes through
    // the registers together.
    const KernelIsa isa = *kernel;
    r.outcome = RunMemberBlocks(
        base, host, M,
        [&](Session& copy, std::int64_t first, std::int64_t last, Host& worker) {
          StartFromBase(copy, base, first);
          return GaussianThresholdMembersInLanes(copy, in, first, last, drawn, &worker, isa);
        },
        deliver);
  } else {
    r.outcome = RunMembers(
        base, host, M,
        [&](Session& copy, std::int64_t i, Host& worker) {
          return GaussianThresholdMember(copy, in, i == drawn, &worker);
        },
        deliver);
  }
  FinishRate(r, sink, file);
  return r;
}

EnsembleResult RunNoiseEnsemble(Session& s, const EnsembleInputs& in, Host& host, EnsembleSink& sink,
                                EnsembleModel model, const std::string& dir) {
  const double savedIind = s.stim.Iind;
  ApplyEnsembleProblem(s, in);
  const std::int64_t M = EnsembleMembers(in);
  EnsembleResult r{RateHistogram(s.run.t_end, in.Nrate, M), {}, 0.0, EnsemblePath(dir, kRateNoiseFileName)};
  SweepFile rateFile(r.file);
  SweepFile oneCurve(EnsemblePath(dir, kOneCurveFileName));

  Session base = s;
  s.stim.Iind = savedIind;  // the noise run leaves the session's current as it was
  SelectEnsembleModel(base, model);
  base.prog.NoiseToSignal = 1.0;
  base.stim.tau_Noise = in.tau_Noise / 1000.0;
  ResetRunState(base);
  double sumV = 0.0, sumV2 = 0.0;
  std::int64_t n = 0;
  std::string line;
  const auto deliver = [&](std::int64_t i, EnsembleMember&& m) {
    for (double t : m.spikes) r.ro.AddSpike(t);
    if (i == 0) {
      for (const TimeValue& p : m.trace) {
        line.clear();
        AppendFixed(line, p.t * 1000.0, 9, 3);
        line += ' ';
        AppendFixed(line, p.v * 1000.0, 9, 3);
        oneCurve.WriteLine(line);
      }
      oneCurve.Close();
      sink.Voltage(m.trace);
      sink.NoiseInput(m.noise);
    }
    sumV += m.Vmeasure;
    sumV2 += m.Vmeasure * m.Vmeasure;
    ++n;
    const double mean = sumV / static_cast<double>(n);
    r.sigmaV = std::sqrt(std::max(0.0, sumV2 / static_cast<double>(n) - mean * mean)) * 1000.0;
    sink.Member(i, M);
    sink.Rate(r.ro);
    sink.SigmaV(r.sigmaV);
  };
  const std::optional<KernelIsa> kernel = ChosenEnsembleKernel();
  if (kernel && EnsembleKernelApplies(base)) {
    // Identical squid-axon members: a block goes through the registers together.
    const KernelIsa isa = *kernel;
    r.outcome = RunMemberBlocks(
        base, host, M,
        [&](Session& copy, std::int64_t first, std::int64_t last, Host& worker) {
          StartFromBase(copy, base, first);
          return NoiseMembersInLanes(copy, in, first, last, &worker, isa);
        },
        deliver);
  } else {
    r.outcome = RunMembers(
        base, host, M,
        [&](Session& copy, std::int64_t i, Host& worker) { return NoiseMember(copy, in, i == 0, &worker); },
        deliver);
  }
  oneCurve.Close();
  FinishRate(r, sink, rateFile);
  return r;
}

// ---- Gaussian conductances ------------------------------------------------

ConductanceEnsembleResult RunGaussianConductances(Session& s, const EnsembleInputs& in, Host& host,
                                                  ConductanceEnsembleSink& sink, EnsembleModel model,
                                                  const std::string& dir) {
  CheckMesh(in.MeshG, "Mesh for Gauss");
  if (in.MeshG < 1) throw RangeError("\"Mesh for Gauss\" of the dispersed conductances must be at least 1");
  if (in.sigmaG < 0.0) throw RangeError("\"sigmaG_nd\" must not be negative");
  if (in.tau_E < 0.0) throw RangeError("\"tau_E, ms\" must not be negative");
  EnsembleInputs problem = in;
  problem.Iind = in.IindG;
  ApplyEnsembleProblem(s, problem);
  const RateHistogram bins(s.run.t_end, in.Nrate, 1);  // the time mesh of the statistics
  const double Delta = bins.Delta();
  LeaveIfHelper();  // one integration of the densities: the writer does it alone

  SweepFile tv(EnsemblePath(dir, kGaussTVFileName));
  SweepFile meanDisp(EnsemblePath(dir, kGaussMeanDispFileName));
  SweepFile vMean(EnsemblePath(dir, kGaussVMeanFileName));
  SweepFile bound(EnsemblePath(dir, kGaussBoundFileName));

  Session m = s;
  SelectEnsembleModel(m, model);
  ResetRunState(m);
  const Session base = m;

  const std::int64_t Ng = in.MeshG;
  const double A = in.Ampl_gE;
  const double a = in.sigmaG * A;
  const double h = 6.0 * in.sigmaG * A / static_cast<double>(Ng);
  const double tauE = in.tau_E / 1000.0;
  const std::size_t nBins = static_cast<std::size_t>(in.Nrate) + 1;
  std::vector<double> sumW(nBins, 0.0), sumWV(nBins, 0.0), sumWV2(nBins, 0.0);
  ConductanceEnsembleResult result;
  result.T_min = s.run.t_end;
  std::vector<TimeValue> trace;
  std::string line;

  // A member's share of the bins is added when it ends, so that a stop keeps
  // the statistics of the members done.
  struct BinSample {
    std::size_t k;
    double w, V;
  };
  std::vector<BinSample> samples;
  for (std::int64_t i = 0; i <= Ng && !result.stopped; ++i) {
    m = base;
    samples.clear();
    ProceduralGlobals g;
    StartMemberAtRest(m, g);
    RunGlobals& run = m.run;
    NeuronVariables& nv = m.NV0;
    const NeuronProperties& np = m.NP0;
    const double gEi = std::max(0.0, (1.0 - 3.0 * in.sigmaG) * A + static_cast<double>(i) * h);
    // The member's share of the ensemble: the normal density of deviation a at
    // its conductance (the helper's width parameter is sqrt(2) times the
    // deviation). Without any spread all members are alike and share equally.
    const double w =
        h > 0.0 ? GaussDensity(std::sqrt(2.0) * a, gEi - A) * h : 1.0 / static_cast<double>(Ng + 1);
    const bool middle = i == Ng / 2;
    double S = 0.0, S2 = 0.0;
    double firstSpike = result.T_min;
    trace.clear();
    for (run.nt = 1; run.nt <= run.nt_end; ++run.nt) {
      run.t = run.nt * run.dt;
      const double t = run.t;
      if (run.nt % 4096 == 0 && host.StopRequested()) {
        result.stopped = true;
        break;
      }
      const double course = tauE > 0.0 ? std::pow(std::sin(t / tauE), 2) : 1.0;
      const double gE = gEi * course;
      // An excitatory conductance reversing at 0 V, written as the (u, s) input
      // the procedural neuron takes.
      m.stim.uu = -ProceduralInputReversal(np) * gE;
      m.stim.ss = gE;
      const bool spike = MemberStep(m, g);
      const std::int32_t k = bins.BinOf(t);
      if (k >= 0 && std::abs(t - k * Delta) < 0.5 * run.dt) {
        samples.push_back({static_cast<std::size_t>(k), w, nv.V});
        line.clear();
        AppendFixed(line, t * 1000.0, 9, 3);
        line += ' ';
        AppendFixed(line, nv.V * 1000.0, 10, 3);
        line += ' ';
        AppendFixed(line, w, 10, 4);
        tv.WriteLine(line);
      }
      trace.push_back({t, nv.V});
      if (middle) {
        // The linearised response of the voltage to the spread of the conductance.
        double Vbar = nv.V;
        DispersionMeanShift(m, Vbar, a, course, S);
        DispersionStep(m, spike ? 2 : 0, S, S2, Vbar, np.gL, course, gEi, a);
        result.linearised.push_back({t, Vbar, S});
        line.clear();
        AppendFixed(line, t * 1000.0, 9, 3);
        for (double x : {Vbar, Vbar + S, Vbar - S}) {
          line += ' ';
          AppendFixed(line, x * 1000.0, 10, 3);
        }
        meanDisp.WriteLine(line);
      }
      if (i == Ng) {
        line.clear();
        AppendFixed(line, t * 1000.0, 9, 3);
        line += ' ';
        AppendFixed(line, nv.V * 1000.0, 10, 3);
        bound.WriteLine(line);
      }
      if (spike) {
        firstSpike = t;
        break;
      }
    }
    if (result.stopped) break;
    for (const BinSample& b : samples) {
      sumW[b.k] += b.w;
      sumWV[b.k] += b.w * b.V;
      sumWV2[b.k] += b.w * b.V * b.V;
    }
    result.T_min = std::min(result.T_min, firstSpike);
    ++result.members;
    sink.Voltage(i, trace);
    sink.Member(i, Ng + 1);
    host.ProcessEvents();
    if (host.StopRequested()) result.stopped = i < Ng;
  }
  if (!result.linearised.empty()) sink.Linearised(result.linearised);

  for (std::int32_t k = 1; k <= in.Nrate; ++k) {
    const double t = k * Delta;
    if (t > result.T_min) break;
    const std::size_t kk = static_cast<std::size_t>(k);
    if (!(sumW[kk] > 0.0)) continue;
    const double mean = sumWV[kk] / sumW[kk];
    const double D = std::sqrt(std::max(0.0, sumWV2[kk] / sumW[kk] - mean * mean));
    result.dispersion.push_back({t, mean, D});
    line.clear();
    AppendFixed(line, t * 1000.0, 9, 3);
    for (double x : {mean, mean + D, mean - D}) {
      line += ' ';
      AppendFixed(line, x * 1000.0, 10, 3);
    }
    vMean.WriteLine(line);
  }
  sink.Dispersion(result.dispersion);
  tv.Close();
  meanDisp.Close();
  vMean.Close();
  bound.Close();
  return result;
}

}  // namespace membrix
