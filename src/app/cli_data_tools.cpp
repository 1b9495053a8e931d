#include "app/cli_data_tools.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

#include "common/number_format.h"
#include "run/session.h"
#include "tasks/task_declaration.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

double Value(const nlohmann::ordered_json& x) { return x.is_number() ? x.get<double>() : 0.0; }

}  // namespace

CLI::App* AddRampsCommand(CLI::App& app, TaskCommand& command) {
  return AddTaskCommand(
      app, RampsTask(),
      [](std::ostream& out, const Session&, const TaskInputs&, const TaskValues&, const nlohmann::ordered_json& r) {
        out << "sweeps: " << r["sweeps"].get<int>() << " (samples 0 ... " << r["last_sample"].get<int>() << ")\n"
            << "spikes found: " << r["spikes"].get<int>() << "\n"
            << "sweep   tau, ms    VT, mV  amplitude, pA\n";
        for (std::size_t i = 0; i < r["tau_ms"].size(); ++i) {
          out << Fixed(static_cast<double>(i + 1), 5, 0);
          if (r["tau_ms"][i].is_null()) {
            out << "   no spike\n";
            continue;
          }
          out << " " << Fixed(Value(r["tau_ms"][i]), 9, 3) << " " << Fixed(Value(r["VT_mV"][i]), 9, 3) << " "
              << Fixed(Value(r["amplitude_pA"][i]), 14, 1) << "\n";
        }
        out << "written: " << r["written"].get<std::string>() << "\n";
      },
      command);
}

CLI::App* AddStepsCommand(CLI::App& app, TaskCommand& command) {
  return AddTaskCommand(
      app, StepsTask(),
      [](std::ostream& out, const Session&, const TaskInputs&, const TaskValues&, const nlohmann::ordered_json& r) {
        out << "    V, mV  Imin, nA Imin2, nA\n";
        for (std::size_t i = 0; i < r["V_mV"].size(); ++i) {
          out << Fixed(Value(r["V_mV"][i]), 9, 3) << " " << Fixed(Value(r["Imin_nA"][i]), 9, 3) << " "
              << Fixed(Value(r["Imin2_nA"][i]), 9, 3) << "\n";
        }
        out << "written: " << r["written"].get<std::string>() << "\n";
      },
      command);
}

CLI::App* AddPreviewCommand(CLI::App& app, TaskCommand& command) {
  return AddTaskCommand(
      app, PreviewTask(),
      [](std::ostream&, const Session&, const TaskInputs&, const TaskValues&, const nlohmann::ordered_json& r) {
        // Without --out the columns went to standard output: nothing more goes there.
        if (r.contains("file")) std::cerr << "written: " << r["file"].get<std::string>() << "\n";
      },
      command);
}

}  // namespace membrix
