// membrix-cli fc-analysis: noisy firing-clamp runs whose per-spike records are
// inverted against a (u,s) map into the conductances gE and gI that drove the
// neuron; --check inverts synthetic records taken from the map itself.
// membrix-cli kernel: the Z-function kernel of a noisy run, and the one-ISI
// analysis with the stored Z-functions.

#include <CLI/CLI.hpp>
#include <cmath>
#include <iostream>
#include <memory>
#include <string>

#include "analysis/firing_clamp.h"
#include "analysis/firing_clamp_analysis.h"
#include "analysis/z_function.h"
#include "app/cli_sweep_support.h"
#include "app/cli_sweeps.h"
#include "common/error.h"
#include "common/number_format.h"
#include "run/clamp_run.h"
#include "run/independent_runs.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/task_files.h"

namespace membrix {

namespace {

// The noisy run both commands start from.
struct NoisyRunOptions {
  SweepModelOptions model;
  double uMicro = 5.0, s = 0.2;  // the mean input, µA/cm² and mS/cm²
  int mode = -1;
  double freq = -1, dFdu = -1, I0 = 10.0;
  double noiseToSignal = 0.1, tauNoise = 2.0, tauE = 0.0, tauI = 0.0;
  int f = 0, g = 1;
  double tEndMs = 1000.0;
};

void AddNoisyRunOptions(CLI::App& cmd, NoisyRunOptions& o) {
  AddSweepModelOptions(cmd, o.model);
  cmd.add_option("--u", o.uMicro, "Mean input current u, µA/cm² (default 5)");
  cmd.add_option("--s", o.s, "Mean input conductance s, mS/cm² (default 0.2)");
  cmd.add_option("--mode", o.mode, "Clamp mode by its index 0 ... 12 (default: none, open loop)")
      ->check(CLI::Range(-1, 12));
  cmd.add_option("--freq", o.freq, "Target rate of the clamp, Hz")->check(CLI::NonNegativeNumber);
  cmd.add_option("--dfdu", o.dFdu, "Hz per mA/cm² of u; the clamp is off while 0");
  cmd.add_option("--i0", o.I0, "\" I0, mkA/cm^2:\" (default 10)");
  cmd.add_option("--noise-to-signal", o.noiseToSignal, "Deviation of the conductances over their mean (default 0.1)")
      ->check(CLI::NonNegativeNumber);
  cmd.add_option("--tau-noise", o.tauNoise, "Correlation time of the noise, ms (default 2; 0 = white)")
      ->check(CLI::NonNegativeNumber);
  cmd.add_option("--tau-e", o.tauE, "Period of the excitatory modulation, ms (default 0 = none)")
      ->check(CLI::NonNegativeNumber);
  cmd.add_option("--tau-i", o.tauI, "Period of the inhibitory modulation, ms (default 0 = none)")
      ->check(CLI::NonNegativeNumber);
  cmd.add_option("--f", o.f, "F recorded at a spike and read from the map: 0 Frequency (default) ... 6 Th")
      ->check(CLI::Range(0, 6));
  cmd.add_option("--g", o.g, "G likewise: 0 dV/dt, 1 Average voltage (default), 2 MinVoltage, 3 MaxVoltage ... 6 IxZ")
      ->check(CLI::Range(0, 6));
  cmd.add_option("--t-end-ms", o.tEndMs, "Length of each run, ms (default 1000)")->check(CLI::PositiveNumber);
}

void ApplyNoisyRunOptions(Session& s, FiringClampInputs& fc, const NoisyRunOptions& o) {
  ApplySweepModelOptions(s, o.model);
  fc.Mode = o.mode;
  fc.FunctionF = o.f;
  fc.FunctionG = o.g;
  if (o.freq >= 0) s.prog.FC_freq = o.freq;
  if (o.dFdu >= 0) s.prog.FC_dFdu = o.dFdu;
  s.prog.FC_I0 = o.I0 / 1000.0;
  s.prog.NoiseToSignal = o.noiseToSignal;
  s.stim.tau_Noise = o.tauNoise / 1000.0;
  s.prog.tau_E = o.tauE / 1000.0;
  s.prog.tau_I = o.tauI / 1000.0;
  s.stim.uu = o.uMicro / 1000.0;
  s.stim.ss = o.s;
  s.stim.Iind = 0.0;
  s.stim.t_IindShift = 0.0;
  s.stim.t_Iind = 1e8;
  SetRunLength(s.run, o.tEndMs / 1000.0);
}

struct FCAnalysisOptions {
  NoisyRunOptions run;
  std::string map = kUSMapFile;
  bool linear = false, check = false, wiener = false, unsteadiness = false;
  int trials = 1;
  std::string meanOutput = kMeanConductanceFile, output = kTrialEstimateFile;
  bool json = false;
};

// Counts the trials on the terminal and keeps the distance of every estimate
// from the mean conductances of its time.
class TrialProgress final : public FiringClampAnalysisSink {
 public:
  TrialProgress(SweepHost& host, const Session& s) : host_(host), s_(s) {}
  void TrialDone(std::int32_t k, std::int32_t n) override { host_.Progress(k, n); }
  void Conductances(EstimateKind kind, double t, double gE, double gI) override {
    if (kind != final_) return;
    double mE = 0.0, mI = 0.0;
    MeanConductances(s_, t, mE, mI);
    errE += std::abs(gE - mE);
    errI += std::abs(gI - mI);
    ++n;
    // The second half of a run, once the neuron's adaptation has settled.
    if (t > s_.run.t_end / 2.0) {
      lateE += std::abs(gE - mE);
      lateI += std::abs(gI - mI);
      ++late;
    }
  }
  EstimateKind final_ = EstimateKind::FiringClamp;
  double errE = 0.0, errI = 0.0, lateE = 0.0, lateI = 0.0;
  std::int64_t n = 0, late = 0;

 private:
  SweepHost& host_;
  const Session& s_;
};

// A value the run did not estimate: null in JSON, never a zero.
std::string JsonValue(bool known, double x) { return known ? CliNumber(x) : std::string("null"); }

int RunCheck(Session& s, const TaskInputs& in, const USMapData& map, bool json) {
  SweepHost host;
  FiringClampAnalysisSink none;
  const std::vector<SpikeRecord> records = CheckRecords(map);
  const FiringClampAnalysis a = CheckFiringClamp(s, in.fcAnalysis, in.firingClamp, in.zInputs, host, map, none);
  const double Vus = s.stim.Vus;
  double eu = 0.0, es = 0.0;
  std::size_t firing = 0;
  for (const SpikeRecord& r : records) firing += r.F != 0.0 ? 1 : 0;
  if (!json) std::cout << "   u true    s true     u est     s est   (u in µA/cm²)\n";
  for (const FiringClampEstimate& e : a.estimates) {
    const SpikeRecord& r = records[static_cast<std::size_t>(std::lround(e.t * 1000.0))];
    const double u = -Vus * e.gE;
    eu = std::max(eu, std::abs(u - r.uu));
    es = std::max(es, std::abs(e.gE + e.gI - r.ss));
    if (!json) {
      std::cout << CliNumber(r.uu * 1000.0) << "  " << CliNumber(r.ss) << "  " << CliNumber(u * 1000.0) << "  "
                << CliNumber(e.gE + e.gI) << "\n";
    }
  }
  const bool any = !a.estimates.empty();
  if (json) {
    std::cout << "{\"points\": " << records.size() << ", \"firing_points\": " << firing
              << ", \"estimates\": " << a.estimates.size() << ", \"max_error_u_uA\": " << JsonValue(any, eu * 1000.0)
              << ", \"max_error_s\": " << JsonValue(any, es) << "}\n";
  } else {
    std::cout << a.estimates.size() << " of the " << firing << " firing points of the 20 recovered";
    if (any) std::cout << "; largest error " << CliNumber(eu * 1000.0) << " µA/cm² in u, " << CliNumber(es) << " in s";
    std::cout << "\n";
  }
  return a.estimates.size() == firing ? 0 : 3;
}

int RunFCAnalysis(const FCAnalysisOptions& o) {
  Session s;
  TaskInputs in;
  ApplyNoisyRunOptions(s, in.firingClamp, o.run);
  in.fcAnalysis.mapFile = o.map;
  in.fcAnalysis.linear = o.linear;
  in.fcAnalysis.WienerKernel = o.wiener;
  in.fcAnalysis.Unsteadiness = o.unsteadiness;
  in.fcAnalysis.Trials = o.trials;
  if (!o.check) CheckTrialsInputs(in.fcAnalysis);
  // The estimates never land on the map they are read from, nor on the
  // parameter file or its recordings.
  std::vector<TaskFile> inputs = ParameterFileInputs(s);
  inputs.push_back({"--map", o.map});
  if (!o.check) GuardOutputs(inputs, {{"--output", o.output}, {"--mean-output", o.meanOutput}});
  const USMapData map = ReadAnalysisMap(in.fcAnalysis, in.firingClamp);
  if (o.check) {
    LeaveIfHelper();  // a single run: the writer does it alone
    return RunCheck(s, in, map, o.json);
  }

  SweepHost host;
  TrialProgress sink(host, s);
  if (o.wiener) sink.final_ = EstimateKind::Wiener;
  const TrialsOutcome r = RunTrials(s, in.fcAnalysis, in.firingClamp, in.zInputs, host, map, sink, o.meanOutput,
                                    o.output);
  const bool any = sink.n > 0, anyLate = sink.late > 0;
  const double errE = any ? sink.errE / static_cast<double>(sink.n) : 0.0;
  const double errI = any ? sink.errI / static_cast<double>(sink.n) : 0.0;
  const double lateE = anyLate ? sink.lateE / static_cast<double>(sink.late) : 0.0;
  const double lateI = anyLate ? sink.lateI / static_cast<double>(sink.late) : 0.0;
  const double Vus = s.stim.Vus;
  const double gE0 = -s.stim.uu / Vus, gI0 = s.stim.uu / Vus + s.stim.ss;
  if (o.json) {
    std::cout << JsonSweepHead(o.output, !r.stopped)
              << ", \"trials\": " << r.trials << ", \"estimates\": " << r.estimates
              << ", \"mean_gE\": " << CliNumber(gE0) << ", \"mean_gI\": " << CliNumber(gI0)
              << ", \"mean_abs_error_gE\": " << JsonValue(any, errE)
              << ", \"mean_abs_error_gI\": " << JsonValue(any, errI) << ", \"late_estimates\": " << sink.late
              << ", \"late_mean_abs_error_gE\": " << JsonValue(anyLate, lateE)
              << ", \"late_mean_abs_error_gI\": " << JsonValue(anyLate, lateI) << "}\n";
  } else {
    std::cout << r.trials << " trials, " << r.estimates << " estimates written to " << o.output << "; the mean "
              << "conductances are in " << o.meanOutput << "\n";
    std::cout << "true mean gE " << CliNumber(gE0) << ", gI " << CliNumber(gI0) << " mS/cm²";
    if (any) {
      std::cout << "; mean distance of the estimates from the mean: gE " << CliNumber(errE) << ", gI "
                << CliNumber(errI) << "; in the second half of the runs (" << sink.late << " estimates)";
      if (anyLate) std::cout << ": gE " << CliNumber(lateE) << ", gI " << CliNumber(lateI);
    }
    std::cout << "\n";
  }
  if (r.stopped) return ReportStoppedSweep(o.output, r.trials, o.trials, "trials");
  return 0;
}

struct KernelOptions {
  NoisyRunOptions run;
  int input = 0, output = 1, oneISI = 0;
  std::string storedFolder, kernelOutput = "func_Z.dat", map = kUSMapFile;
  bool json = false;
};

int RunKernel(const KernelOptions& o) {
  Session s;
  TaskInputs in;
  ApplyNoisyRunOptions(s, in.firingClamp, o.run);
  in.zInputs.Visible = true;
  in.zInputs.Input = o.input;
  in.zInputs.Output = o.output;
  in.zInputs.storedFolder = o.storedFolder;
  in.zInputs.kernelFile = o.kernelOutput;
  in.fcAnalysis.mapFile = o.map;
  std::vector<TaskFile> inputs = ParameterFileInputs(s);
  inputs.push_back({"--map", o.map});
  if (!o.storedFolder.empty()) inputs.push_back({"--stored-folder", o.storedFolder});
  if (!o.kernelOutput.empty()) GuardOutputs(inputs, {{"--kernel-output", o.kernelOutput}});
  SweepHost host;
  if (o.oneISI > 0) {
    in.zInputs.n_repeat = o.oneISI;
    FiringClampAnalysisSink none;
    const OneISIResult r = AnalyseOneISI(s, in.fcAnalysis, in.firingClamp, in.zInputs, host, none);
    // Nothing analysed (only after a stop: otherwise it is an error) leaves no
    // prediction and no errors to print.
    const bool any = r.repeats > 0;
    if (o.json) {
      std::cout << "{\"complete\": " << (r.stopped ? "false" : "true") << ", \"repeats\": " << r.repeats
                << ", \"delta_freq\": " << JsonValue(any, r.delta_freq)
                << ", \"u0_uA\": " << JsonValue(any, r.u0 * 1000.0) << ", \"s0\": " << JsonValue(any, r.s0)
                << ", \"u1_uA\": " << JsonValue(any, r.u1 * 1000.0) << ", \"s1\": " << JsonValue(any, r.s1)
                << ", \"error_u0_uA\": " << JsonValue(any, r.e_u0 * 1000.0)
                << ", \"error_s0\": " << JsonValue(any, r.e_s0)
                << ", \"error_u1_uA\": " << JsonValue(any, r.e_u1 * 1000.0)
                << ", \"error_s1\": " << JsonValue(any, r.e_s1) << ", \"attempted\": " << r.attempted
                << ", \"skipped_no_records\": " << r.skipped[0] << ", \"skipped_no_estimate\": " << r.skipped[1]
                << ", \"skipped_silent_pre_run\": " << r.skipped[2] << "}\n";
    } else {
      if (any) {
        std::string line = "delta_freq =";
        AppendFixed(line, r.delta_freq, 6, 1);
        std::cout << line << "\n";
      }
      std::cout << r.repeats << " of " << o.oneISI << " intervals analysed";
      if (any) {
        std::cout << "; mean errors before the correction: u " << CliNumber(r.e_u0 * 1000.0) << " µA/cm², s "
                  << CliNumber(r.e_s0) << "; after: u " << CliNumber(r.e_u1 * 1000.0) << " µA/cm², s "
                  << CliNumber(r.e_s1);
      }
      std::cout << "\n";
      if (r.Skipped() > 0) std::cout << OneISISkippedText(r) << "\n";
    }
    if (r.stopped) {
      std::cerr << "membrix-cli: stopped after " << r.attempted << " of " << o.oneISI << " repeats\n";
      return 130;
    }
    return 0;
  }
  class Quiet final : public FiringClampSink {} quiet;
  FiringClampFiles files;
  files.records.clear();
  const FiringClampResult r = RunWithNoise(s, in.firingClamp, in.zInputs, host, quiet, 100000, files);
  // The kernel file is written at the run's last step; a run that ended early
  // writes it here.
  if (!o.kernelOutput.empty()) WriteKernelFile(s.z, s.run.dt, o.kernelOutput);
  if (!r.stopped && s.z.K == 0) {
    throw NothingToAnalyseError("no interval averaged into the kernel: the run had " + std::to_string(r.nSpikes) +
                                " spikes, and an interval counts when it follows a spike within 1000 steps" +
                                (o.kernelOutput.empty() ? std::string() : "; " + o.kernelOutput + " holds zeros"));
  }
  if (o.json) {
    std::cout << JsonSweepHead(o.kernelOutput, !r.stopped)
              << ", \"spikes\": " << r.nSpikes << ", \"kernel_updates\": " << s.z.K << ", \"lags\": " << s.z.W + 1
              << "}\n";
  } else {
    std::cout << r.nSpikes << " spikes, " << s.z.K << " intervals averaged into the kernel of " << s.z.W + 1
              << " lags; written to " << o.kernelOutput << "\n";
  }
  return r.stopped ? 130 : 0;
}

}  // namespace

CLI::App* AddFCAnalysisCommand(CLI::App& app, SweepCommand& command) {
  auto o = std::make_shared<FCAnalysisOptions>();
  CLI::App* cmd = app.add_subcommand(
      "fc-analysis",
      "From spike records back to conductances: runs the noisy firing clamp --trials times (1000 spikes or "
      "--t-end-ms each), inverts the F and G recorded at every spike against the (u,s) map --map (made by "
      "\"membrix-cli map\" with the same model) and writes the estimated gE and gI: \"mean_gE_gI(t).dat\" "
      "(t ms, the true mean gE and gI every ms) and \"gE_gI(t).dat\" (t ms, gE, gI, u µA/cm², s per estimate). "
      "--check instead inverts 20 records taken from the map itself on a quarter circle and prints what came back "
      "(exit status 3 when a firing point is not recovered).");
  AddNoisyRunOptions(*cmd, o->run);
  cmd->add_option("--map", o->map, "The (u,s) map file (default \"v(u_s).dat\")")->type_name("FILE");
  cmd->add_flag("--linear", o->linear, "Replace F and G by planes (\"Make linear F,G\")");
  cmd->add_flag("--check", o->check, "The self-test on the map (\"CheckFiringClamp\")");
  cmd->add_option("--trials", o->trials, "Number of trials (\"Set of Trials, N=\", default 1; at most 100000)")
      ->check(CLI::Range(0, 100000));
  cmd->add_flag("--unsteadiness", o->unsteadiness, "Correct each estimate by the interval's trough voltage");
  cmd->add_flag("--wiener", o->wiener,
                "Correct each estimate by the Z-function of its interval (\"Wiener Kernel\"; reads "
                "\"set_func_Z.dat\" and \"set_func_Z_Vav.dat\", writes and reads \"V(t).dat\")");
  cmd->add_option("--mean-output", o->meanOutput, "The mean conductances (default \"mean_gE_gI(t).dat\")")
      ->type_name("FILE");
  cmd->add_option("--output", o->output, "The estimates (default \"gE_gI(t).dat\")")->type_name("FILE");
  cmd->add_flag("--json", o->json,
                "Print one JSON object: file, complete, trials, estimates, mean_gE, mean_gI, mean_abs_error_gE, "
                "mean_abs_error_gI, and late_estimates with their errors over the second half of the runs (with --check: points, firing_points, estimates, max_error_u_uA, max_error_s)");
  command = [o] { return RunFCAnalysis(*o); };
  return cmd;
}

CLI::App* AddKernelCommand(CLI::App& app, SweepCommand& command) {
  auto o = std::make_shared<KernelOptions>();
  CLI::App* cmd = app.add_subcommand(
      "kernel",
      "The Z-function: a noisy firing-clamp run whose spike-triggered, output-weighted average of the normalised "
      "input is written to \"func_Z.dat\" (lag before the spike ms, Z). With --one-isi N, the one-ISI analysis "
      "instead: N noisy runs of 5 spikes, each last interval estimated against --map, corrected by the stored "
      "Z-functions (\"set_func_Z.dat\", \"set_func_Z_Vav.dat\", \"set_func_Z_Unit.dat\" in --stored-folder) "
      "and estimated again.");
  AddNoisyRunOptions(*cmd, o->run);
  cmd->add_option("--input", o->input, "Kernel input: 0 current (default), 1 voltage")->check(CLI::Range(0, 1));
  cmd->add_option("--output-function", o->output,
                  "Output at a spike: 0 unity, 1 interspike interval (default), 2 mean voltage")
      ->check(CLI::Range(0, 2));
  cmd->add_option("--stored-folder", o->storedFolder, "Folder of the stored Z-functions (default: here)");
  cmd->add_option("--kernel-output", o->kernelOutput, "The kernel file (default \"func_Z.dat\")")->type_name("FILE");
  cmd->add_option("--one-isi", o->oneISI, "Run the one-ISI analysis this many times (\"n_repeat\"; at most 100000)")
      ->check(CLI::Range(0, 100000));
  cmd->add_option("--map", o->map, "The (u,s) map for --one-isi (default \"v(u_s).dat\")")->type_name("FILE");
  cmd->add_flag("--json", o->json, "Print one JSON object");
  command = [o] { return RunKernel(*o); };
  return cmd;
}

}  // namespace membrix
