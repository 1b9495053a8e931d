// The activation and inactivation curves of the Na current of the NaR slot as
// a task: the 41 voltage-clamp protocols against their recordings.

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "analysis/act_inact.h"
#include "params/model_defaults.h"
#include "run/host.h"
#include "run/session.h"
#include "tasks/model_inputs.h"
#include "tasks/task_cost.h"
#include "tasks/task_files.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

// Six significant digits, as the peaks were always reported.
double Rounded(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.6g", x);
  return std::strtod(buf, nullptr);
}

// The name a file was asked under: whole results are written as "<name>.part".
std::string AskedName(const std::string& written) {
  const std::string part = ".part";
  if (written.size() > part.size() && written.compare(written.size() - part.size(), part.size(), part) == 0) {
    return written.substr(0, written.size() - part.size());
  }
  return written;
}

constexpr const char* kSaveInputs[] = {"save_g", "save_i", "save_norm", "save_norm_i", "save_steady", "save_tau"};

// The 41 recordings are inputs too: no file asked for may be one of them (it
// would be emptied before it is read, or replaced once the curves are done).
void GuardRecordings(const std::string& folder, const TaskValues& v) {
  std::vector<TaskFile> recordings;
  for (int r = -kActInactHalf; r <= kActInactHalf; ++r) {
    recordings.push_back({"recording of protocol " + std::to_string(r), ActInactRecordingPath(folder, r)});
  }
  std::vector<TaskFile> outputs;
  for (const char* name : kSaveInputs) {
    if (v.Text(name).empty()) continue;
    const std::string option = "--" + std::string(name).replace(std::string(name).find('_'), 1, "-");
    outputs.push_back({option, v.Text(name)});
    if (AskedName(v.Text(name)) != v.Text(name)) outputs.push_back({option, AskedName(v.Text(name))});
  }
  // Each output against the recordings only (an output and its part file are
  // two names of one request).
  for (const TaskFile& out : outputs) GuardOutputs(recordings, {out});
}

void RunActInact(TaskCall& call) {
  Session& s = call.s;
  const TaskValues& v = call.values;
  if (s.NP0.If_I_V_or_g != 1 || s.rec.NSmpls <= 0) {
    std::fprintf(stderr,
                 "membrix-cli: warning: the parameters are not for voltage clamp with recordings; "
                 "resources/samples/Act_Inact.id is an example of suitable ones\n");
  }
  const std::string folder =
      v.Given("data") ? v.Text("data")
                      : ActInactDataFolder(std::filesystem::current_path().string(), v.Given("id") ? v.Text("id") : "");
  GuardRecordings(folder, v);

  Host& host = call.host;
  ActInactState st;
  ActInactPeaks peaks;
  ActInactTraces traces;
  ActInactSink none;
  std::vector<std::string> written;
  auto calc = [&] { CalcPeaks(s, folder, peaks, traces, st, host, none); };
  auto save = [&](const char* name, int mode, const std::function<void()>& command) {
    SaveActInact(st, v.Text(name), mode, host, command);
    call.written.push_back(name);
    written.push_back(AskedName(v.Text(name)));
  };
  // Each peak file is written while the peaks are computed, as the window's
  // save items do; without one the peaks are computed once for the table.
  for (const auto& [name, mode] : {std::pair{"save_g", 1}, std::pair{"save_i", 2}}) {
    if (!v.Text(name).empty()) save(name, mode, calc);
  }
  if (v.Text("save_g").empty() && v.Text("save_i").empty()) calc();
  for (const auto& [name, mode] : {std::pair{"save_norm", 1}, std::pair{"save_norm_i", 2}}) {
    if (!v.Text(name).empty()) save(name, mode, [&] { NormalizePeaks(peaks, st, none); });
  }
  if (!v.Text("save_steady").empty()) save("save_steady", 1, [&] { SteadyStateCurves(s, st, none); });
  if (!v.Text("save_tau").empty()) save("save_tau", 1, [&] { RateCurves(s, st, none); });

  int done = 0;
  for (bool d : peaks.done) done += d ? 1 : 0;
  call.complete = !host.StopRequested();
  call.done = done;
  call.total = kActInactProtocols;
  call.doneUnit = "protocols";

  nlohmann::ordered_json& r = *call.results;
  r["data"] = folder;
  nlohmann::ordered_json protocols = nlohmann::ordered_json::array();
  for (int k = -kActInactHalf; k <= kActInactHalf; ++k) {
    nlohmann::ordered_json p;
    p["r"] = k;
    p["V_mV"] = Rounded(1000 * peaks.V[k]);
    p["I_exp"] = Rounded(peaks.Iexp[k]);
    p["I_mod"] = Rounded(peaks.Imod[k]);
    p["g_exp"] = Rounded(peaks.gexp[k]);
    p["g_mod"] = Rounded(peaks.gmod[k]);
    protocols.push_back(std::move(p));
  }
  r["protocols"] = std::move(protocols);
  r["written"] = written;
}

TaskDeclaration MakeActInactTask() {
  TaskDeclaration t;
  t.name = "act-inact";
  t.summary =
      "Activation and inactivation curves of the Na current of the NaR slot: runs the 41 voltage-clamp "
      "protocols (activation: from -100 mV to -50 ... +50 mV; inactivation: from -110 ... -15 mV to 0 mV) "
      "with the procedural neuron, compares each with its recording DIR/Data/Tessel/a<mV>.d or "
      "DIR/Data/Tessel/DataOf_SSA12/a<mV>.d, prints the peak currents and conductances of model and "
      "recording, and writes the column files asked for (values 9:3, V in mV; --save-tau gives V in volts).";
  t.onStop = "Ctrl+C ends the running protocol; the files asked for are left as they were.";
  t.inputs = ModelInputs(false);
  t.inputs.push_back(InFile("data", FileKind::DataFolder,
                            "The folder below which Data/Tessel lies (default: the current folder, or the folder of "
                            "the --id file when the current one has no Data/Tessel)"));
  t.inputs.push_back(Number("t_end_ms", Unit::Ms, Above(0), "Length of each protocol")
                         .Aka("t-end", 1000.0)
                         .Bind([](const Session& s) { return s.run.t_end * 1000.0; },
                               [](Session& s, double x) { SetRunLength(s.run, x / 1000.0); }));
  auto save = [&t](const char* name, const char* help, std::vector<Column> columns) {
    t.inputs.push_back(OutFile(name, FileKind::WholeResult, "", help).Columns(std::move(columns)));
  };
  save("save_g", "Write the activation peaks: V  g_Exp  g_Mod",
       {{"V", Unit::MV}, {"g_Exp", Unit::None}, {"g_Mod", Unit::None}});
  save("save_i", "Write the inactivation peaks: V  I_Exp  I_Mod",
       {{"V", Unit::MV}, {"I_Exp", Unit::PA}, {"I_Mod", Unit::PA}});
  save("save_norm", "Write the normalised activation: V  g/gMax_Exp  g/gMax_Mod",
       {{"V", Unit::MV}, {"g/gMax_Exp", Unit::None}, {"g/gMax_Mod", Unit::None}});
  save("save_norm_i", "Write the normalised inactivation: V  I/IMax_Exp  I/IMax_Mod",
       {{"V", Unit::MV}, {"I/IMax_Exp", Unit::None}, {"I/IMax_Mod", Unit::None}});
  save("save_steady", "Write m^3 and h of the NaR gates at steady state: V  m^3  h",
       {{"V", Unit::MV}, {"m^3", Unit::None}, {"h", Unit::None}});
  save("save_tau", "Write the NaR time constants and rates: V(volts)  tau_m  alpha_m  beta_m  tau_h  alpha_h  beta_h",
       {{"V_volts", Unit::None},
        {"tau_m", Unit::Ms},
        {"alpha_m", Unit::None},
        {"beta_m", Unit::None},
        {"tau_h", Unit::Ms},
        {"alpha_h", Unit::None},
        {"beta_h", Unit::None}});
  t.cost = [](const Session& s, const TaskInputs&, const TaskValues&) {
    TaskCost c;
    c.runs = kActInactProtocols;
    c.stepsPerRun = static_cast<double>(StepCount(s.run.t_end, s.run.dt));
    // Each protocol's recording on the model grid, with the model's values beside it.
    c.bytes = RecordingTableBytes(c.stepsPerRun);
    return c;
  };
  t.run = RunActInact;
  return t;
}

}  // namespace

const TaskDeclaration& ActInactTask() {
  static const TaskDeclaration task = MakeActInactTask();
  return task;
}

}  // namespace membrix
