#include "app/cli_ions.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include "app/cli_sweep_support.h"
#include "common/error.h"
#include "common/number_format.h"
#include "params/model_defaults.h"
#include "run/session.h"

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

// One column file line: x and the two isoforms' currents.
void AppendRow(std::string& line, double x, double a1, double a2) {
  AppendFixed(line, x, 10, 3);
  line += ' ';
  AppendFixed(line, a1, 12, 6);
  line += ' ';
  AppendFixed(line, a2, 12, 6);
  line += '\n';
}

}  // namespace

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

CLI::App* AddPumpCurvesCommand(CLI::App& app, PumpCurvesOptions& o) {
  CLI::App* cmd = app.add_subcommand(
      "pump-curves",
      "The steady-state Na-K pump characteristics (\"NaK-pump plots\") at saturating conditions, as a column "
      "file of three blocks separated by a blank line: the pump current of each isoform (muA/cm^2) against "
      "Nai = 1..100 mM (Ko 100 mM, V +20 mV), against Ko = 0.5..50 mM (Nai 200 mM, V +20 mV) and against "
      "V = -100..0 mV (Nai 200 mM, Ko 100 mM). Columns: x, \"with Nai_alpha1\", \"with Nai_alpha2\".");
  AddInputOptions(cmd, o.ions);
  cmd->add_option("--out", o.out, "The column file to write")->required()->type_name("FILE");
  return cmd;
}

int PumpCurvesCommand(const PumpCurvesOptions& o) {
  Session s;
  ApplyProgramStart(s);
  ApplyIonOptions(s, o.ions);
  const PumpCharacteristics pc = PlotPumpCharacteristics(s);
  std::string text;
  bool first = true;
  for (const PumpCurve* c : {&pc.ofNai, &pc.ofKo, &pc.ofV}) {
    if (!first) text += '\n';
    first = false;
    for (std::size_t k = 0; k < c->x.size(); ++k) AppendRow(text, c->x[k], c->alpha1[k], c->alpha2[k]);
  }
  std::ofstream out(o.out, std::ios::out | std::ios::trunc);
  if (!out) throw IoError(o.out, std::strerror(errno));
  out << text;
  out.close();
  if (!out) throw IoError(o.out, "writing failed");
  std::cout << "written: " << o.out << " (Na_K_pump(Na_i), Na_K_pump(K_o), Na_K_pump(V); pump type "
            << (s.ionInputs.PumpType >= 0 && s.ionInputs.PumpType < 4 ? kPumpTypeNames[s.ionInputs.PumpType] : "?")
            << ")\n";
  return 0;
}

}  // namespace membrix
