#include "app/cli_act_inact.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "analysis/act_inact.h"
#include "common/error.h"
#include "params/model_defaults.h"
#include "params/parameter_file.h"
#include "run/host.h"
#include "run/session.h"

namespace membrix {

namespace {

std::string Number(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.6g", x);
  return buf;
}

std::string JsonText(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

CLI::App* AddActInactCommand(CLI::App& app, ActInactOptions& o) {
  CLI::App* cmd = app.add_subcommand(
      "act-inact",
      "Activation and inactivation curves of the Na current of the NaR slot: runs the 41 voltage-clamp "
      "protocols (activation: from -100 mV to -50 ... +50 mV; inactivation: from -110 ... -15 mV to 0 mV) "
      "with the procedural neuron, compares each with its recording DIR/Data/Tessel/a<mV>.d or "
      "DIR/Data/Tessel/DataOf_SSA12/a<mV>.d, prints the peak currents and conductances of model and "
      "recording, and writes the column files asked for (values 9:3, V in mV; --save-tau gives V in volts).");
  cmd->add_option("--id", o.idFile, "Open a .id parameter file first (voltage clamp, e.g. resources/samples/Act_Inact.id)")
      ->check(CLI::ExistingFile);
  cmd->add_option("--data", o.dataFolder,
                  "The folder below which Data/Tessel lies (default: the current folder, or the folder of the "
                  "--id file when the current one has no Data/Tessel)")
      ->type_name("DIR");
  cmd->add_option("--t-end", o.t_end, "Length of each protocol in seconds (at most 25000 steps are used)")
      ->check(CLI::PositiveNumber);
  cmd->add_option("--dt", o.dt, "Time step in seconds (default 5e-5)")->check(CLI::PositiveNumber);
  cmd->add_option("--save-g", o.saveG, "Write the activation peaks: V  g_Exp  g_Mod")->type_name("FILE");
  cmd->add_option("--save-i", o.saveI, "Write the inactivation peaks: V  I_Exp  I_Mod")->type_name("FILE");
  cmd->add_option("--save-norm", o.saveNorm, "Write the normalised activation: V  g/gMax_Exp  g/gMax_Mod")
      ->type_name("FILE");
  cmd->add_option("--save-norm-i", o.saveNormI, "Write the normalised inactivation: V  I/IMax_Exp  I/IMax_Mod")
      ->type_name("FILE");
  cmd->add_option("--save-steady", o.saveSteady, "Write m^3 and h of the NaR gates at steady state: V  m^3  h")
      ->type_name("FILE");
  cmd->add_option("--save-tau", o.saveTau,
                  "Write the NaR time constants and rates: V(volts)  tau_m  alpha_m  beta_m  tau_h  alpha_h  beta_h")
      ->type_name("FILE");
  cmd->add_flag("--json", o.json, "Print one JSON object with the peaks and the files written");
  return cmd;
}

int ActInactCommand(const ActInactOptions& o) {
  Session s;
  ApplyProgramStart(s);
  if (!o.idFile.empty()) LoadParameterFile(s, o.idFile);
  if (o.dt > 0) SetTimeStep(s.run, o.dt);
  if (o.t_end >= 0) SetRunLength(s.run, o.t_end);
  for (const std::string& note : s.SimplexMemo) std::cerr << "membrix-cli: " << note << "\n";
  if (s.NP0.If_I_V_or_g != 1 || s.rec.NSmpls <= 0) {
    std::cerr << "membrix-cli: warning: the parameters are not for voltage clamp with recordings; "
                 "resources/samples/Act_Inact.id is an example of suitable ones\n";
  }
  const std::string folder = !o.dataFolder.empty()
                                 ? o.dataFolder
                                 : ActInactDataFolder(std::filesystem::current_path().string(), o.idFile);

  BatchHost host(true);  // every file written is confirmed
  ActInactState st;
  ActInactPeaks peaks;
  ActInactTraces traces;
  ActInactSink none;
  std::vector<std::string> written;
  auto calc = [&] { CalcPeaks(s, folder, peaks, traces, st, host, none); };
  // Each peak file is written while the peaks are computed, as the window's
  // save items do; without one the peaks are computed once for the table.
  for (const auto& [file, mode] : {std::pair{o.saveG, 1}, std::pair{o.saveI, 2}}) {
    if (file.empty()) continue;
    SaveActInact(st, file, mode, host, calc);
    written.push_back(file);
  }
  if (o.saveG.empty() && o.saveI.empty()) calc();
  for (const auto& [file, mode] : {std::pair{o.saveNorm, 1}, std::pair{o.saveNormI, 2}}) {
    if (file.empty()) continue;
    SaveActInact(st, file, mode, host, [&] { NormalizePeaks(peaks, st, none); });
    written.push_back(file);
  }
  if (!o.saveSteady.empty()) {
    SaveActInact(st, o.saveSteady, 1, host, [&] { SteadyStateCurves(s, st, none); });
    written.push_back(o.saveSteady);
  }
  if (!o.saveTau.empty()) {
    SaveActInact(st, o.saveTau, 1, host, [&] { RateCurves(s, st, none); });
    written.push_back(o.saveTau);
  }

  if (o.json) {
    std::cout << "{\"data\": " << JsonText(folder) << ", \"protocols\": [";
    for (int r = -kActInactHalf; r <= kActInactHalf; ++r) {
      std::cout << (r > -kActInactHalf ? ", " : "") << "{\"r\": " << r << ", \"V_mV\": " << Number(1000 * peaks.V[r])
                << ", \"I_exp\": " << Number(peaks.Iexp[r]) << ", \"I_mod\": " << Number(peaks.Imod[r])
                << ", \"g_exp\": " << Number(peaks.gexp[r]) << ", \"g_mod\": " << Number(peaks.gmod[r]) << "}";
    }
    std::cout << "], \"written\": [";
    for (std::size_t i = 0; i < written.size(); ++i) std::cout << (i ? ", " : "") << JsonText(written[i]);
    std::cout << "]}\n";
    return 0;
  }
  std::cout << "recordings below: " << folder << "\n"
            << "protocol   V (mV)    I exp (pA)    I mod (pA)     g exp (pA/V)     g mod (pA/V)\n";
  for (int r = -kActInactHalf; r <= kActInactHalf; ++r) {
    char line[160];
    std::snprintf(line, sizeof line, "%-12s%6.0f %13.1f %13.1f %16.1f %16.1f\n",
                  r > 0 ? "inactivation" : "activation", 1000 * peaks.V[r], peaks.Iexp[r], peaks.Imod[r],
                  peaks.gexp[r], peaks.gmod[r]);
    std::cout << line;
  }
  for (const std::string& f : written) std::cout << "written: " << f << "\n";
  return 0;
}

}  // namespace membrix
