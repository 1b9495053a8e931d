// membrix-cli thresholds: the threshold of the first and of the second spike
// against the current, written to "VTh(tAP).dat".

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "analysis/sweep_file.h"
#include "analysis/threshold_sweep.h"
#include "app/cli_sweep_support.h"
#include "app/cli_sweeps.h"
#include "run/session.h"

namespace membrix {

namespace {

struct ThresholdOptions {
  SweepModelOptions model;
  ThresholdInputs in;
  bool noise = false, writing = false, json = false;
  std::string output = kThresholdFileName;
  std::string vlinOutput = kVVlinFileName;
};

class ThresholdPrinter final : public ThresholdSink {
 public:
  explicit ThresholdPrinter(SweepHost& host) : host_(host) {}
  void Current(const ThresholdResult& r) override {
    ThresholdResult kept = r;
    kept.trace.clear();
    kept.vlin.clear();
    results.push_back(std::move(kept));
  }
  void Progress(std::int64_t done, std::int64_t total) override { host_.Progress(done, total); }
  std::vector<ThresholdResult> results;

 private:
  SweepHost& host_;
};

int RunThresholds(const ThresholdOptions& o) {
  Session s;
  ApplySweepModelOptions(s, o.model);
  s.threshold = o.in;
  s.fi.IfNoise = o.noise ? 1 : 0;
  if (o.writing) s.run.Writing = 1;
  SweepHost host;
  ThresholdPrinter printer(host);
  const RunsOutcome outcome = ThresholdSweep(s, host, printer, o.output, o.vlinOutput);
  const double elapsed = host.ElapsedSeconds();
  if (o.json) {
    std::cout << JsonSweepHead(o.output, !outcome.stopped)
              << ", \"workers\": " << WorkerCount(s.parallel) << ", \"elapsed_seconds\": " << CliNumber(elapsed)
              << ", \"points\": [";
    for (std::size_t i = 0; i < printer.results.size(); ++i) {
      const ThresholdResult& r = printer.results[i];
      std::cout << (i ? ", " : "") << "{\"Iind_pA\": " << CliNumber(r.Iind) << ", \"spikes\": " << r.spikes
                << ", \"Th0_mV\": " << CliNumber(r.Th0 * 1000.0) << ", \"ThR_mV\": " << CliNumber(r.ThR * 1000.0)
                << ", \"Th_Curv_mV\": " << CliNumber(r.Th_Curv * 1000.0)
                << ", \"tAP_ms\": " << CliNumber(r.t2 * 1000.0) << "}";
    }
    std::cout << "]}\n";
  } else {
    std::cout << "model: " << s.NP0.HH_type << ", " << s.NP0.HH_order
              << "; thresholds above rest (mV), tAP from the first spike to the second (ms)\n";
    for (const ThresholdResult& r : printer.results) {
      std::cout << "Iind " << CliNumber(r.Iind) << " pA: spikes " << r.spikes << ", Th1 "
                << CliNumber(r.Th0 * 1000.0) << ", Th " << CliNumber(r.ThR * 1000.0) << ", Th_Curv "
                << CliNumber(r.Th_Curv * 1000.0) << ", tAP " << CliNumber(r.t2 * 1000.0) << "\n";
    }
    std::cout << "written: " << o.output << (o.writing ? " and " + o.vlinOutput : std::string()) << " ("
              << printer.results.size() << " currents, " << WorkerCount(s.parallel) << " workers, "
              << CliNumber(elapsed) << " s)\n";
  }
  if (outcome.stopped) {
    return ReportStoppedSweep(o.output, outcome.delivered,
                              CurrentGridCount(s.threshold.Iind_max, s.threshold.StepIind, "Step for Iind") - 1,
                              "currents");
  }
  return 0;
}

}  // namespace

CLI::App* AddThresholdsCommand(CLI::App& app, SweepCommand& command) {
  auto o = std::make_shared<ThresholdOptions>();
  CLI::App* cmd = app.add_subcommand(
      "thresholds",
      "Threshold of the refractory neuron: per current step, 2·step, ... Iind_max (pA) the full model fires "
      "twice while a threshold neuron of the same parameters follows the passive response; its voltage at "
      "each spike is the threshold. Runs with dt 0.015 ms for 400 ms; writes \"VTh(tAP).dat\" (and with "
      "--writing \"V_Vlin(t).dat\"). Runs the currents on all cores; Ctrl+C stops and keeps the lines written.");
  AddSweepModelOptions(*cmd, o->model);
  cmd->add_option("--iind-max", o->in.Iind_max, "Last current, pA (\" Iind_max, pA \", default 2000)");
  cmd->add_option("--step", o->in.StepIind, "Current step and first current, pA (\" Step for Iind   \", default 40)")
      ->check(CLI::PositiveNumber);
  cmd->add_option("--criterion", o->in.dVdtCriterion,
                  "dV/dt criterion of Th_Curv, mV/ms (\"Threshold criterion, dV/dt:\", default 30)");
  cmd->add_option("--oscillations", o->in.Oscillations, "Frequency of the current, Hz (\"Oscillations, Hz\", 0)");
  cmd->add_option("--sgm", o->in.sgm, "Noise of the full model, mV (\"sgm, mV\", default 0; needs --noise)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--s", o->in.s, "Input conductance ss, mS/cm2 (\" s \", default 0)");
  cmd->add_flag("--noise", o->noise, "\"IfNoise\" of the frequency-current window: a noise current in the full model");
  cmd->add_flag("--no-noise-in-t-neuron", o->in.NoNoiseInT, "\"No noise in T-neuron\"");
  cmd->add_flag("--writing", o->writing, "Also write the voltages of every second step to \"V_Vlin(t).dat\"");
  cmd->add_option("--output", o->output, "The file to write (default \"VTh(tAP).dat\")")->type_name("FILE");
  cmd->add_flag("--json", o->json, "Print one JSON object: file, complete, workers, elapsed_seconds, points");
  command = [o] { return RunThresholds(*o); };
  return cmd;
}

}  // namespace membrix
