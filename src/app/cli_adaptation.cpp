// membrix-cli adaptation: the first five inter-spike rates against the current,
// written to "adaptation(I).dat".

#include <nlohmann/json.hpp>

#include <iostream>

#include "app/cli_sweep_support.h"
#include "app/cli_sweeps.h"
#include "app/cli_task.h"
#include "run/session.h"
#include "tasks/tasks.h"

namespace membrix {

CLI::App* AddAdaptationCommand(CLI::App& app, SweepCommand& command) {
  return AddTaskCommand(
      app, AdaptationTask(),
      [](std::ostream& out, const Session& s, const TaskInputs&, const TaskValues&, const nlohmann::ordered_json& r) {
        out << "model: " << s.NP0.HH_type << ", " << s.NP0.HH_order << "; t_end "
            << CliNumber(s.run.t_end * 1000.0) << " ms; 1/ISI_1 ... 1/ISI_5 in Hz\n";
        for (const auto& p : r["points"]) {
          out << "Iind " << CliNumber(p["Iind_pA"].get<double>()) << " pA:";
          for (const auto& rate : p["rates_Hz"]) {
            const double x = rate.get<double>();
            out << " " << CliNumber(x < 1e-5 ? 0.0 : x);
          }
          out << "\n";
        }
        out << "written: " << r.value("file", std::string()) << " (" << r["points"].size() << " currents, "
            << r.value("workers", 1) << " workers, " << CliNumber(r["elapsed_seconds"].get<double>()) << " s)\n";
      },
      command);
}

}  // namespace membrix
