// membrix-cli ensemble and membrix-cli network: the population rate of an
// ensemble of uncoupled neurons (dispersed thresholds, noise, Gaussian
// conductances) and of the inhibitory network, written to the files the
// Gaussian-ensemble window writes.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/cli_sweep_support.h"
#include "app/cli_sweeps.h"
#include "population/ensemble.h"
#include "population/network.h"
#include "run/session.h"

namespace membrix {

namespace {

enum class EnsembleKind { Thresholds, Noise, Conductances };

struct PopulationOptions {
  SweepModelOptions model;
  EnsembleInputs in;
  SynapseInputs syn;
  EnsembleKind kind = EnsembleKind::Noise;
  EnsembleModel neuron = EnsembleModel::ConductanceBased;
  bool noise = false;
  double fixThreshold = -1.0;  // mV; negative = not ticked
  std::string dir;
  bool json = false;
};

// "j=" on a terminal, as the window shows it.
class ProgressLine {
 public:
  ProgressLine() : shown_(isatty(STDERR_FILENO) == 1) {}
  ~ProgressLine() {
    if (used_) std::cerr << "\n";
  }
  void Show(const char* what, std::int64_t j, std::int64_t n) {
    if (!shown_) return;
    std::cerr << "\r" << what << j << " of " << n << std::flush;
    used_ = true;
  }

 private:
  bool shown_;
  bool used_ = false;
};

class EnsemblePrinter final : public EnsembleSink {
 public:
  void Member(std::int64_t j, std::int64_t count) override { line.Show("j=", j, count); }
  ProgressLine line;
};

class ConductancePrinter final : public ConductanceEnsembleSink {
 public:
  void Member(std::int64_t i, std::int64_t count) override { line.Show("j=", i, count); }
  ProgressLine line;
};

class NetworkPrinter final : public NetworkSink {
 public:
  explicit NetworkPrinter(double t_end) : t_end_(t_end) {}
  void Time(double t) override { line.Show("t, ms = ", static_cast<std::int64_t>(t * 1000.0), static_cast<std::int64_t>(t_end_ * 1000.0)); }
  ProgressLine line;

 private:
  double t_end_;
};

void Prepare(Session& s, PopulationOptions& o) {
  ApplySweepModelOptions(s, o.model);
  if (o.model.dt > 0) o.in.dt = o.model.dt * 1000.0;  // --dt in seconds wins over the window's default
  if (o.model.thrModel) o.neuron = EnsembleModel::ThresholdModel;
  if (o.fixThreshold >= 0.0) {
    o.in.FixThreshold = true;
    o.in.FixThr = o.fixThreshold;
    ApplyFixThreshold(s, o.in);
  }
  s.ensemble = o.in;
  s.synapse = o.syn;
}

// The summary of a rate run. Its peak and mean are over the bins that hold a
// rate, 0 ... bins-1; with none (a run stopped before its first member was
// done) they are null in JSON and not printed.
void PrintRateSummary(const Session& s, const RateHistogram& ro, std::int32_t bins,
                      const std::vector<std::string>& files, bool complete, double sigmaV, bool withSigma,
                      double elapsed, bool json, const char* kind) {
  double peak = 0.0, sum = 0.0;
  for (std::int32_t k = 0; k < bins; ++k) {
    const double r = ro.ro()[static_cast<std::size_t>(k)];
    peak = k == 0 ? r : std::max(peak, r);
    sum += r;
  }
  const double mean = bins > 0 ? sum / bins : 0.0;
  const bool rated = bins > 0;
  if (json) {
    std::cout << "{\"kind\": " << JsonString(kind) << ", \"files\": [";
    for (std::size_t i = 0; i < files.size(); ++i) std::cout << (i ? ", " : "") << JsonString(files[i]);
    std::cout << "], \"complete\": " << (complete ? "true" : "false") << ", \"workers\": " << WorkerCount(s.parallel)
              << ", \"bins\": " << bins << ", \"bin_ms\": " << CliNumber(ro.Delta() * 1000.0)
              << ", \"rate_peak_Hz\": " << (rated ? CliNumber(peak) : "null")
              << ", \"rate_mean_Hz\": " << (rated ? CliNumber(mean) : "null");
    if (withSigma) std::cout << ", \"sigmaV_mV\": " << (rated ? CliNumber(sigmaV) : "null");
    std::cout << ", \"elapsed_seconds\": " << CliNumber(elapsed) << "}\n";
    return;
  }
  std::cout << "model: " << s.NP0.HH_type << ", " << s.NP0.HH_order << "; " << kind;
  if (rated) {
    const double covered = bins == ro.Nrate() + 1 ? s.run.t_end : ro.TimeOf(bins - 1);
    std::cout << "; rate peak " << CliNumber(peak) << " Hz, mean " << CliNumber(mean) << " Hz over "
              << CliNumber(covered * 1000.0) << " ms";
    if (withSigma) std::cout << "; sgmV " << CliNumber(sigmaV) << " mV";
  } else {
    std::cout << "; no rate";
  }
  std::cout << "\nwritten:";
  for (const std::string& f : files) std::cout << " " << f;
  std::cout << " (" << CliNumber(elapsed) << " s)\n";
}

// A stopped ensemble: its file holds the rate of the members done.
int ReportStoppedEnsemble(const std::string& file, std::int64_t done, std::int64_t total) {
  std::cerr << "membrix-cli: stopped after " << done << " of " << total << " members; " << file;
  if (done > 0) {
    std::cerr << " holds the rate of those " << done << " members and is not complete\n";
  } else {
    std::cerr << " is empty\n";
  }
  return 130;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int RunEnsembleCommand(PopulationOptions o) {
  Session s;
  Prepare(s, o);
  SweepHost host;
  const auto start = std::chrono::steady_clock::now();
  if (o.kind == EnsembleKind::Conductances) {
    ConductancePrinter printer;
    const ConductanceEnsembleResult r = RunGaussianConductances(s, host, printer, o.neuron, o.dir);
    const double elapsed = Seconds(start);
    const std::vector<std::string> files = {EnsemblePath(o.dir, kGaussTVFileName),
                                            EnsemblePath(o.dir, kGaussMeanDispFileName),
                                            EnsemblePath(o.dir, kGaussVMeanFileName),
                                            EnsemblePath(o.dir, kGaussBoundFileName)};
    double maxD = 0.0, maxS = 0.0;
    for (const DispersionPoint& p : r.dispersion) maxD = std::max(maxD, p.D);
    for (const LinearisedPoint& p : r.linearised) maxS = std::max(maxS, std::abs(p.sigmaV));
    // Values over no member are not zeros: they are absent.
    const auto value = [](bool known, double x) { return known ? CliNumber(x) : std::string("null"); };
    const bool any = r.members > 0;
    if (o.json) {
      std::cout << "{\"kind\": \"conductances\", \"files\": [";
      for (std::size_t i = 0; i < files.size(); ++i) std::cout << (i ? ", " : "") << JsonString(files[i]);
      std::cout << "], \"complete\": " << (r.stopped ? "false" : "true") << ", \"members\": " << r.members
                << ", \"first_spike_ms\": " << value(any, r.T_min * 1000.0)
                << ", \"max_dispersion_mV\": " << value(!r.dispersion.empty(), maxD * 1000.0)
                << ", \"max_linear_sigma_mV\": " << value(!r.linearised.empty(), maxS * 1000.0)
                << ", \"elapsed_seconds\": " << CliNumber(elapsed) << "}\n";
    } else if (any) {
      std::cout << "model: " << s.NP0.HH_type << ", " << s.NP0.HH_order << "; earliest first spike "
                << CliNumber(r.T_min * 1000.0) << " ms; largest dispersion " << CliNumber(maxD * 1000.0)
                << " mV, linear estimate " << CliNumber(maxS * 1000.0) << " mV\nwritten:";
      for (const std::string& f : files) std::cout << " " << f;
      std::cout << " (" << CliNumber(elapsed) << " s)\n";
    }
    if (r.stopped) {
      std::cerr << "membrix-cli: stopped after " << r.members << " of " << o.in.MeshG + 1 << " members; "
                << files[2] << " holds the statistics of those " << r.members << " members, and with the other "
                << "files it is not complete\n";
      return 130;
    }
    return 0;
  }
  EnsemblePrinter printer;
  const bool noise = o.kind == EnsembleKind::Noise;
  const EnsembleResult r = noise ? RunNoiseEnsemble(s, host, printer, o.neuron, o.dir)
                                 : RunGaussianThresholds(s, host, printer, o.neuron, o.dir);
  std::vector<std::string> files = {r.file};
  if (noise) files.push_back(EnsemblePath(o.dir, kOneCurveFileName));
  const bool rated = !r.outcome.stopped || r.outcome.delivered > 0;
  PrintRateSummary(s, r.ro, rated ? r.ro.Nrate() + 1 : 0, files, !r.outcome.stopped, r.sigmaV, noise,
                   Seconds(start), o.json, noise ? "noise" : "thresholds");
  if (r.outcome.stopped) return ReportStoppedEnsemble(r.file, r.outcome.delivered, EnsembleMembers(o.in));
  return 0;
}

int RunNetworkCommand(PopulationOptions o) {
  Session s;
  Prepare(s, o);
  SweepHost host;
  NetworkPrinter printer(o.in.t_end / 1000.0);
  const auto start = std::chrono::steady_clock::now();
  const NetworkResult r = RunNetwork(s, host, printer, o.neuron, o.noise, o.dir);
  const std::vector<std::string> files = {EnsemblePath(o.dir, kRateFileName), EnsemblePath(o.dir, kOneCurveFileName)};
  PrintRateSummary(s, r.ro, r.bins, files, !r.stopped, 0.0, false, Seconds(start), o.json, "network");
  if (r.stopped) {
    std::cerr << "membrix-cli: stopped; " << files[0] << " holds the bins up to the stop and is not complete\n";
    return 130;
  }
  return 0;
}

// The inputs both commands share: the "Problem" group and the members.
void AddProblemOptions(CLI::App& cmd, PopulationOptions& o) {
  AddSweepModelOptions(cmd, o.model);
  const std::map<std::string, EnsembleModel> models = {{"hh", EnsembleModel::ConductanceBased},
                                                       {"thr", EnsembleModel::ThresholdModel}};
  cmd.add_option("--model", o.neuron, "Members: hh (conductance-based, \"Run HH\") or thr (\"Run Thr. Model\")")
      ->transform(CLI::CheckedTransformer(models, CLI::ignore_case));
  cmd.add_option("--dt-ms", o.in.dt, "\"dt, ms\" (default 0.05)")->check(CLI::PositiveNumber);
  cmd.add_option("--t-end-ms", o.in.t_end, "\"t_end, ms\" (default 120)")->check(CLI::PositiveNumber);
  cmd.add_option("--t-iind-ms", o.in.t_Iind, "\"t_Iind, ms\": length of the current step (default 2000)");
  cmd.add_option("--oscillations-hz", o.in.Freq_Iind, "\"Oscillations, Hz\" (default 0)");
  cmd.add_option("--iind", o.in.Iind, "\"Iind, pA\" (default 300)");
  cmd.add_option("--nrate", o.in.Nrate, "\"Mesh for rate, Nrate\": rate bins over t_end, at most 1000 (default 240)")
      ->check(CLI::Range(1, kMaxRateBins));
  cmd.add_option("--mesh", o.in.MeshGauss, "\"Mesh for Gauss\" (default 4000)")->check(CLI::NonNegativeNumber);
  cmd.add_option("--sgm-v", o.in.sgm_V, "\"sgm_V\": the spread (default 3)");
  cmd.add_flag("--renewal", o.in.ThrRenewal, "\"Thr. Renewal\": a new threshold shift after each spike");
  cmd.add_option("--fix-threshold-mv", o.fixThreshold,
                 "Tick \"Fix Threshold, mV:\" with this value: FixThr = value/1000 + ThrShift");
  cmd.add_option("--dir", o.dir, "Folder for the files (default: the working folder)")->type_name("DIR");
  cmd.add_flag("--json", o.json, "Print one JSON object: kind, files, complete, rate_peak_Hz, rate_mean_Hz, ...");
}

}  // namespace

CLI::App* AddEnsembleCommand(CLI::App& app, SweepCommand& command) {
  auto o = std::make_shared<PopulationOptions>();
  CLI::App* cmd = app.add_subcommand(
      "ensemble",
      "Population rate ro(t) of uncoupled neurons under one current step. --kind thresholds: \"Mesh for "
      "Gauss\"+1 members with Gaussian threshold shifts and/or leak conductances (with --renewal a new shift "
      "after each spike), written to \"rate(t).dat\"; --kind noise: identical members with independent white "
      "(--tau-noise-ms 0) or coloured noise currents and Gaussian start voltages, \"RateNoise(t).dat\" and "
      "\"OneCurve(t).dat\" (member 0), with the voltage spread sgmV at --t-measure-ms; --kind conductances: "
      "members with a Gaussian excitatory conductance followed to their first spike, the mean and dispersion "
      "of V against the linear estimate, \"Gauss(t,V).dat\", \"Gauss_Mean_Disp.dat\", \"Gauss_V(MeanGE).dat\", "
      "\"Gauss_bound.dat\". Members run on all cores; the files do not depend on the number of workers.");
  AddProblemOptions(*cmd, *o);
  const std::map<std::string, EnsembleKind> kinds = {
      {"thresholds", EnsembleKind::Thresholds}, {"noise", EnsembleKind::Noise}, {"conductances", EnsembleKind::Conductances}};
  cmd->add_option("--kind", o->kind, "thresholds, noise or conductances (default noise)")
      ->transform(CLI::CheckedTransformer(kinds, CLI::ignore_case));
  const std::map<std::string, SigmaUnit> units = {{"mV", SigmaUnit::InMV}, {"nondim", SigmaUnit::Nondim}};
  cmd->add_option("--sigma-unit", o->in.sigmaUnit,
                  "\"in mV\" (mV: sgm_V in mV) or \"nondim.\" (nondim: the leak spread relative); default mV")
      ->transform(CLI::CheckedTransformer(units, CLI::ignore_case));
  const std::map<std::string, DispersionKind> spreads = {{"thr", DispersionKind::Threshold},
                                                         {"gl", DispersionKind::Leak},
                                                         {"thr-gl", DispersionKind::ThresholdAndLeak}};
  cmd->add_option("--disperse", o->in.disperse,
                  "\"Disperse Thr.\" (thr), \"Disperse gL\" (gl), \"Disperse Thr. and gL\" (thr-gl); default thr")
      ->transform(CLI::CheckedTransformer(spreads, CLI::ignore_case));
  cmd->add_option("--t-measure-ms", o->in.tMeasure, "Time of the sgmV measurement, ms (noise; default 100)");
  cmd->add_option("--tau-noise-ms", o->in.tau_Noise, "\"tau_Noise=\", ms; 0 = white noise (default 0)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--ampl-ge", o->in.Ampl_gE, "\"Ampl_gE, mS/cm^2\" (conductances; default 0.01)");
  cmd->add_option("--tau-e-ms", o->in.tau_E, "\"tau_E, ms\": course sin^2(t/tau_E); 0 = constant (default 0)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--sigma-g", o->in.sigmaG, "\"sigmaG_nd\": relative spread of gE (default 0.2)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--iind-g", o->in.IindG, "\"Iind, pA\" of the conductance group (default 0)");
  cmd->add_option("--mesh-g", o->in.MeshG, "\"Mesh for Gauss\" of the conductance group (default 4)")
      ->check(CLI::PositiveNumber);
  command = [o] { return RunEnsembleCommand(*o); };
  return cmd;
}

CLI::App* AddNetworkCommand(CLI::App& app, SweepCommand& command) {
  auto o = std::make_shared<PopulationOptions>();
  o->in.MeshGauss = 400;
  CLI::App* cmd = app.add_subcommand(
      "network",
      "The inhibitory network: \"Mesh for Gauss\" members (below 10000; default here 400) share one GABA "
      "synapse driven by their own population rate after a delay. Without --noise each member has a Gaussian "
      "threshold shift (sgm_V, mV); with --noise members start from Gaussian voltages and receive independent "
      "white-noise currents. Writes \"rate(t).dat\" (t ms, rate Hz, gate mGABA) and \"OneCurve(t).dat\" (the "
      "middle member's voltage).");
  AddProblemOptions(*cmd, *o);
  cmd->add_flag("--noise", o->noise, "Members with white-noise currents (\"Written only for white noise\")");
  cmd->add_option("--gaba", o->syn.gGABA, "\"gGABA, mS/cm^2\" (default 1)")->check(CLI::NonNegativeNumber);
  cmd->add_option("--alpha-hz", o->syn.alGABA, "\"alGABA, Hz\" (default 320)")->check(CLI::PositiveNumber);
  cmd->add_option("--beta-hz", o->syn.beGABA, "\"beGABA,Hz\" (default 320)")->check(CLI::PositiveNumber);
  cmd->add_option("--vgaba-mv", o->syn.VGABA, "\"VGABA, mV\" (default -80)");
  cmd->add_option("--delay-ms", o->syn.delay, "\"delay, ms\" (default 1)")->check(CLI::NonNegativeNumber);
  command = [o] { return RunNetworkCommand(*o); };
  return cmd;
}

}  // namespace membrix
