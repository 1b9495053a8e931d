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

namespace {

template <std::size_t N>
std::string Names(const char* const (&names)[N]) {
  std::string text;
  for (std::size_t i = 0; i < N; ++i) text += (i ? ", " : "") + std::to_string(i) + " " + names[i];
  return text;
}

// An item of a radio group by its caption or its index.
template <std::size_t N>
std::int32_t Item(const std::string& text, const char* const (&names)[N], const char* group) {
  for (std::size_t i = 0; i < N; ++i) {
    if (text == names[i] || text == std::to_string(i)) return static_cast<std::int32_t>(i);
  }
  throw RangeError("\"" + text + "\" is not an item of \"" + group + "\" (" + Names(names) + ")");
}

void AddInputOptions(CLI::App* cmd, IonCliOptions& o) {
  IonInputs& in = o.inputs;
  cmd->add_option("--pump-type", o.pumpType, "Na-K pump type by name or number: " + Names(kPumpTypeNames) +
                                                 " (default Cressman-Wei)")
      ->type_name("TYPE");
  cmd->add_option("--nak1", in.NaK1, "\"NaK,1\": maximal current of pump isoform 1, muA/cm^2 (default 10)");
  cmd->add_option("--nak2", in.NaK2, "\"NaK,2\": maximal current of pump isoform 2, muA/cm^2 (default 0)");
  cmd->add_option("--nai-alpha1", in.Nai_alpha1, "Na affinity of isoform 1, mM (default 10)");
  cmd->add_option("--nai-alpha2", in.Nai_alpha2, "Na affinity of isoform 2, mM (default 30)");
  cmd->add_option("--dv1", in.dV1, "\"dV,1\": voltage slope of isoform 1, mV (Dobretsov-Stimers; default 10)");
  cmd->add_option("--dv2", in.dV2, "\"dV,2\": voltage slope of isoform 2, mV (default 10)");
}

}  // namespace

void AddIonOptions(CLI::App* run, IonCliOptions& o) {
  IonInputs& in = o.inputs;
  run->add_flag("--ions", o.on,
                "Ion dynamics on (\"Ion Dynamics\"): intracellular Na and K, the Na-K pump, KCC2 and NKCC1 move "
                "the reversal potentials during the run; with --writing the run also fills "
                "\"t_V_pump_Na_VNa_K_VK.dat\"");
  AddInputOptions(run, o);
  run->add_option("--kcc2-type", o.kcc2Type, "KCC2 type by name or number: " + Names(kKCC2TypeNames) +
                                                  " (default Cressman)")
      ->type_name("TYPE");
  run->add_option("--vl-item", o.vlItem,
                  "How the leak follows the concentrations (\"VL_Item\"), by name or number: " +
                      Names(kVLItemNames) + " (default VNa=const)")
      ->type_name("ITEM");
  run->add_flag("--volume", o.volume, "The cell volume responds to the cotransport (\"If Volume\")");
  run->add_option("--gl-k-ratio", in.gL_K_ratio, "\"gL_K/gL\": K share of the leak (default 0.6)");
  run->add_option("--gl-na-ratio", in.gL_Na_ratio, "\"gL_Na/gL\": Na share of the leak (default 0.3)");
  run->add_option("--kcc2", in.KCC2, "KCC2 strength (default 0)");
  run->add_option("--nkcc1", in.NKCC1, "NKCC1 strength (default 0)");
  run->add_option("--beta", in.beta, "Volume coefficient (default 7)");
  run->add_option("--gamma", in.gamma,
                  "Concentration coefficient, mM*cm^2/(muA*s), applied per millisecond of the run (default 0.02)");
}

void ApplyIonOptions(Session& s, const IonCliOptions& o) {
  IonInputs in = o.inputs;
  in.IonDynamics = o.on ? 1 : 0;
  in.IfVolume = o.volume ? 1 : 0;
  if (!o.pumpType.empty()) in.PumpType = Item(o.pumpType, kPumpTypeNames, "Na-K pump type");
  if (!o.kcc2Type.empty()) in.KCC2Type = Item(o.kcc2Type, kKCC2TypeNames, "KCC2 type");
  if (!o.vlItem.empty()) in.VL_Item = Item(o.vlItem, kVLItemNames, "VL_Item");
  s.ionInputs = in;
}

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
      [](std::ostream& out, const Session&, const TaskValues&, const nlohmann::ordered_json& r) {
        out << "written: " << r.value("file", std::string())
            << " (Na_K_pump(Na_i), Na_K_pump(K_o), Na_K_pump(V); pump type " << r.value("pump_type", std::string("?"))
            << ")\n";
      },
      command);
}

}  // namespace membrix
