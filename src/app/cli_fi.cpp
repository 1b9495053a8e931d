// membrix-cli fi: the f-I curve of the model, written to "v(Iind).dat".

#include <nlohmann/json.hpp>

#include <iostream>

#include "analysis/fi_sweep.h"
#include "app/cli_sweep_support.h"
#include "app/cli_sweeps.h"
#include "app/cli_task.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/task_declaration.h"
#include "tasks/tasks.h"

namespace membrix {

CLI::App* AddFICommand(CLI::App& app, SweepCommand& command) {
  return AddTaskCommand(
      app, FITask(),
      [](std::ostream& out, const Session& s, const TaskInputs& in, const TaskValues&,
         const nlohmann::ordered_json& r) {
        out << "model: " << s.NP0.HH_type << ", " << s.NP0.HH_order << "; estimator: "
            << kFIEstimatorNames[static_cast<std::size_t>(in.fi.Estimator)] << "; t_end "
            << CliNumber(s.run.t_end * 1000.0) << " ms\n";
        for (const auto& p : r["points"]) {
          out << "Iind " << CliNumber(p["Iind_pA"].get<double>()) << " pA: " << CliNumber(p["f_Hz"].get<double>())
              << " Hz\n";
        }
        out << "written: " << r.value("file", std::string()) << " (" << r["points"].size() << " currents, "
            << r.value("workers", 1) << " workers, " << CliNumber(r["elapsed_seconds"].get<double>()) << " s)\n";
      },
      command);
}

}  // namespace membrix
