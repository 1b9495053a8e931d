// membrix-cli fi: the f-I curve of the model, written to "v(Iind).dat".

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "analysis/fi_sweep.h"
#include "analysis/sweep_file.h"
#include "app/cli_fiber.h"
#include "app/cli_sweep_support.h"
#include "app/cli_sweeps.h"
#include "common/error.h"
#include "run/session.h"

namespace membrix {

namespace {

struct FIOptions {
  SweepModelOptions model;
  FIInputs in;
  FiberInputs fiber;  // the axon of --distributed
  std::string estimator;
  double tEndMs = -1.0;
  double sgmV = -1.0;      // mV
  double tauNoise = -1.0;  // ms
  std::string output = kFIFileName;
  bool json = false;
};

FIEstimator EstimatorByName(const std::string& name) {
  for (std::size_t i = 0; i < kFIEstimatorNames.size(); ++i) {
    if (name == kFIEstimatorNames[i] || name == std::to_string(i)) return static_cast<FIEstimator>(i);
  }
  throw FormatError("--estimator", 0,
                    "unknown frequency estimator \"" + name +
                        "\": use \"Number of spikes\", \"Reverse last ISI\" or \"Mean for last third of t_end\"");
}

int RunFI(const FIOptions& o) {
  Session s;
  ApplySweepModelOptions(s, o.model);
  s.fi = o.in;
  s.fiber = o.fiber;
  if (!o.estimator.empty()) s.fi.Estimator = EstimatorByName(o.estimator);
  if (o.tEndMs >= 0) SetRunLength(s.run, o.tEndMs / 1000.0);
  if (o.sgmV >= 0) s.stim.sgm_V_Input = o.sgmV;
  if (o.tauNoise >= 0) s.stim.tau_Noise = o.tauNoise / 1000.0;

  SweepHost host;
  CollectingSink<FISink, FIPoint> printer(host);
  const RunsOutcome outcome = SweepFI(s, host, printer, o.output);
  const double elapsed = host.ElapsedSeconds();
  if (o.json) {
    std::cout << JsonSweepHead(o.output, !outcome.stopped)
              << ", \"workers\": " << WorkerCount(s.parallel) << ", \"elapsed_seconds\": " << CliNumber(elapsed)
              << ", \"points\": [";
    for (std::size_t i = 0; i < printer.points.size(); ++i) {
      std::cout << (i ? ", " : "") << "{\"Iind_pA\": " << CliNumber(printer.points[i].Iind)
                << ", \"f_Hz\": " << CliNumber(printer.points[i].f) << "}";
    }
    std::cout << "]}\n";
  } else {
    std::cout << "model: " << s.NP0.HH_type << ", " << s.NP0.HH_order << "; estimator: "
              << kFIEstimatorNames[static_cast<std::size_t>(s.fi.Estimator)] << "; t_end "
              << CliNumber(s.run.t_end * 1000.0) << " ms\n";
    for (const FIPoint& p : printer.points) {
      std::cout << "Iind " << CliNumber(p.Iind) << " pA: " << CliNumber(p.f) << " Hz\n";
    }
    std::cout << "written: " << o.output << " (" << printer.points.size() << " currents, "
              << WorkerCount(s.parallel) << " workers, " << CliNumber(elapsed) << " s)\n";
  }
  if (outcome.stopped) {
    const std::int64_t count = CurrentGridCount(s.fi.Iind_max, s.fi.StepIind, "Step for Iind");
    return ReportStoppedSweep(o.output, outcome.delivered, count, "currents");
  }
  return 0;
}

}  // namespace

CLI::App* AddFICommand(CLI::App& app, SweepCommand& command) {
  auto o = std::make_shared<FIOptions>();
  CLI::App* cmd = app.add_subcommand(
      "fi",
      "The f-I curve: one run from rest per injected current 0, step, ... Iind_max (pA), each measured "
      "by the chosen frequency estimator; writes \"v(Iind).dat\" (Iind pA, f Hz, the current as passive "
      "depolarisation) and prints the points. Runs the currents on all cores; Ctrl+C stops and keeps "
      "the lines written.");
  AddSweepModelOptions(*cmd, o->model);
  cmd->add_option("--iind-max", o->in.Iind_max, "Last current, pA (\" Iind_max, pA \", default 400)");
  cmd->add_option("--step", o->in.StepIind, "Current step, pA (\" Step for Iind   \", default 4)")
      ->check(CLI::PositiveNumber);
  cmd->add_option("--t-end-ms", o->tEndMs, "Length of each run, ms (\" t_end, ms       \", default 600)")
      ->check(CLI::PositiveNumber);
  cmd->add_option("--max-spikes", o->in.MaxSpikes,
                  "End a run at the downstroke of this spike (\"Max number of spikes\", default 10002)");
  cmd->add_option("--estimator", o->estimator,
                  "Frequency estimator: \"Number of spikes\" (0), \"Reverse last ISI\" (1) or \"Mean for last "
                  "third of t_end\" (2, default)");
  cmd->add_flag("--noise", o->in.IfNoise, "\"IfNoise\": add a noise current of deviation --sgm-v");
  cmd->add_option("--sgm-v", o->sgmV, "Noise: deviation of the voltage it causes, mV (\"sgm_V\", default 3)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--tau-noise", o->tauNoise, "Noise: correlation time, ms (\"tau_Noise=\", default 0 = white)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_flag("--distributed", o->in.IfDistributedModel,
                "\"IfDistributedModel\": run the soma-and-axon model (the fiber options below) in place of the "
                "point neuron; spikes are counted at the first axon node");
  AddFiberOptions(*cmd, o->fiber);
  cmd->add_option("--output", o->output, "The file to write (default \"v(Iind).dat\")")->type_name("FILE");
  cmd->add_flag("--json", o->json, "Print one JSON object: file, complete, workers, elapsed_seconds, points");
  command = [o] { return RunFI(*o); };
  return cmd;
}

}  // namespace membrix
