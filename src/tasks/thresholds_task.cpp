// The thresholds of the refractory neuron as a task: per current, the full
// model fires twice beside a threshold neuron that follows its passive response.

#include <nlohmann/json.hpp>

#include "analysis/sweep_file.h"
#include "analysis/threshold_sweep.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/model_inputs.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

// The sweep's own step and run length (it sets them for every current).
constexpr double kThresholdStepsPerRun = 0.4 / 1.5e-5;

class ThresholdCollector final : public ThresholdSink {
 public:
  explicit ThresholdCollector(TaskCall& call) : call_(call) {}
  void Current(const ThresholdResult& r) override {
    nlohmann::ordered_json point;
    point["Iind_pA"] = r.Iind;
    point["spikes"] = r.spikes;
    point["Th0_mV"] = r.Th0 * 1000.0;
    point["ThR_mV"] = r.ThR * 1000.0;
    point["Th_Curv_mV"] = r.Th_Curv * 1000.0;
    point["tAP_ms"] = r.t2 * 1000.0;
    points.push_back(std::move(point));
  }
  void Progress(std::int64_t done, std::int64_t total) override { call_.progress(done, total); }
  nlohmann::ordered_json points = nlohmann::ordered_json::array();

 private:
  TaskCall& call_;
};

std::int64_t Currents(const ThresholdInputs& in) {
  return CurrentGridCount(in.Iind_max, in.StepIind, "Step for Iind") - 1;
}

void RunThresholds(TaskCall& call) {
  Session& s = call.s;
  // "IfNoise" of the frequency-current window, on only when asked.
  const bool noise = call.values.On("noise");
  ThresholdCollector sink(call);
  const bool writing = s.run.Writing == 1;
  const RunsOutcome outcome = ThresholdSweep(s, call.in.threshold, noise, call.host, sink, call.values.Text("out"),
                                             call.values.Text("vlin_out"));
  call.written = {"out"};
  if (writing) call.written.push_back("vlin_out");
  EndRuns(call, outcome, Currents(call.in.threshold), "currents");
  (*call.results)["points"] = std::move(sink.points);
}

TaskDeclaration MakeThresholdsTask() {
  TaskDeclaration t;
  t.name = "thresholds";
  t.summary =
      "Threshold of the refractory neuron: per current step, 2·step, ... iind_max the full model fires twice "
      "while a threshold neuron of the same parameters follows the passive response; its voltage at each spike "
      "is the threshold. Runs with dt 0.015 ms for 400 ms; writes \"VTh(tAP).dat\" (and with --writing "
      "\"V_Vlin(t).dat\"). Runs the currents on all cores.";
  t.onStop = "Ctrl+C stops and keeps the lines written.";
  t.example = "--iind-max 160 --step 80";
  t.random = true;
  t.sharedRuns = true;
  t.inputs = ModelInputs(false);
  for (TaskInput& in : IntegratorInputs()) t.inputs.push_back(std::move(in));
  t.inputs.push_back(SeedInput());
  auto th = [](TaskInput in, auto field) { return BindField(std::move(in), &TaskInputs::threshold, field); };
  t.inputs.push_back(th(Number("iind_max", Unit::PA, AtLeast(0), "Last current").Label(" Iind_max, pA "),
                        &ThresholdInputs::Iind_max));
  t.inputs.push_back(th(Number("step", Unit::PA, Above(0), "Current step and first current")
                            .Label(" Step for Iind   "),
                        &ThresholdInputs::StepIind));
  t.inputs.push_back(th(Number("criterion", Unit::None, Above(0), "dV/dt criterion of Th_Curv, mV/ms")
                            .Label("Threshold criterion, dV/dt:"),
                        &ThresholdInputs::dVdtCriterion));
  t.inputs.push_back(th(Number("oscillations", Unit::Hz, AtLeast(0), "Frequency of the current (0: constant)")
                            .Label("Oscillations, Hz"),
                        &ThresholdInputs::Oscillations));
  t.inputs.push_back(th(Number("sgm", Unit::MV, AtLeast(0), "Noise of the full model (with --noise)")
                            .Label("sgm, mV"),
                        &ThresholdInputs::sgm));
  t.inputs.push_back(th(Number("s", Unit::MSCm2, AtLeast(0), "Input conductance ss").Label(" s "),
                        &ThresholdInputs::s));
  t.inputs.push_back(Flag("noise", "\"IfNoise\" of the frequency-current window: a noise current in the full model")
                         .Label("IfNoise"));
  t.inputs.push_back(th(Flag("no_noise_in_t_neuron", "No noise in the threshold neuron").Label("No noise in T-neuron"),
                        &ThresholdInputs::NoNoiseInT));
  t.inputs.push_back(BindField(Flag("writing", "Also write the voltages of every second step to \"V_Vlin(t).dat\""),
                               &Session::run, &RunGlobals::Writing));
  t.inputs.push_back(OutFile("out", FileKind::LinesPerRun, kThresholdFileName, "The file to write").Aka("output"));
  t.inputs.push_back(OutFile("vlin_out", FileKind::LinesPerRun, kVVlinFileName,
                             "The voltages' file of --writing"));
  t.cost = [](const Session&, const TaskInputs& in, const TaskValues&) {
    TaskCost c;
    c.runs = static_cast<double>(Currents(in.threshold));
    c.stepsPerRun = 2.0 * kThresholdStepsPerRun;  // the full model and the threshold neuron
    return c;
  };
  t.run = RunThresholds;
  return t;
}

}  // namespace

const TaskDeclaration& ThresholdsTask() {
  static const TaskDeclaration task = MakeThresholdsTask();
  return task;
}

}  // namespace membrix
