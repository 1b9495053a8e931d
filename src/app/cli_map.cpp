// membrix-cli map: the (u,s) frequency map of the model, written to "v(u_s).dat".

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "analysis/us_map.h"
#include "app/cli_fiber.h"
#include "app/cli_sweep_support.h"
#include "app/cli_sweeps.h"
#include "common/error.h"
#include "run/session.h"

namespace membrix {

namespace {

struct MapOptions {
  SweepModelOptions model;
  USMapInputs in;
  FiberInputs fiber;  // the axon of --distributed
  std::string grid = "us";
  std::string noise;
  double noiseToSignal = -1.0;
  double tauNoiseMs = -1.0;
  double noiseTauMs = -1.0, noiseAmplitude = -1.0;  // the noise current's, ms and µA/cm²
  std::string output = kUSMapFile;
  bool linear = false;
  std::string linearOutput = kUSMapLinearFile;
  int fChoice = 0, gChoice = 3;
  bool json = false;
};

MapNoise NoiseByName(const std::string& name) {
  for (std::size_t i = 0; i < kMapNoiseNames.size(); ++i) {
    if (name == kMapNoiseNames[i] || name == std::to_string(i)) return static_cast<MapNoise>(i);
  }
  throw FormatError("--noise", 0,
                    "unknown noise \"" + name + "\": use \"no Noise\", \"Noise-current\" or \"Noise-conductances\"");
}

int RunMap(const MapOptions& o) {
  Session s;
  ApplySweepModelOptions(s, o.model);
  s.usMap = o.in;
  s.fiber = o.fiber;
  if (!o.noise.empty()) s.usMap.Noise = NoiseByName(o.noise);
  if (o.noiseToSignal >= 0) s.prog.NoiseToSignal = o.noiseToSignal;
  if (o.tauNoiseMs >= 0) s.stim.tau_Noise = o.tauNoiseMs / 1000.0;
  if (o.noiseTauMs >= 0) s.stim.NoiseRec.tau = o.noiseTauMs / 1000.0;
  if (o.noiseAmplitude >= 0) s.stim.NoiseRec.amplitude = o.noiseAmplitude / 1000.0;
  const MapGrid grid = o.grid == "gegi" ? MapGrid::GEGI : MapGrid::US;

  if (o.linear && (s.usMap.nue < 3 || s.usMap.nse < 3)) {
    throw RangeError("--linear needs a map of at least 3 steps on each axis");
  }
  SweepHost host;
  CollectingSink<USMapSink, USMapPoint> printer(host);
  const RunsOutcome outcome = MapUS(s, host, printer, grid, o.output);
  const double elapsed = host.ElapsedSeconds();
  const std::int64_t count = static_cast<std::int64_t>(s.usMap.nue + 1) * (s.usMap.nse + 1);
  if (o.linear && !outcome.stopped) ReadUSMap(o.output, o.fChoice, o.gChoice, true, o.linearOutput);
  double fMax = 0.0;
  int firing = 0;
  std::int64_t steps = 0;
  for (const USMapPoint& p : printer.points) {
    steps += p.steps;
    fMax = std::max(fMax, p.Freq);
    if (p.Freq >= 5.0) ++firing;
  }
  if (o.json) {
    std::cout << JsonSweepHead(o.output, !outcome.stopped)
              << ", \"points\": " << printer.points.size() << ", \"firing_points\": " << firing
              << ", \"max_freq_Hz\": " << CliNumber(fMax) << ", \"workers\": " << WorkerCount(s.parallel)
              << ", \"steps\": " << steps << ", \"elapsed_seconds\": " << CliNumber(elapsed);
    if (o.linear && !outcome.stopped) std::cout << ", \"linear_file\": " << JsonString(o.linearOutput);
    std::cout << "}\n";
  } else {
    std::cout << "model: " << s.NP0.HH_type << ", " << s.NP0.HH_order << "; grid "
              << (grid == MapGrid::US ? "(u,s)" : "(gE,gI)") << " " << s.usMap.nue + 1 << " x " << s.usMap.nse + 1
              << "; t_end " << CliNumber(s.usMap.t_end) << " ms; "
              << kMapNoiseNames[static_cast<std::size_t>(s.usMap.Noise)] << "\n";
    std::cout << "written: " << o.output << " (" << printer.points.size() << " points, " << firing
              << " firing at 5 Hz or more, highest " << CliNumber(fMax) << " Hz; " << WorkerCount(s.parallel)
              << " workers, " << CliNumber(elapsed) << " s)\n";
    if (o.linear && !outcome.stopped) std::cout << "written: " << o.linearOutput << "\n";
  }
  if (outcome.stopped) return ReportStoppedSweep(o.output, outcome.delivered, count, "points");
  return 0;
}

}  // namespace

CLI::App* AddMapCommand(CLI::App& app, SweepCommand& command) {
  auto o = std::make_shared<MapOptions>();
  CLI::App* cmd = app.add_subcommand(
      "map",
      "The (u,s) frequency map: one run from rest per point of a grid of constant inputs, either a current u "
      "and a conductance s (the input u - s(V - Vus)) or an excitatory and an inhibitory conductance gE, gI; "
      "writes the firing rate and the spike measures of every point to \"v(u_s).dat\" (a Tecplot point zone, "
      "18 columns). Runs the points on all cores; Ctrl+C stops and keeps the lines written.");
  AddSweepModelOptions(*cmd, o->model);
  cmd->add_option("--grid", o->grid, "Grid: \"us\" (u, s; default) or \"gegi\" (gE, gI)")
      ->check(CLI::IsMember({"us", "gegi"}));
  cmd->add_option("--nue", o->in.nue, "Steps in u (\"nue x nse =\", default 20, at most 200)");
  cmd->add_option("--nse", o->in.nse, "Steps in s (default 8, at most 200)");
  cmd->add_option("--u-max", o->in.u_max, "Top of u, µA/cm² (\"u_max, s_max =\", default 10)");
  cmd->add_option("--s-max", o->in.s_max, "Top of s, mS/cm² (default 0.5)");
  cmd->add_option("--u-min", o->in.u_min, "Bottom of u, µA/cm² (\"u_min, s_min =\", default 0)");
  cmd->add_option("--s-min", o->in.s_min, "Bottom of s, mS/cm² (default 0)");
  cmd->add_option("--t-end-ms", o->in.t_end, "Length of each run, ms (\" t_end, ms \", default 500)")
      ->check(CLI::PositiveNumber);
  cmd->add_option("--max-spikes", o->in.MaxSpikes, "End a run at the downstroke of this spike (default 10002)");
  cmd->add_option("--noise", o->noise,
                  "\"no Noise\" (0, default), \"Noise-current\" (1: the parameter noise current) or "
                  "\"Noise-conductances\" (2: noisy gE and gI)");
  cmd->add_option("--noise-to-signal", o->noiseToSignal, "Noise-conductances: deviation over mean (default 0)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--tau-noise", o->tauNoiseMs, "Noise-conductances: correlation time, ms (default 0 = white)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--noise-tau", o->noiseTauMs, "Noise-current: its time constant, ms")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--noise-amplitude", o->noiseAmplitude, "Noise-current: its deviation, µA/cm²")
      ->check(CLI::NonNegativeNumber);
  cmd->add_flag("--distributed", o->in.IfDistributedModel,
                "\"IfDistributedModel\": run the soma-and-axon model (the fiber options below) in place of the "
                "point neuron; spikes are counted at the first axon node");
  AddFiberOptions(*cmd, o->fiber);
  cmd->add_option("--output", o->output, "The file to write (default \"v(u_s).dat\")")->type_name("FILE");
  cmd->add_flag("--linear", o->linear,
                "Also replace F and G by planes through the points at one and two thirds of the grid and "
                "write them to \"v(u_s)_Linear.dat\"");
  cmd->add_option("--linear-output", o->linearOutput, "The planes' file (default \"v(u_s)_Linear.dat\")")
      ->type_name("FILE");
  cmd->add_option("--f", o->fChoice, "F for --linear: 0 Frequency (default) ... 6 Th, as in the workbench")
      ->check(CLI::Range(0, 6));
  cmd->add_option("--g", o->gChoice, "G for --linear: 0 dV/dt ... 3 MaxVoltage (default) ... 6 IxZ")
      ->check(CLI::Range(0, 6));
  cmd->add_flag("--json", o->json,
                "Print one JSON object: file, complete, points, firing_points, max_freq_Hz, workers, steps "
                "(of all runs), elapsed_seconds");
  command = [o] { return RunMap(*o); };
  return cmd;
}

}  // namespace membrix
