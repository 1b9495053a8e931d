// membrix-cli act-inact: the activation and inactivation peaks of model and
// recording as a table.

#include "app/cli_act_inact.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>

#include "app/cli_task.h"
#include "run/session.h"
#include "tasks/task_declaration.h"
#include "tasks/tasks.h"

namespace membrix {

CLI::App* AddActInactCommand(CLI::App& app, TaskCommand& command) {
  return AddTaskCommand(
      app, ActInactTask(),
      [](std::ostream& out, const Session&, const TaskInputs&, const TaskValues&, const nlohmann::ordered_json& r) {
        out << "recordings below: " << r["data"].get<std::string>() << "\n"
            << "protocol   V (mV)    I exp (pA)    I mod (pA)     g exp (pA/V)     g mod (pA/V)\n";
        for (const auto& p : r["protocols"]) {
          char line[160];
          std::snprintf(line, sizeof line, "%-12s%6.0f %13.1f %13.1f %16.1f %16.1f\n",
                        p["r"].get<int>() > 0 ? "inactivation" : "activation", p["V_mV"].get<double>(),
                        p["I_exp"].get<double>(), p["I_mod"].get<double>(), p["g_exp"].get<double>(),
                        p["g_mod"].get<double>());
          out << line;
        }
        for (const auto& f : r["written"]) out << "written: " << f.get<std::string>() << "\n";
      },
      command);
}

}  // namespace membrix
