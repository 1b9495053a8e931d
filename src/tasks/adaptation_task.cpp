// Adaptation as a task: one run from rest per injected current, the first five
// inter-spike rates of each.

#include <nlohmann/json.hpp>

#include "analysis/adaptation_sweep.h"
#include "analysis/sweep_file.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/model_inputs.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

class AdaptationCollector final : public AdaptationSink {
 public:
  explicit AdaptationCollector(TaskCall& call) : call_(call) {}
  void Point(const AdaptationPoint& p) override {
    nlohmann::ordered_json point;
    point["Iind_pA"] = p.Iind;
    point["rates_Hz"] = p.rate;
    points.push_back(std::move(point));
  }
  void Progress(std::int64_t done, std::int64_t total) override { call_.progress(done, total); }
  nlohmann::ordered_json points = nlohmann::ordered_json::array();

 private:
  TaskCall& call_;
};

std::int64_t Currents(const AdaptationInputs& in) {
  return CurrentGridCount(in.Iind_max, in.StepIind, "Step for Iind");
}

void RunAdaptation(TaskCall& call) {
  Session& s = call.s;
  AdaptationCollector sink(call);
  const RunsOutcome outcome = SweepAdaptation(s, call.in.adaptation, call.host, sink, call.values.Text("out"));
  call.written = {"out"};
  EndRuns(call, outcome, Currents(call.in.adaptation), "currents");
  (*call.results)["points"] = std::move(sink.points);
}

TaskDeclaration MakeAdaptationTask() {
  TaskDeclaration t;
  t.name = "adaptation";
  t.summary =
      "Adaptation: one run from rest of the procedural neuron per injected current 0, step, ... iind_max; the "
      "reciprocals of the first five inter-spike intervals (1/ISI, Hz; 0 for an interval that did not occur) go "
      "to \"adaptation(I).dat\". Runs the currents on all cores.";
  t.onStop = "Ctrl+C stops and keeps the lines written.";
  t.example = "--iind-max 200 --step 100 --t-end-ms 100";
  t.sharedRuns = true;
  t.inputs = ModelInputs(false);
  auto a = [](TaskInput in, auto field) { return BindField(std::move(in), &TaskInputs::adaptation, field); };
  t.inputs.push_back(a(Number("iind_max", Unit::PA, AtLeast(0), "Last current").Label(" Iind_max, pA "),
                       &AdaptationInputs::Iind_max));
  t.inputs.push_back(a(Number("step", Unit::PA, Above(0), "Current step").Label(" Step for Iind   "),
                       &AdaptationInputs::StepIind));
  t.inputs.push_back(Number("t_end_ms", Unit::Ms, Above(0), "Length of each run")
                         .Label(" t_end, ms       ")
                         .Aka("t-end", 1000.0)
                         .Bind([](const Session& s) { return s.run.t_end * 1000.0; },
                               [](Session& s, double v) { SetRunLength(s.run, v / 1000.0); }));
  t.inputs.push_back(OutFile("out", FileKind::LinesPerRun, kAdaptationFileName, "The file to write")
                         .Aka("output")
                         .Columns({{"Iind", Unit::PA},
                                   {"rate_1", Unit::Hz},
                                   {"rate_2", Unit::Hz},
                                   {"rate_3", Unit::Hz},
                                   {"rate_4", Unit::Hz},
                                   {"rate_5", Unit::Hz}}));
  t.cost = [](const Session& s, const TaskInputs& in, const TaskValues&) {
    TaskCost c;
    c.runs = static_cast<double>(Currents(in.adaptation));
    c.stepsPerRun = static_cast<double>(StepCount(s.run.t_end, s.run.dt));
    return c;
  };
  t.run = RunAdaptation;
  return t;
}

}  // namespace

const TaskDeclaration& AdaptationTask() {
  static const TaskDeclaration task = MakeAdaptationTask();
  return task;
}

}  // namespace membrix
