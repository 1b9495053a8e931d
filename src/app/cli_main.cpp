// membrix-cli: the batch face of Membrix. Runs the program's protocols from the
// command line, without windows, for scripts, cluster nodes and job arrays.

#include <CLI/CLI.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "common/error.h"
#include "params/model_defaults.h"
#include "run/clamp_run.h"
#include "run/session.h"
#include "run/session_values.h"

namespace {

using namespace membrix;

// Collects the spike times of a run and draws nothing.
class SpikeTimes final : public RunViewSink {
 public:
  bool Drawing() const override { return false; }
  void Spike(double tSpike) override { times.push_back(tSpike); }
  std::vector<double> times;
};

std::string Number(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.10g", x);
  return buf;
}

// Accepts a number of seconds above zero (or at least zero).
CLI::Validator Seconds(bool zeroAllowed) {
  return CLI::Validator(
      [zeroAllowed](std::string& text) -> std::string {
        double x = 0;
        if (!CLI::detail::lexical_cast(text, x)) return "\"" + text + "\" is not a number";
        if (x < 0 || (!zeroAllowed && x == 0) || !std::isfinite(x)) {
          return "\"" + text + "\" must be a " + (zeroAllowed ? "non-negative" : "positive") + " number of seconds";
        }
        return {};
      },
      zeroAllowed ? "SECONDS>=0" : "SECONDS>0");
}

struct RunOptions {
  double t_end = -1.0;
  double dt = -1.0;
  bool json = false;
  std::vector<std::string> assignments;
};

int RunCommand(const RunOptions& o) {
  Session s;
  ApplyProgramStart(s);
  for (const std::string& a : o.assignments) SetSessionAssignment(s, a);
  if (o.dt > 0) SetTimeStep(s.run, o.dt);
  if (o.t_end >= 0) SetRunLength(s.run, o.t_end);

  BatchHost host(true);
  SpikeTimes spikes;
  const auto start = std::chrono::steady_clock::now();
  const double deviation = RunClamp(s, host, spikes);
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  if (o.json) {
    std::string times;
    for (std::size_t i = 0; i < spikes.times.size(); ++i) times += (i ? ", " : "") + Number(spikes.times[i]);
    std::cout << "{\"steps\": " << s.run.nt << ", \"spike_times\": [" << times
              << "], \"deviation\": " << Number(deviation) << ", \"elapsed_seconds\": " << Number(elapsed)
              << "}\n";
  } else {
    std::cout << "model: " << s.NP0.HH_type << ", " << s.NP0.HH_order << "\n"
              << "steps: " << s.run.nt << " of " << Number(s.run.dt * 1000.0) << " ms ("
              << Number(s.run.t * 1000.0) << " ms)\n"
              << "spikes: " << spikes.times.size();
    if (!spikes.times.empty()) {
      std::cout << " at";
      for (double t : spikes.times) std::cout << " " << Number(t * 1000.0);
      std::cout << " ms";
    }
    std::cout << "\nfinal V: " << Number(s.NV0.V * 1000.0) << " mV\n"
              << "deviation from the recording: " << Number(deviation) << "\n"
              << "elapsed: " << Number(elapsed) << " s\n";
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "membrix-cli runs the Membrix neuron models without windows: clamp protocols from the "
      "built-in parameter sets, with results on standard output.",
      "membrix-cli"};
  app.require_subcommand(1);

  RunOptions run;
  CLI::App* runCmd = app.add_subcommand(
      "run", "One clamp run from the built-in start-up parameters; prints the steps made, the spike times, "
             "the deviation from the recording and the time taken.");
  runCmd->add_option("--t-end", run.t_end, "Length of the run in seconds (default 0.6)")
      ->check(Seconds(true));
  runCmd->add_option("--dt", run.dt, "Time step in seconds (default 5e-5)")->check(Seconds(false));
  runCmd->add_option("--set", run.assignments,
                     "KEY=VALUE: set a protocol global (Iind, t_Iind, t_IindShift, uu, ss, Vh, ...) or a "
                     "parameter field (NP0.gNa, NP0.HH_order, ...) in internal units; may be repeated")
      ->type_name("KEY=VALUE");
  runCmd->add_flag("--json", run.json,
                   "Print one JSON object: steps, spike_times (s), deviation, elapsed_seconds");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  }

  try {
    if (*runCmd) return RunCommand(run);
  } catch (const membrix::Error& e) {
    std::cerr << "membrix-cli: " << e.what() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "membrix-cli: internal error: " << e.what() << "\n";
    return 1;
  }
  return 2;
}
