// membrix-cli reverse: the reverse problem of the sodium or potassium current.

#include "app/cli_reverse.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <iostream>

#include "app/cli_sweep_support.h"
#include "run/session.h"
#include "tasks/fit_passes.h"
#include "tasks/task_declaration.h"
#include "tasks/tasks.h"

namespace membrix {

void PassLinesAwayFromJson(CLI::App& cmd, TaskCommand& command) {
  CLI::Option* json = cmd.get_option("--json");
  TaskCommand run = command;
  command = [run, json] {
    if (json->count() > 0) FitPassLines() = {&std::cerr, isatty(STDERR_FILENO) == 1};
    return run();
  };
}

CLI::App* AddReverseCommand(CLI::App& app, TaskCommand& command) {
  CLI::App* cmd = AddTaskCommand(
      app, ReverseTask(),
      [](std::ostream& out, const Session&, const TaskInputs&, const TaskValues& values,
         const nlohmann::ordered_json& r) {
        out << "fit " << r["end"].get<std::string>() << " after " << FitDoneText(r) << "\n"
            << "residual: " << (r["residual"].is_number() ? CliNumber(r["residual"].get<double>()) : "nan") << "\n";
        for (const auto& [field, value] : r["parameters"].items()) {
          out << field << " = " << CliNumber(value.get<double>()) << "   (start "
              << CliNumber(r["start"][field].get<double>()) << ")\n";
        }
        if (r.value("complete", true) && values.Given("out")) out << "written: " << values.Text("out") << "\n";
      },
      command);
  PassLinesAwayFromJson(*cmd, command);
  return cmd;
}

}  // namespace membrix
