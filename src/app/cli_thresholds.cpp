// membrix-cli thresholds: the threshold of the first and of the second spike
// against the current, written to "VTh(tAP).dat".

#include <nlohmann/json.hpp>

#include <iostream>

#include "app/cli_sweep_support.h"
#include "app/cli_sweeps.h"
#include "app/cli_task.h"
#include "run/session.h"
#include "tasks/tasks.h"

namespace membrix {

CLI::App* AddThresholdsCommand(CLI::App& app, SweepCommand& command) {
  return AddTaskCommand(
      app, ThresholdsTask(),
      [](std::ostream& out, const Session& s, const TaskInputs&, const TaskValues&, const nlohmann::ordered_json& r) {
        out << "model: " << s.NP0.HH_type << ", " << s.NP0.HH_order
            << "; thresholds above rest (mV), tAP from the first spike to the second (ms)\n";
        for (const auto& p : r["points"]) {
          out << "Iind " << CliNumber(p["Iind_pA"].get<double>()) << " pA: spikes " << p["spikes"].get<int>()
              << ", Th1 " << CliNumber(p["Th0_mV"].get<double>()) << ", Th " << CliNumber(p["ThR_mV"].get<double>())
              << ", Th_Curv " << CliNumber(p["Th_Curv_mV"].get<double>()) << ", tAP "
              << CliNumber(p["tAP_ms"].get<double>()) << "\n";
        }
        const auto& files = r["files"];
        out << "written: " << r.value("file", std::string());
        if (files.size() > 1) out << " and " << files[1].get<std::string>();
        out << " (" << r["points"].size() << " currents, " << r.value("workers", 1) << " workers, "
            << CliNumber(r["elapsed_seconds"].get<double>()) << " s)\n";
      },
      command);
}

}  // namespace membrix
