// The firing clamp as a task: the model driven by noisy conductances around a
// mean input, its rate held by correcting u and/or s after every spike.

#include <nlohmann/json.hpp>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/firing_clamp.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/model_inputs.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

// The window's item texts without their blanks at either end.
template <std::size_t N>
std::vector<std::string> Trimmed(const std::array<std::string_view, N>& names) {
  std::vector<std::string> list;
  for (std::string_view n : names) {
    while (!n.empty() && n.front() == ' ') n.remove_prefix(1);
    while (!n.empty() && n.back() == ' ') n.remove_suffix(1);
    list.emplace_back(n);
  }
  return list;
}

class ProgressSink final : public FiringClampSink {
 public:
  ProgressSink(TaskCall& call, int maxSpikes) : call_(call), maxSpikes_(maxSpikes) {}
  void Record(const SpikeRecord&) override { call_.progress(++spikes, maxSpikes_); }
  int spikes = 0;

 private:
  TaskCall& call_;
  int maxSpikes_;
};

void RunFiringClamp(TaskCall& call) {
  Session& s = call.s;
  const TaskValues& v = call.values;
  ApplyFiringClampDrive(s, v);
  s.resetInputs.du_ResetAmplitude = v.Number("du_reset") / 1000.0;
  call.in.firingClamp.SurgeryDu = v.Number("surgery_du") / 1000.0;
  s.run.Writing = v.On("writing") ? 1 : 0;
  call.in.zInputs.storedFolder = v.Text("stored_folder");

  FiringClampFiles files;
  files.records = v.Text("out");
  if (v.On("writing")) files.conductances = v.Text("conductances_out");
  const int maxSpikes = v.Int("max_spikes");
  ProgressSink sink(call, maxSpikes);
  const FiringClampResult r = RunWithNoise(s, call.in.firingClamp, call.in.zInputs, call.host, sink, maxSpikes, files);
  // The rate of the second half of the records.
  double rate = 0.0;
  const std::size_t n = r.records.size();
  if (n >= 4) rate = static_cast<double>(n - 1 - n / 2) / (r.records[n - 1].tLastSpike - r.records[n / 2].tLastSpike);
  // The records' file is made at the first record.
  if (n > 0) call.written.push_back("out");
  if (v.On("writing")) call.written.push_back("conductances_out");
  EndFiringClampRun(call, r);
  nlohmann::ordered_json& out = *call.results;
  out["spikes"] = r.nSpikes;
  out["records"] = n;
  out["t_ms"] = r.t * 1000.0;
  out["late_rate_Hz"] = rate;
  out["mode"] = call.in.firingClamp.Mode;
  out["target_Hz"] = s.prog.FC_freq;
}

TaskDeclaration MakeFiringClampTask() {
  TaskDeclaration t;
  t.name = "firing-clamp";
  t.summary =
      "The firing clamp: the model driven by noisy excitatory and inhibitory conductances around the mean input "
      "(u, s), its rate held at --freq by correcting u and/or s after every spike. Writes one line per spike (up "
      "to 1000) to \"map_u_s.dat\": spike time ms, u without the clamp µA/cm², s, the filtered corrections u "
      "(µA/cm²) and s at the spike, and the same less the adaptation estimate.";
  t.onStop = "Ctrl+C stops and keeps the records made until then.";
  t.example = "--fc-mode \"Adjust  u\" --freq 40 --df-du 20 --u 2.5 --max-spikes 10";
  t.random = true;
  t.inputs = ModelInputs(false);
  t.inputs.push_back(SeedInput());
  auto fc = [](TaskInput in, auto field) { return BindField(std::move(in), &TaskInputs::firingClamp, field); };
  for (TaskInput& in : FiringClampDriveInputs({5.0, 0.0, 0.0})) t.inputs.push_back(std::move(in));
  t.inputs.push_back(BindField(Number("tau_noise_ms", Unit::Ms, AtLeast(0), "Correlation time of the noise (0: white)")
                                   .Aka("tau-noise"),
                               &Session::stim, &StimulusGlobals::tau_Noise, 1e-3));
  t.inputs.push_back(Number("du_reset", Unit::UACm2, AnyNumber(), "Reset current").Label(" du_Reset, muA/cm^2:")
                         .Default(-15.0));
  t.inputs.push_back(Number("surgery_du", Unit::UACm2, AnyNumber(), "Surgery kick of u").Default(2.0));
  t.inputs.push_back(fc(Integer("f", Between(0, 6), "F recorded at a spike: 0 Frequency ... 6 Th")
                            .Label("Function F to be measured:"),
                        &FiringClampInputs::FunctionF));
  t.inputs.push_back(fc(Integer("g", Between(0, 6), "G recorded at a spike: 0 dV/dt ... 3 MaxVoltage ... 6 IxZ")
                            .Label("Function G to be measured:"),
                        &FiringClampInputs::FunctionG));
  t.inputs.push_back(Integer("max_spikes", Between(1, 2147483647.0), "End at the downstroke of this spike")
                         .Default(100000));
  t.inputs.push_back(Flag("writing", "Also write t ms, gE, gI of every step to \"gE_gI_Noisy(t).dat\", and the run "
                                     "log (the recording's name + \"at\") and the ion file every n_Write steps"));
  t.inputs.push_back(InFile("stored_folder", FileKind::StoredZFolder,
                            "Folder of the stored unit Z-function \"set_func_Z_Unit.dat\" read when F is VxZ or G "
                            "is VxZ or IxZ (default: the current folder)"));
  t.inputs.push_back(OutFile("out", FileKind::LinesPerRun, "map_u_s.dat", "The per-spike records")
                         .Aka("output")
                         .Columns({{"t_spike", Unit::Ms},
                                   {"u", Unit::UACm2},
                                   {"s", Unit::MSCm2},
                                   {"u_at_spike", Unit::UACm2},
                                   {"s_at_spike", Unit::MSCm2},
                                   {"u_at_spike_less_adaptation", Unit::UACm2},
                                   {"s_at_spike_less_adaptation", Unit::MSCm2}}));
  t.inputs.push_back(OutFile("conductances_out", FileKind::LinesPerRun, kNoisyConductanceFile,
                             "The conductances' file of --writing")
                         .Aka("conductances-output"));
  t.cost = [](const Session& s, const TaskInputs&, const TaskValues& v) {
    TaskCost c;
    c.stepsPerRun = static_cast<double>(StepCount(v.Number("t_end_ms") / 1000.0, s.run.dt));
    return c;
  };
  t.run = RunFiringClamp;
  return t;
}

}  // namespace

TaskInput ResetProtocolInput() {
  return BindField(Choice("reset", Trimmed(kResetProtocolNames),
                          "Reset protocol after a spike (the workbench starts with \"Reset voltage\"; here the default "
                          "is none)"),
                   &Session::resetInputs, &ResetProtocolInputs::Reset);
}

std::vector<TaskInput> FiringClampDriveInputs(const FiringClampDriveDefaults& d) {
  std::vector<TaskInput> inputs;
  inputs.push_back(Number("u", Unit::UACm2, AnyNumber(), "Mean input current u").Default(d.u));
  inputs.push_back(Number("s", Unit::MSCm2, AnyNumber(), "Mean input conductance s").Default(d.s));
  // Not "mode": that is the model's clamp mode among the shared inputs.
  inputs.push_back(BindField(Choice("fc_mode", Trimmed(kFiringClampModeNames),
                                    "Firing-clamp mode, as listed in the workbench without its leading blank, or "
                                    "its index; none unless given (open loop)")
                                 .Aka("mode"),
                             &TaskInputs::firingClamp, &FiringClampInputs::Mode));
  inputs.push_back(ResetProtocolInput());
  inputs.push_back(BindField(Number("freq", Unit::Hz, Between(0, 1e4), "Target rate").Label(" Freq. hold: "),
                             &Session::prog, &ProgramGlobals::FC_freq));
  inputs.push_back(BindField(Number("df_du", Unit::HzPerUACm2, AtLeast(0),
                                    "Rate change per unit of u; the clamp is off while 0")
                                 .Label(" dFreq/du: ")
                                 .Aka("dfdu", 1e-3),
                             &Session::prog, &ProgramGlobals::FC_dFdu, 1000.0));
  inputs.push_back(Number("i0", Unit::UACm2, AnyNumber(), "Current scale of the s correction (the modes that "
                                                          "correct s divide by it)")
                       .Label(" I0, mkA/cm^2:")
                       .Default(10.0));
  inputs.push_back(Number("noise_to_signal", Unit::None, AtLeast(0), "Deviation of the conductances over their mean")
                       .Default(d.noiseToSignal));
  inputs.push_back(Number("tau_e_ms", Unit::Ms, AtLeast(0), "Period of the excitatory modulation (0: none)")
                       .Aka("tau-e")
                       .Default(0.0));
  inputs.push_back(Number("tau_i_ms", Unit::Ms, AtLeast(0), "Period of the inhibitory modulation (0: none)")
                       .Aka("tau-i")
                       .Default(0.0));
  inputs.push_back(Number("t_end_ms", Unit::Ms, Above(0), "Length of the run").Default(1000.0));
  return inputs;
}

void EndFiringClampRun(TaskCall& call, const FiringClampResult& r) {
  call.complete = !r.stopped;
  call.done = static_cast<std::int64_t>(std::floor(r.t * 1000.0));
  call.total = static_cast<std::int64_t>(std::ceil(call.values.Number("t_end_ms")));
  call.doneUnit = "ms";
}

void ApplyFiringClampDrive(Session& s, const TaskValues& v) {
  // Set whatever the parameter file held: the drive is the task's own.
  s.prog.tau_E = v.Number("tau_e_ms") / 1000.0;
  s.prog.tau_I = v.Number("tau_i_ms") / 1000.0;
  s.prog.NoiseToSignal = v.Number("noise_to_signal");
  s.prog.FC_I0 = v.Number("i0") / 1000.0;
  s.stim.uu = v.Number("u") / 1000.0;
  s.stim.ss = v.Number("s");
  s.stim.Iind = 0.0;
  s.stim.t_IindShift = 0.0;
  s.stim.t_Iind = 1e8;
  SetRunLength(s.run, v.Number("t_end_ms") / 1000.0);
}

const TaskDeclaration& FiringClampTask() {
  static const TaskDeclaration task = MakeFiringClampTask();
  return task;
}

}  // namespace membrix
