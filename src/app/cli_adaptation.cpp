// membrix-cli adaptation: the first five inter-spike rates against the current,
// written to "adaptation(I).dat".

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "analysis/adaptation_sweep.h"
#include "analysis/sweep_file.h"
#include "app/cli_sweep_support.h"
#include "app/cli_sweeps.h"
#include "run/session.h"

namespace membrix {

namespace {

struct AdaptationOptions {
  SweepModelOptions model;
  AdaptationInputs in;
  double tEndMs = -1.0;
  std::string output = kAdaptationFileName;
  bool json = false;
};

int RunAdaptation(const AdaptationOptions& o) {
  Session s;
  ApplySweepModelOptions(s, o.model);
  s.adaptation = o.in;
  if (o.tEndMs >= 0) SetRunLength(s.run, o.tEndMs / 1000.0);
  SweepHost host;
  CollectingSink<AdaptationSink, AdaptationPoint> printer(host);
  const RunsOutcome outcome = SweepAdaptation(s, host, printer, o.output);
  const double elapsed = host.ElapsedSeconds();
  if (o.json) {
    std::cout << JsonSweepHead(o.output, !outcome.stopped)
              << ", \"workers\": " << WorkerCount(s.parallel) << ", \"elapsed_seconds\": " << CliNumber(elapsed)
              << ", \"points\": [";
    for (std::size_t i = 0; i < printer.points.size(); ++i) {
      const AdaptationPoint& p = printer.points[i];
      std::cout << (i ? ", " : "") << "{\"Iind_pA\": " << CliNumber(p.Iind) << ", \"rates_Hz\": [";
      for (std::size_t k = 0; k < p.rate.size(); ++k) std::cout << (k ? ", " : "") << CliNumber(p.rate[k]);
      std::cout << "]}";
    }
    std::cout << "]}\n";
  } else {
    std::cout << "model: " << s.NP0.HH_type << ", " << s.NP0.HH_order << "; t_end "
              << CliNumber(s.run.t_end * 1000.0) << " ms; 1/ISI_1 ... 1/ISI_5 in Hz\n";
    for (const AdaptationPoint& p : printer.points) {
      std::cout << "Iind " << CliNumber(p.Iind) << " pA:";
      for (double r : p.rate) std::cout << " " << CliNumber(r < 1e-5 ? 0.0 : r);
      std::cout << "\n";
    }
    std::cout << "written: " << o.output << " (" << printer.points.size() << " currents, "
              << WorkerCount(s.parallel) << " workers, " << CliNumber(elapsed) << " s)\n";
  }
  if (outcome.stopped) {
    return ReportStoppedSweep(o.output, outcome.delivered,
                              CurrentGridCount(s.adaptation.Iind_max, s.adaptation.StepIind, "Step for Iind"),
                              "currents");
  }
  return 0;
}

}  // namespace

CLI::App* AddAdaptationCommand(CLI::App& app, SweepCommand& command) {
  auto o = std::make_shared<AdaptationOptions>();
  CLI::App* cmd = app.add_subcommand(
      "adaptation",
      "Adaptation: one run from rest of the procedural neuron per injected current 0, step, ... Iind_max "
      "(pA); the reciprocals of the first five inter-spike intervals (1/ISI, Hz; 0 for an interval that did "
      "not occur) go to \"adaptation(I).dat\". Runs the currents on all cores; Ctrl+C stops and keeps the "
      "lines written.");
  AddSweepModelOptions(*cmd, o->model);
  cmd->add_option("--iind-max", o->in.Iind_max, "Last current, pA (\" Iind_max, pA \", default 400)");
  cmd->add_option("--step", o->in.StepIind, "Current step, pA (\" Step for Iind   \", default 8)")
      ->check(CLI::PositiveNumber);
  cmd->add_option("--t-end-ms", o->tEndMs, "Length of each run, ms (\" t_end, ms       \", default 600)")
      ->check(CLI::PositiveNumber);
  cmd->add_option("--output", o->output, "The file to write (default \"adaptation(I).dat\")")->type_name("FILE");
  cmd->add_flag("--json", o->json, "Print one JSON object: file, complete, workers, elapsed_seconds, points");
  command = [o] { return RunAdaptation(*o); };
  return cmd;
}

}  // namespace membrix
