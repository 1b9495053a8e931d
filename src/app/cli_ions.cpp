#include "app/cli_ions.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>

#include "app/cli_sweep_support.h"
#include "app/cli_task.h"
#include "common/error.h"
#include "params/model_defaults.h"
#include "run/session.h"
#include "tasks/task_declaration.h"
#include "tasks/tasks.h"

namespace membrix {

std::string IonReport(const Session& s) {
  const TIons& i = s.Ions;
  if (i.IonDynamics != 1) return {};
  std::string r = "ions: Nai " + CliNumber(i.Nai) + " mM, Ki " + CliNumber(i.Ki) + " mM, ENa " + CliNumber(i.ENa * 1000.0) +
                  " mV, EK " + CliNumber(i.EK * 1000.0) + " mV";
  if (i.IfVolume == 1) r += ", volume " + CliNumber(i.Vol);
  r += "\npump current: " + CliNumber(i.I_Na_K_pump) + " muA/cm^2 (" + CliNumber(i.IpumpRest) + " at rest)\n";
  return r;
}

std::string IonJson(const Session& s) {
  const TIons& i = s.Ions;
  if (i.IonDynamics != 1) return {};
  return ", \"ions\": {\"Nai\": " + CliNumber(i.Nai) + ", \"Ki\": " + CliNumber(i.Ki) + ", \"ENa\": " + CliNumber(i.ENa) +
         ", \"EK\": " + CliNumber(i.EK) + ", \"Vol\": " + CliNumber(i.Vol) + ", \"I_Na_K_pump\": " + CliNumber(i.I_Na_K_pump) +
         ", \"IpumpRest\": " + CliNumber(i.IpumpRest) + "}";
}

CLI::App* AddPumpCurvesCommand(CLI::App& app, TaskCommand& command) {
  return AddTaskCommand(
      app, PumpCurvesTask(),
      [](std::ostream& out, const Session&, const TaskInputs&, const TaskValues&, const nlohmann::ordered_json& r) {
        out << "written: " << r.value("file", std::string())
            << " (Na_K_pump(Na_i), Na_K_pump(K_o), Na_K_pump(V); pump type " << r.value("pump_type", std::string("?"))
            << ")\n";
      },
      command);
}

}  // namespace membrix
