// membrix-cli ensemble and membrix-cli network: the population rate of an
// ensemble of uncoupled neurons (dispersed thresholds, noise, Gaussian
// conductances) and of the inhibitory network, written to the files the
// Gaussian-ensemble window writes.

#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

#include "app/cli_sweep_support.h"
#include "app/cli_sweeps.h"
#include "app/cli_task.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/task_declaration.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

void PrintFiles(std::ostream& out, const nlohmann::ordered_json& r) {
  out << "written:";
  for (const auto& f : r["files"]) out << " " << f.get<std::string>();
  out << " (" << CliNumber(r["elapsed_seconds"].get<double>()) << " s)\n";
}

// The rate summary; peak and mean are not printed when no bin holds a rate.
void PrintRate(std::ostream& out, const Session& s, const nlohmann::ordered_json& r) {
  out << "model: " << s.NP0.HH_type << ", " << s.NP0.HH_order << "; " << r["kind"].get<std::string>();
  if (!r["rate_peak_Hz"].is_null()) {
    out << "; rate peak " << CliNumber(r["rate_peak_Hz"].get<double>()) << " Hz, mean "
        << CliNumber(r["rate_mean_Hz"].get<double>()) << " Hz over " << CliNumber(r["rate_covered_ms"].get<double>())
        << " ms";
    if (r.contains("sigmaV_mV")) out << "; sgmV " << CliNumber(r["sigmaV_mV"].get<double>()) << " mV";
  } else {
    out << "; no rate";
  }
  out << "\n";
  PrintFiles(out, r);
}

void PrintEnsemble(std::ostream& out, const Session& s, const TaskInputs&, const TaskValues&,
                   const nlohmann::ordered_json& r) {
  if (r["kind"] != "conductances") return PrintRate(out, s, r);
  if (r["members"].get<std::int64_t>() == 0) return;
  out << "model: " << s.NP0.HH_type << ", " << s.NP0.HH_order << "; earliest first spike "
      << CliNumber(r["first_spike_ms"].get<double>()) << " ms; largest dispersion "
      << CliNumber(r.value("max_dispersion_mV", 0.0)) << " mV, linear estimate "
      << CliNumber(r.value("max_linear_sigma_mV", 0.0)) << " mV\n";
  PrintFiles(out, r);
}

}  // namespace

CLI::App* AddEnsembleCommand(CLI::App& app, SweepCommand& command) {
  return AddTaskCommand(app, EnsembleTask(), PrintEnsemble, command);
}

CLI::App* AddNetworkCommand(CLI::App& app, SweepCommand& command) {
  return AddTaskCommand(
      app, NetworkTask(),
      [](std::ostream& out, const Session& s, const TaskInputs&, const TaskValues&, const nlohmann::ordered_json& r) {
        PrintRate(out, s, r);
      },
      command);
}

}  // namespace membrix
