// One clamp run as a task: the steps made, the spike times, the deviation from
// the recording, optionally a trace file, and the state of the ion dynamics.

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "common/error.h"
#include "ions/ion_dynamics.h"
#include "run/clamp_run.h"
#include "run/output_variables.h"
#include "run/run_view_sink.h"
#include "run/session.h"
#include "run/trace_files.h"
#include "tasks/model_inputs.h"
#include "tasks/task_cost.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

// Collects the spike times of a run and draws nothing.
class SpikeTimes final : public RunViewSink {
 public:
  bool Drawing() const override { return false; }
  void Spike(double tSpike) override { times.push_back(tSpike); }
  std::vector<double> times;
};

nlohmann::ordered_json JsonNumber(double x) {
  if (!std::isfinite(x)) return nullptr;
  return x;
}

// Why a run's deviation is not a number.
std::string DeviationNote(const Session& s) {
  if (!(s.rec.scx_Smpl > 0)) {
    return "the deviation cannot be computed: scx_Smpl = " + PlainNumber(s.rec.scx_Smpl) +
           " puts the recording's times nowhere on the model's time grid";
  }
  return "the deviation cannot be computed: the model or the recording holds values that are not numbers";
}

// The trace file outputs, with the save mode each one asks for.
struct SaveOutput {
  const char* input;
  int mode;
};
std::string Option(std::string name) {
  for (char& c : name) c = c == '_' ? '-' : c;
  return "--" + name;
}

constexpr SaveOutput kSaves[] = {{"save_v", 1}, {"save_exp_mod", 2}, {"save_mmr_hhr", 3}, {"save_var", 4}};

// The file a whole-result output is finally called: the run writes it under
// "<name>.part" until it is complete.
std::string FinalName(const std::string& path) {
  const std::string suffix = ".part";
  if (path.size() > suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
    return path.substr(0, path.size() - suffix.size());
  }
  return path;
}

nlohmann::ordered_json IonResults(const Session& s) {
  const TIons& i = s.Ions;
  nlohmann::ordered_json ions;
  ions["Nai"] = JsonNumber(i.Nai);
  ions["Ki"] = JsonNumber(i.Ki);
  ions["ENa"] = JsonNumber(i.ENa);
  ions["EK"] = JsonNumber(i.EK);
  ions["Vol"] = JsonNumber(i.Vol);
  ions["I_Na_K_pump"] = JsonNumber(i.I_Na_K_pump);
  ions["IpumpRest"] = JsonNumber(i.IpumpRest);
  return ions;
}

void RunOne(TaskCall& call) {
  Session& s = call.s;
  const TaskValues& v = call.values;
  const SaveOutput* save = nullptr;
  for (const SaveOutput& o : kSaves) {
    if (!v.Given(o.input)) continue;
    if (save != nullptr) {
      throw RangeError(Option(save->input) + " and " + Option(o.input) +
                       " both ask for the trace file: a run writes one; give one of them");
    }
    save = &o;
  }
  const bool item = v.Given("var_to_write");
  if (save != nullptr && save->mode == 4 && !item) {
    throw RangeError("--save-var needs the item of the output list to write: give --var-to-write NAME");
  }
  if (item && (save == nullptr || save->mode != 4)) {
    throw RangeError("--var-to-write names the item that --save-var writes: give --save-var FILE too");
  }

  SpikeTimes spikes;
  std::string file;
  double deviation = 0.0;
  if (save != nullptr) {
    file = v.Text(save->input);
    deviation = SaveTraceRun(s, call.host, spikes, file, save->mode, item ? v.Text("var_to_write") : std::string());
    call.written = {save->input};
  } else {
    deviation = RunClamp(s, call.host, spikes);
  }

  nlohmann::ordered_json& r = *call.results;
  r["steps"] = s.run.nt;
  nlohmann::ordered_json times = nlohmann::ordered_json::array();
  for (double t : spikes.times) times.push_back(JsonNumber(t));
  r["spike_times"] = std::move(times);
  r["deviation"] = JsonNumber(deviation);
  if (!std::isfinite(deviation)) r["deviation_note"] = DeviationNote(s);
  if (save != nullptr) r["written"] = FinalName(file);
  if (s.Ions.IonDynamics == 1) r["ions"] = IonResults(s);
  if (s.run.integrator.kind == IntegratorKind::Cvode) {
    const IntegratorWork& w = s.run.integratorWork;
    r["integrator"] = {{"name", "cvode"}, {"steps", w.steps}, {"evaluations", w.evaluations}, {"restarts", w.restarts}};
  }
}

std::vector<std::string> Names(const char* const* names, std::size_t n) { return {names, names + n}; }

std::string OutputItemsText() {
  std::string items;
  for (std::string_view item : OutputVariables()) items += (items.empty() ? "" : ", ") + std::string(item);
  return items;
}

// The inputs of the ion dynamics ("Ions" and "NaK-pump" pages).
void AddIonInputs(std::vector<TaskInput>& inputs) {
  auto ion = [](TaskInput in, auto field) { return BindField(std::move(in), &Session::ionInputs, field); };
  inputs.push_back(ion(Flag("ions", "Ion dynamics on: intracellular Na and K, the Na-K pump, KCC2 and NKCC1 move "
                                    "the reversal potentials during the run; with --writing the run also fills "
                                    "\"t_V_pump_Na_VNa_K_VK.dat\"")
                           .Label("Ion Dynamics"),
                       &IonInputs::IonDynamics));
  inputs.push_back(ion(Choice("pump_type", Names(kPumpTypeNames, std::size(kPumpTypeNames)),
                              "Na-K pump type, by name or number")
                           .Label("Na-K pump type"),
                       &IonInputs::PumpType));
  inputs.push_back(ion(Number("nak1", Unit::UACm2, AtLeast(0), "Maximal current of pump isoform 1").Label("NaK,1"),
                       &IonInputs::NaK1));
  inputs.push_back(ion(Number("nak2", Unit::UACm2, AtLeast(0), "Maximal current of pump isoform 2").Label("NaK,2"),
                       &IonInputs::NaK2));
  inputs.push_back(ion(Number("nai_alpha1", Unit::MM, Above(0), "Na affinity of isoform 1"), &IonInputs::Nai_alpha1));
  inputs.push_back(ion(Number("nai_alpha2", Unit::MM, Above(0), "Na affinity of isoform 2"), &IonInputs::Nai_alpha2));
  inputs.push_back(ion(Number("dv1", Unit::MV, Above(0), "Voltage slope of isoform 1 (Dobretsov-Stimers)").Label("dV,1"),
                       &IonInputs::dV1));
  inputs.push_back(ion(Number("dv2", Unit::MV, Above(0), "Voltage slope of isoform 2 (Dobretsov-Stimers)").Label("dV,2"),
                       &IonInputs::dV2));
  inputs.push_back(ion(Choice("kcc2_type", Names(kKCC2TypeNames, std::size(kKCC2TypeNames)),
                              "KCC2 type, by name or number")
                           .Label("KCC2 type"),
                       &IonInputs::KCC2Type));
  inputs.push_back(ion(Choice("vl_item", Names(kVLItemNames, std::size(kVLItemNames)),
                              "How the leak follows the concentrations, by name or number")
                           .Label("VL_Item"),
                       &IonInputs::VL_Item));
  inputs.push_back(ion(Flag("volume", "The cell volume responds to the cotransport").Label("If Volume"),
                       &IonInputs::IfVolume));
  inputs.push_back(ion(Number("gl_k_ratio", Unit::None, Between(0, 1), "K share of the leak").Label("gL_K/gL"),
                       &IonInputs::gL_K_ratio));
  inputs.push_back(ion(Number("gl_na_ratio", Unit::None, Between(0, 1), "Na share of the leak").Label("gL_Na/gL"),
                       &IonInputs::gL_Na_ratio));
  inputs.push_back(ion(Number("kcc2", Unit::None, AtLeast(0), "KCC2 strength"), &IonInputs::KCC2));
  inputs.push_back(ion(Number("nkcc1", Unit::None, AtLeast(0), "NKCC1 strength"), &IonInputs::NKCC1));
  inputs.push_back(ion(Number("beta", Unit::None, AtLeast(0), "Volume coefficient"), &IonInputs::beta));
  inputs.push_back(ion(Number("gamma", Unit::None, AtLeast(0),
                              "Concentration coefficient, mM*cm^2/(muA*s), applied per millisecond of the run"),
                       &IonInputs::gamma));
}

TaskDeclaration MakeRunTask() {
  TaskDeclaration t;
  t.name = "run";
  t.summary =
      "One clamp run, from the built-in start-up parameters (\"Lyle\", \"1-point\", 600 ms) or from a parameter "
      "file; prints the steps made, the spike times, the deviation from the recording and the time taken, and "
      "writes the trace file a --save-* option asks for.";
  t.onStop = "Ctrl+C stops the run; a trace file asked for stays under \"<name>.part\".";
  t.example = "--t-end-ms 20";
  t.inputs = ModelInputs(true);
  for (TaskInput& in : IntegratorInputs()) t.inputs.push_back(std::move(in));
  t.inputs.push_back(Number("t_end_ms", Unit::Ms, Above(0), "Length of the run")
                         .Label(" t_end, ms       ")
                         .Aka("t-end", 1000.0)
                         .Bind([](const Session& s) { return s.run.t_end * 1000.0; },
                               [](Session& s, double v) { SetRunLength(s.run, v / 1000.0); }));
  t.inputs.push_back(BindField(Flag("writing", "Also write the run log (the recording's name + \"at\") and the ion "
                                               "file \"t_V_pump_Na_VNa_K_VK.dat\", as the Writing menu item does")
                                   .Label("Writing"),
                               &Session::run, &RunGlobals::Writing));
  t.inputs.push_back(OutFile("save_v", FileKind::WholeResult, "", "Write t (ms) and V (mV) every n_Write steps")
                         .Columns({{"t", Unit::Ms}, {"V", Unit::MV}}));
  t.inputs.push_back(OutFile("save_exp_mod", FileKind::WholeResult, "",
                             "Write t (ms), the recorded and the model value")
                         .Columns({{"t", Unit::Ms}, {"recorded", Unit::None}, {"model", Unit::None}}));
  t.inputs.push_back(OutFile("save_mmr_hhr", FileKind::WholeResult, "",
                             "Write t (ms), mmR and hhR (m and h of the slow Na current)")
                         .Columns({{"t", Unit::Ms}, {"mmR", Unit::None}, {"hhR", Unit::None}}));
  t.inputs.push_back(OutFile("save_var", FileKind::WholeResult, "",
                             "Write t (ms) and the item of the output list named by --var-to-write "
                             "(the old form --save-var NAME FILE is still taken)")
                         .Columns({{"t", Unit::Ms}, {"var_to_write", Unit::None}}));
  t.inputs.push_back(Text("var_to_write", "The item of the output list --save-var writes: " + OutputItemsText() +
                                              "; or of an imported channel: I_ID (its current, mA/cm²), ID.GATE")
                         .Label("Var to write"));
  AddIonInputs(t.inputs);
  t.cost = [](const Session& s, const TaskInputs&, const TaskValues&) {
    TaskCost c;
    c.runs = 1.0;
    c.stepsPerRun = static_cast<double>(StepCount(s.run.t_end, s.run.dt));
    c.bytes = ClampRunRecordingBytes(s, c.stepsPerRun);
    return c;
  };
  t.run = RunOne;
  return t;
}

}  // namespace

const TaskDeclaration& RunTask() {
  static const TaskDeclaration task = MakeRunTask();
  return task;
}

}  // namespace membrix
