// membrix-cli firing-clamp: the firing clamp under noisy conductances, with the
// per-spike records written as a column file.

#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

#include "analysis/firing_clamp.h"
#include "app/cli_sweep_support.h"
#include "app/cli_sweeps.h"
#include "app/cli_task.h"
#include "run/session.h"
#include "tasks/task_declaration.h"
#include "tasks/tasks.h"

namespace membrix {

CLI::App* AddFiringClampCommand(CLI::App& app, SweepCommand& command) {
  return AddTaskCommand(
      app, FiringClampTask(),
      [](std::ostream& out, const Session& s, const TaskInputs&, const TaskValues& v, const nlohmann::ordered_json& r) {
        const int mode = r["mode"].get<int>();
        out << "model: " << s.NP0.HH_type << "; mode: "
            << (mode >= 0 ? std::string(kFiringClampModeNames[static_cast<std::size_t>(mode)]) : " none")
            << "; target " << CliNumber(r["target_Hz"].get<double>()) << " Hz\n";
        out << r["spikes"].get<int>() << " spikes in " << CliNumber(r["t_ms"].get<double>())
            << " ms; rate of the second half of the records " << CliNumber(r["late_rate_Hz"].get<double>())
            << " Hz\n";
        out << "written: "
            << (r["records"].get<std::size_t>() > 0 ? v.Text("out") : std::string("(no spike, no records)"));
        if (v.On("writing")) out << ", " << v.Text("conductances_out");
        out << " (" << CliNumber(r["elapsed_seconds"].get<double>()) << " s)\n";
      },
      command);
}

}  // namespace membrix
