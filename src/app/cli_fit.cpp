// membrix-cli fit: model parameters fitted to the recordings of a parameter file.

#include "app/cli_fit.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <iostream>

#include "app/cli_reverse.h"
#include "app/cli_sweep_support.h"
#include "run/session.h"
#include "tasks/fit_passes.h"
#include "tasks/task_declaration.h"
#include "tasks/tasks.h"

namespace membrix {

CLI::App* AddFitCommand(CLI::App& app, TaskCommand& command) {
  CLI::App* cmd = AddTaskCommand(
      app, FitTask(),
      [](std::ostream& out, const Session&, const TaskInputs&, const TaskValues& values,
         const nlohmann::ordered_json& r) {
        out << "fit " << r["end"].get<std::string>() << " after " << FitDoneText(r) << "\n"
            << "residual: " << (r["residual"].is_number() ? CliNumber(r["residual"].get<double>()) : "nan") << "\n";
        for (const auto& [field, value] : r["parameters"].items()) {
          out << field << " = " << CliNumber(value.get<double>()) << "\n";
        }
        if (r.value("complete", true) && values.Given("out")) out << "written: " << values.Text("out") << "\n";
      },
      command);
  PassLinesAwayFromJson(*cmd, command);
  return cmd;
}

}  // namespace membrix
