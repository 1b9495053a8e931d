// The f-I curve as a task: one run from rest per injected current.

#include <nlohmann/json.hpp>

#include "analysis/fi_sweep.h"
#include "analysis/sweep_file.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/model_inputs.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

class FICollector final : public FISink {
 public:
  explicit FICollector(TaskCall& call) : call_(call) {}
  void Point(const FIPoint& p) override {
    nlohmann::ordered_json point;
    point["Iind_pA"] = p.Iind;
    point["f_Hz"] = p.f;
    points.push_back(std::move(point));
  }
  void Progress(std::int64_t done, std::int64_t total) override { call_.progress(done, total); }
  nlohmann::ordered_json points = nlohmann::ordered_json::array();

 private:
  TaskCall& call_;
};

std::int64_t Currents(const FIInputs& in) { return CurrentGridCount(in.Iind_max, in.StepIind, "Step for Iind"); }

void RunFI(TaskCall& call) {
  Session& s = call.s;
  FICollector sink(call);
  const RunsOutcome outcome = SweepFI(s, call.in.fi, call.in.fiber, call.host, sink, call.values.Text("out"));
  call.written = {"out"};
  EndRuns(call, outcome, Currents(call.in.fi), "currents");
  (*call.results)["points"] = std::move(sink.points);
}

TaskDeclaration MakeFITask() {
  TaskDeclaration t;
  t.name = "fi";
  t.summary =
      "The f-I curve: one run from rest per injected current 0, step, ... iind_max, each measured by the chosen "
      "frequency estimator; writes \"v(Iind).dat\" (Iind pA, f Hz, the current as passive depolarisation) and "
      "prints the points. Runs the currents on all cores.";
  t.onStop = "Ctrl+C stops and keeps the lines written.";
  t.example = "--iind-max 400 --step 200 --t-end-ms 100";
  t.random = true;
  t.sharedRuns = true;
  t.inputs = ModelInputs(false);
  for (TaskInput& in : IntegratorInputs()) t.inputs.push_back(std::move(in));
  t.inputs.push_back(SeedInput());
  auto fi = [](TaskInput in, auto field) { return BindField(std::move(in), &TaskInputs::fi, field); };
  t.inputs.push_back(fi(Number("iind_max", Unit::PA, AtLeast(0), "Last current").Label(" Iind_max, pA "),
                        &FIInputs::Iind_max));
  t.inputs.push_back(fi(Number("step", Unit::PA, Above(0), "Current step").Label(" Step for Iind   "),
                        &FIInputs::StepIind));
  t.inputs.push_back(Number("t_end_ms", Unit::Ms, Above(0), "Length of each run")
                         .Label(" t_end, ms       ")
                         .Bind([](const Session& s) { return s.run.t_end * 1000.0; },
                               [](Session& s, double v) { SetRunLength(s.run, v / 1000.0); }));
  t.inputs.push_back(fi(Integer("max_spikes", AtLeast(1), "End a run at the downstroke of this spike")
                            .Label("Max number of spikes"),
                        &FIInputs::MaxSpikes));
  t.inputs.push_back(fi(Choice("estimator", {kFIEstimatorNames.begin(), kFIEstimatorNames.end()},
                               "Frequency estimator"),
                        &FIInputs::Estimator));
  t.inputs.push_back(fi(Flag("noise", "Add a noise current of deviation sgm_v").Label("IfNoise"), &FIInputs::IfNoise));
  t.inputs.push_back(BindField(Number("sgm_v", Unit::MV, AtLeast(0), "Noise: deviation of the voltage it causes")
                                   .Label("sgm_V"),
                               &Session::stim, &StimulusGlobals::sgm_V_Input));
  t.inputs.push_back(BindField(Number("tau_noise_ms", Unit::Ms, AtLeast(0), "Noise: correlation time (0: white)")
                                   .Label("tau_Noise=")
                                   .Aka("tau-noise"),
                               &Session::stim, &StimulusGlobals::tau_Noise, 1e-3));
  t.inputs.push_back(fi(Flag("distributed",
                             "Run the soma-and-axon model (the axon inputs below) in place of the point neuron; "
                             "spikes are counted at the first axon node")
                            .Label("IfDistributedModel"),
                        &FIInputs::IfDistributedModel));
  for (TaskInput& in : FiberAxonInputs()) t.inputs.push_back(std::move(in));
  t.inputs.push_back(OutFile("out", FileKind::LinesPerRun, kFIFileName, "The file to write")
                         .Aka("output")
                         .Columns({{"Iind", Unit::PA}, {"f", Unit::Hz}, {"Iind_as_passive_depolarisation", Unit::None}}));
  t.cost = [](const Session& s, const TaskInputs& in, const TaskValues&) {
    TaskCost c;
    c.runs = static_cast<double>(Currents(in.fi));
    c.stepsPerRun = static_cast<double>(StepCount(s.run.t_end, s.run.dt)) *
                    (in.fi.IfDistributedModel ? in.fiber.N + 1.0 : 1.0);
    return c;
  };
  t.run = RunFI;
  return t;
}

}  // namespace

const TaskDeclaration& FITask() {
  static const TaskDeclaration task = MakeFITask();
  return task;
}

}  // namespace membrix
