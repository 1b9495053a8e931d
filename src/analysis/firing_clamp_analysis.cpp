#include "analysis/firing_clamp_analysis.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>

#include "analysis/spike_detector.h"
#include "analysis/sweep_file.h"
#include "analysis/z_function.h"
#include "common/error.h"
#include "common/number_format.h"
#include "neuron/numerics.h"
#include "run/session.h"

namespace membrix {

namespace {

// The grid cell holding (u, s), or false outside the cells.
bool Cell(const USMapData& m, double s, double u, std::int32_t& i, std::int32_t& j, double& a, double& b) {
  if (m.nue < 1 || m.nse < 1 || !(m.du != 0.0) || !(m.ds != 0.0)) return false;
  const double x = (u - m.u0) / m.du, y = (s - m.s0) / m.ds;
  // Below the origin is outside too: the cell index is the floor, not the
  // truncation towards zero, which would extrapolate the first cell.
  if (!(x >= 0.0 && x < m.nue && y >= 0.0 && y < m.nse)) return false;
  i = static_cast<std::int32_t>(std::floor(x));
  j = static_cast<std::int32_t>(std::floor(y));
  a = x - i;
  b = y - j;
  return true;
}

double Bilinear(const USMapData& m, const std::vector<double>& X, std::int32_t i, std::int32_t j, double a, double b) {
  return (1.0 - a) * (1.0 - b) * X[m.At(i, j)] + a * (1.0 - b) * X[m.At(i + 1, j)] +
         (1.0 - a) * b * X[m.At(i, j + 1)] + a * b * X[m.At(i + 1, j + 1)];
}

double FAt(const USMapData& m, double s, double u) {
  double F = 0.0, G = 0.0;
  InterpolateFG(m, s, u, F, G);
  return F;
}

// The leak conductance Cm/tau_m the trough correction balances the input against.
double TroughLeak(const NeuronProperties& np) { return np.Cm / np.tau_m; }

// Holds the analysis while the run's pause is on.
void WaitWhilePaused(Session& s, Host& host) {
  s.run.PauseFlag = 'P';
  while (s.run.PauseFlag == 'P' && !host.StopRequested()) host.ProcessEvents();
}

}  // namespace

void InterpolateFG(const USMapData& map, double s, double u, double& F, double& G) {
  std::int32_t i = 0, j = 0;
  double a = 0.0, b = 0.0;
  if (!Cell(map, s, u, i, j, a, b)) {
    F = G = 0.0;
    return;
  }
  F = Bilinear(map, map.F, i, j, a, b);
  G = Bilinear(map, map.G, i, j, a, b);
}

double InterpolateTrough(const USMapData& map, double s, double u) {
  std::int32_t i = 0, j = 0;
  double a = 0.0, b = 0.0;
  if (!Cell(map, s, u, i, j, a, b)) return 0.0;
  return Bilinear(map, map.trough, i, j, a, b);
}

void StartPoint(const USMapData& map, double& u, double& s) {
  double su = 0.0, ss = 0.0;
  std::int64_t n = 0;
  for (std::int32_t j = 0; j <= map.nse; ++j) {
    for (std::int32_t i = 0; i <= map.nue; ++i) {
      const std::size_t at = map.At(i, j);
      if (map.F[at] != 0.0 && map.u[at] > 0.0 && map.s[at] > 0.0) {
        su += map.u[at];
        ss += map.s[at];
        ++n;
      }
    }
  }
  u = n > 0 ? su / static_cast<double>(n) : map.u0;
  s = n > 0 ? ss / static_cast<double>(n) : map.s0;
}

Inversion InvertFG(const USMapData& map, double u, double s, double Fstar, double Gstar, bool fIsFrequency,
                   FiringClampAnalysisSink* trials) {
  Inversion result{u, s, false, 0};
  // A record without a rate, or one that is not a number, has no input to find.
  if (!(Fstar != 0.0) || !std::isfinite(Fstar) || !std::isfinite(Gstar)) return result;
  const double hu = map.du * 0.001, hs = map.ds * 0.001;
  const double uMax = map.u0 + map.nue * map.du, sMax = map.s0 + map.nse * map.ds;
  const double uLo = std::min(map.u0, uMax), uHi = std::max(map.u0, uMax);
  const double sLo = std::min(map.s0, sMax), sHi = std::max(map.s0, sMax);
  double U = u, S = s;
  bool converged = false;
  for (std::int32_t it = 0; it < 201; ++it) {
    result.iterations = it + 1;
    double F0 = 0.0, G0 = 0.0, Fu = 0.0, Gu = 0.0, Fs = 0.0, Gs = 0.0;
    InterpolateFG(map, S, U, F0, G0);
    InterpolateFG(map, S, U + hu, Fu, Gu);
    InterpolateFG(map, S + hs, U, Fs, Gs);
    const Solution2 d =
        Solve2((Fu - F0) / hu, (Fs - F0) / hs, (Gu - G0) / hu, (Gs - G0) / hs, Fstar - F0, Gstar - G0);
    if (d.x1 == -13.0 && d.x2 == -13.0) return result;  // singular: keep the start point
    double Un = std::min(uHi, std::max(uLo, U + 0.5 * d.x1));
    double Sn = std::min(sHi, std::max(sLo, S + 0.5 * d.x2));
    if (FAt(map, Sn, Un) == 0.0) {
      // A half step leaves the firing region: creep towards it instead.
      Un = U + 0.001 * d.x1;
      Sn = S + 0.001 * d.x2;
    }
    U = Un;
    S = Sn;
    if (trials != nullptr) trials->Trial(U, S);
    double F = 0.0, G = 0.0;
    InterpolateFG(map, S, U, F, G);
    if (F == 0.0) break;
    const double L = (Fstar - F) / Fstar;
    // A target G of 0 is measured by its absolute error.
    double M = Gstar != 0.0 ? (Gstar - G) / Gstar : G - Gstar;
    if (fIsFrequency) M *= 10.0;
    if (L * L + M * M < 1e-8) {
      converged = true;
      break;
    }
  }
  if (!converged) return result;
  result.u = U;
  result.s = S;
  result.accepted = true;
  if (trials != nullptr) trials->ClearTrials();
  return result;
}

USMapData ReadAnalysisMap(const FiringClampAnalysisInputs& in, const FiringClampInputs& fc) {
  return ReadUSMap(in.mapFile, fc.FunctionF, fc.FunctionG, in.linear);
}

void RequireFiringPoint(const USMapData& map) {
  for (double F : map.F) {
    if (F != 0.0) return;
  }
  const std::string where = map.file.empty() ? std::string("the map") : map.file;
  throw NothingToAnalyseError(where + ": no firing point in the map (F is 0 at every grid point), so no record can "
                                      "be inverted against it");
}

void CheckTrialsInputs(const FiringClampAnalysisInputs& in) {
  if (in.Trials < 1) {
    throw RangeError("the number of trials (\"Set of Trials, N=\") must be at least 1, not " +
                     std::to_string(in.Trials));
  }
}

FiringClampAnalysis AnalyzeByFiringClamp(Session& s, const FiringClampAnalysisInputs& in, const FiringClampInputs& fc,
                                         const ZFunctionInputs& zIn, Host& host,
                                         const USMapData& map, const std::vector<SpikeRecord>& records,
                                         FiringClampAnalysisSink& sink) {
  const bool fIsFrequency = fc.FunctionF == 0;
  const double Vus = s.stim.Vus;
  if (Vus == 0.0) throw RangeError("the estimates split the input into gE and gI by Vus, which is 0");
  FiringClampAnalysis out;
  sink.Maps(map);
  for (const SpikeRecord& r : records) sink.Exact(r.uu, r.ss);
  double u0 = 0.0, s0 = 0.0;
  StartPoint(map, u0, s0);
  sink.Start(u0, s0);
  FiringClampAnalysisSink* trials = in.StepByStep ? &sink : nullptr;
  if (in.WienerKernel) LoadStoredZ(s, zIn.storedFolder);
  const NeuronProperties& np = s.NP0;
  for (const SpikeRecord& r : records) {
    if (host.StopRequested()) {
      out.stopped = true;
      break;
    }
    host.ProcessEvents();
    const Inversion inv = InvertFG(map, u0, s0, r.F, r.G, fIsFrequency, trials);
    sink.Estimation(inv.u, inv.s);
    if (std::abs(inv.u - u0) > 1e-6) {
      double u = inv.u, sIn = inv.s;
      // The clamp's own corrections at the spike are not part of the synaptic input.
      auto split = [&](double uu, double ss, double& gE, double& gI) {
        gE = -(uu - r.uAtSpikeCorr) / Vus;
        gI = (uu - r.uAtSpikeCorr) / Vus + (ss - r.sAtSpikeCorr);
      };
      double gE = 0.0, gI = 0.0;
      split(u, sIn, gE, gI);
      sink.Conductances(EstimateKind::FiringClamp, r.tLastSpike, gE, gI);
      if (in.Unsteadiness) {
        // The trough of the interval below or above the steady one tells how
        // far from its steady orbit the neuron was: shift the targets by it.
        const double Vmin = r.VTroughLast;
        const double T = InterpolateTrough(map, sIn, u);
        const double den = -(Vmin - np.Vrest) * TroughLeak(np) - (Vmin - Vus) * sIn + u;
        if (den != 0.0 && std::isfinite(den)) {
          const double e = (Vmin - T) * np.Cm / den;
          const Inversion un = InvertFG(map, u, sIn, r.F + r.F * r.F * e, r.G + e * Vmin * r.F, fIsFrequency, trials);
          if (un.accepted) {
            u = un.u;
            sIn = un.s;
            split(u, sIn, gE, gI);
            sink.Conductances(EstimateKind::Unsteadiness, r.tLastSpike, gE, gI);
          }
        }
      }
      if (in.WienerKernel && r.F > 0.0) {
        if (WienerCorrection(s, fc, map, in.wienerTrace, u, sIn, r.tLastSpike, r.tLastSpike - 1.0 / r.F)) {
          split(u, sIn, gE, gI);
          sink.Conductances(EstimateKind::Wiener, r.tLastSpike, gE, gI);
        }
      }
      if (static_cast<std::int32_t>(out.estimates.size()) < kMaxEstimates) {
        out.estimates.push_back({r.tLastSpike, gE, gI, r.F, r.G, u, sIn});
      }
    }
    if (in.StepByStep) WaitWhilePaused(s, host);
  }
  return out;
}

std::vector<SpikeRecord> CheckRecords(const USMapData& map) {
  // A quarter circle of radius 0.75 mA/cm² in u and 0.05 in s. A map that does
  // not hold that circle gets it scaled to three quarters of its own ranges,
  // from its origin, so that the test always probes the mapped region.
  const double uMax = map.u0 + map.nue * map.du, sMax = map.s0 + map.nse * map.ds;
  const bool fits = map.u0 <= 0.0 && uMax >= 0.75 && map.s0 <= 0.0 && sMax >= 0.05;
  const double ru = fits ? 0.75 : 0.75 * (uMax - map.u0), rs = fits ? 0.05 : 0.75 * (sMax - map.s0);
  const double cu = fits ? 0.0 : map.u0, cs = fits ? 0.0 : map.s0;
  std::vector<SpikeRecord> records;
  for (std::int32_t i = 0; i < 20; ++i) {
    const double phi = std::numbers::pi / 2.0 / 19.0 * i;
    SpikeRecord r;
    r.ss = cs + rs * std::cos(phi);
    r.uu = cu + ru * std::sin(phi);
    InterpolateFG(map, r.ss, r.uu, r.F, r.G);
    r.VTroughLast = InterpolateTrough(map, r.ss, r.uu);
    r.tLastSpike = 0.001 * i;
    r.uInput = r.uu;
    r.sInput = r.ss;
    records.push_back(r);
  }
  return records;
}

FiringClampAnalysis CheckFiringClamp(Session& s, const FiringClampAnalysisInputs& in, const FiringClampInputs& fc,
                                     const ZFunctionInputs& zIn, Host& host,
                                     const USMapData& map, FiringClampAnalysisSink& sink) {
  RequireFiringPoint(map);
  const std::vector<SpikeRecord> records = CheckRecords(map);
  if (std::none_of(records.begin(), records.end(), [](const SpikeRecord& r) { return r.F != 0.0; })) {
    const std::string where = map.file.empty() ? std::string("the map") : map.file;
    throw NothingToAnalyseError(where + ": none of the " + std::to_string(records.size()) +
                                " points of the check's quarter circle lies where the map fires");
  }
  return AnalyzeByFiringClamp(s, in, fc, zIn, host, map, records, sink);
}

void MeanConductances(const Session& s, double t, double& gE, double& gI) {
  const double Vus = s.stim.Vus;
  const double gE0 = -s.stim.uu / Vus, gI0 = s.stim.uu / Vus + s.stim.ss;
  if (!InPulseWindow(s.stim, t)) {
    gE = gI = 0.0;
    return;
  }
  const double phase = -std::numbers::pi / 2.0;
  gE = s.prog.tau_E > 0.0 ? gE0 * (std::sin(2.0 * std::numbers::pi * t / s.prog.tau_E + phase) + 1.0) : gE0;
  gI = s.prog.tau_I > 0.0 ? gI0 * (std::sin(2.0 * std::numbers::pi * t / s.prog.tau_I + phase) + 1.0) : gI0;
}

std::string TrialEstimateLine(const FiringClampEstimate& e, double Vus) {
  std::string line;
  AppendFixed(line, e.t * 1000.0, 9, 3);
  for (double x : {e.gE, e.gI, -Vus * e.gE * 1000.0, e.gE + e.gI}) {
    line += ' ';
    AppendFixed(line, x, 9, 4);
  }
  return line;
}

namespace {

// A sink that keeps what a worker's analysis would draw, for the calling thread.
struct CollectedAnalysis {
  std::vector<FiringClampEstimate> estimates;
  struct Pair {
    EstimateKind kind;
    double t, gE, gI;
  };
  std::vector<Pair> conductances;
  std::vector<std::pair<double, double>> exact, estimation;
};

}  // namespace

// A trial's analysis between processes.
template <>
struct SharedCodec<CollectedAnalysis> {
  static void Write(std::string& out, const CollectedAnalysis& c) {
    PutShared(out, c.estimates);
    PutShared(out, c.conductances);
    for (const auto* points : {&c.exact, &c.estimation}) {
      PutShared(out, static_cast<std::uint64_t>(points->size()));
      for (const auto& [u, s] : *points) {
        PutShared(out, u);
        PutShared(out, s);
      }
    }
  }
  static void Read(SharedReader& in, CollectedAnalysis& c) {
    in.Get(c.estimates);
    in.Get(c.conductances);
    for (auto* points : {&c.exact, &c.estimation}) {
      std::uint64_t n = 0;
      in.Get(n);
      points->clear();
      for (std::uint64_t k = 0; k < n; ++k) {
        double u = 0.0, s = 0.0;
        in.Get(u);
        in.Get(s);
        points->emplace_back(u, s);
      }
    }
  }
};

namespace {

class CollectingSink final : public FiringClampAnalysisSink {
 public:
  explicit CollectingSink(CollectedAnalysis& c) : c_(c) {}
  void Exact(double u, double s) override { c_.exact.emplace_back(u, s); }
  void Estimation(double u, double s) override { c_.estimation.emplace_back(u, s); }
  void Conductances(EstimateKind kind, double t, double gE, double gI) override {
    c_.conductances.push_back({kind, t, gE, gI});
  }

 private:
  CollectedAnalysis& c_;
};

class QuietRun final : public FiringClampSink {};

}  // namespace

TrialsOutcome RunTrials(Session& s, const FiringClampAnalysisInputs& in, const FiringClampInputs& fc,
                        const ZFunctionInputs& zIn, Host& host,
                        const USMapData& map, FiringClampAnalysisSink& sink, const std::string& meanFile,
                        const std::string& estimateFile) {
  const std::int32_t N = in.Trials;
  CheckTrialsInputs(in);
  CheckFiringClampSettings(s, fc);
  RequireFiringPoint(map);
  if (!meanFile.empty()) {
    SweepFile mean(meanFile);
    std::string line;
    const std::int64_t n = static_cast<std::int64_t>(std::floor(s.run.t_end / 0.001 + 1e-9));
    for (std::int64_t k = 0; k <= n; ++k) {
      const double t = 0.001 * static_cast<double>(k);
      double gE = 0.0, gI = 0.0;
      MeanConductances(s, t, gE, gI);
      line.clear();
      AppendFixed(line, t * 1000.0, 9, 3);
      line += ' ';
      AppendFixed(line, gE, 9, 4);
      line += ' ';
      AppendFixed(line, gI, 9, 4);
      mean.WriteLine(line);
    }
    mean.Close();
  }
  SweepFile out(estimateFile);
  TrialsOutcome outcome;
  // Every trial is its own noisy run with its own generator. The Wiener
  // correction reads back the trace its run wrote, one file for all: then the
  // trials take turns.
  Session base = s;
  const bool wiener = in.WienerKernel;
  if (wiener) base.parallel.workers = 1;
  FiringClampAnalysisInputs trialIn = in;
  trialIn.StepByStep = false;
  ZFunctionInputs trialZ = zIn;
  trialZ.kernelFile.clear();  // the trials run side by side: none writes the kernel file
  const double Vus = s.stim.Vus;
  // With the Wiener correction the trials take turns on one trace file: the
  // writer runs them all.
  if (wiener) LeaveIfHelper();
  auto runTrials = [&](auto&& run, auto&& deliver) {
    return wiener ? RunIndependent<CollectedAnalysis>(base, host, N, run, deliver)
                  : RunShared<CollectedAnalysis>(base, host, N, run, deliver);
  };
  const RunsOutcome runs = runTrials(
      [&](Session& copy, Host& workerHost, std::int64_t) {
        QuietRun quiet;
        FiringClampFiles files;
        files.records.clear();
        if (wiener) {
          files.trace = in.wienerTrace;
          copy.run.WriteMode = 1;
        }
        const FiringClampResult run = RunWithNoise(copy, fc, trialZ, workerHost, quiet, 1000, files);
        if (run.stopped) throw RunStopped{};
        CollectedAnalysis c;
        CollectingSink collect(c);
        FiringClampAnalysis a = AnalyzeByFiringClamp(copy, trialIn, fc, trialZ, workerHost, map, run.records, collect);
        if (a.stopped) throw RunStopped{};
        c.estimates = std::move(a.estimates);
        return c;
      },
      [&](std::int64_t k, CollectedAnalysis&& c) {
        sink.Maps(map);
        for (auto [u, sIn] : c.exact) sink.Exact(u, sIn);
        for (auto [u, sIn] : c.estimation) sink.Estimation(u, sIn);
        for (const auto& p : c.conductances) sink.Conductances(p.kind, p.t, p.gE, p.gI);
        for (const FiringClampEstimate& e : c.estimates) {
          out.WriteLine(TrialEstimateLine(e, Vus));
          ++outcome.estimates;
        }
        ++outcome.trials;
        sink.TrialDone(static_cast<std::int32_t>(k + 1), N);
      });
  outcome.stopped = runs.stopped;
  out.Close();
  if (!outcome.stopped && outcome.estimates == 0) {
    const std::string where = map.file.empty() ? std::string("the map") : map.file;
    throw NothingToAnalyseError("no estimate in " + std::to_string(outcome.trials) + (N == 1 ? " trial" : " trials") +
                                ": no record's F and G could be inverted against " + where + "; " + estimateFile +
                                " is empty");
  }
  return outcome;
}

bool WienerCorrection(Session& s, const FiringClampInputs& fc, const USMapData& map, const std::string& traceFile,
                      double& u, double& sIn,
                      double tEnd, double tBegin) {
  std::ifstream in(traceFile);
  if (!in) throw IoError(traceFile, "cannot be opened: tick \"Wiener Kernel\" before the run that writes it");
  // The analysis replays the trace through the spike detector and the ring:
  // what it moves of the session is put back afterwards.
  const NeuronVariables savedNV = s.NV0;
  const SpikeStats savedSpikes = s.spikes;
  const RunGlobals savedRun = s.run;
  NeuronVariables& nv = s.NV0;
  RunGlobals& run = s.run;
  bool found = false, inside = false;
  int lineNo = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNo;
    std::istringstream fields(line);
    double tMs = 0.0, VmV = 0.0;
    if (!(fields >> tMs >> VmV)) throw FormatError(traceFile, lineNo, "expected the time (ms) and the voltage (mV)");
    const double previous = nv.V;
    run.t = tMs / 1000.0;
    nv.V = VmV / 1000.0;
    if (!inside) {
      // The interval starts at the interpolated peak of a spike, between two
      // samples of the trace: it begins with the first sample at or after it.
      if (run.t < tBegin - 1e-8) continue;
      inside = true;
      nv.SpikePhase = 2;
      nv.tLastSpike = tBegin;
      StartRearmWait(s, nv.Rearm, nv.V);
      s.z.count = s.z.pos = 0;
      run.nt = 2;
    }
    if (run.t > tEnd + 1e-8) break;
    nv.Vprev = previous;
    TrackSpikesIn(s, s.NP0, nv);
    PushTrace(s, 0.0, 0.0, nv.V);
    ++run.nt;
    found = true;
  }
  bool replaced = false;
  if (found) {
    s.spikes.ISI[0] = tEnd - tBegin;
    s.z.samplesAfterSpike = 0;  // the replay stopped at the spike
    const NoisyInterval noisy = CaptureNoisyInterval(s);
    const IntervalDisturbance d = DisturbanceCurrent(s, noisy, u, sIn);
    if (d.ok) {
      const double c = noisy.freq / 91.5;  // the stored functions are stretched to the present rate
      const std::vector<double> I(d.I_dstb.end() - (d.n_c + 1), d.I_dstb.end());
      const double f = ZConvolution(s.z.storedZ, I, ZMode::UnderThr, c, d.n_c, savedRun.dt, d.v);
      const double w = ZConvolution(s.z.storedZVav, I, ZMode::UnderThr, c, d.n_c, savedRun.dt, d.v);
      const Inversion inv = InvertFG(map, u, sIn, noisy.freq - f, noisy.Vav - w, fc.FunctionF == 0);
      if (inv.accepted) {
        u = inv.u;
        sIn = inv.s;
        replaced = true;
      }
    }
  }
  s.NV0 = savedNV;
  s.spikes = savedSpikes;
  s.run = savedRun;
  return replaced;
}

}  // namespace membrix
