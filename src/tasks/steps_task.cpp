// The voltage-step series as a task: the most negative current of each test
// step of a voltage-clamp protocol, from the model or from recorded sweeps.

#include <nlohmann/json.hpp>

#include <iostream>
#include <memory>
#include <utility>
#include <vector>

#include "common/error.h"
#include "data/ramp_analyzer.h"
#include "data/step_series.h"
#include "run/run_view_sink.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/model_inputs.h"
#include "tasks/task_files.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

// The test voltages measured, with their minima in nA.
struct Rows final : StepSeriesSink {
  explicit Rows(TaskCall& call, std::int64_t total) : call_(call), total_(total) {}
  void Point(double V, const StepMinima& m, bool) override {
    rows.push_back({V, m.Imin / 1000.0, m.Imin2 / 1000.0});
    call_.progress(static_cast<std::int64_t>(rows.size()), total_);
  }
  std::vector<std::vector<double>> rows;

 private:
  TaskCall& call_;
  std::int64_t total_;
};

std::int64_t Voltages(const StepSeriesInputs& in) { return static_cast<std::int64_t>(in.NSteps) + 1; }

void RunStepSeries(TaskCall& call) {
  Session& s = call.s;
  const TaskValues& v = call.values;
  StepSeriesInputs& in = call.in.steps;
  in.IfDoubleSteps = !v.On("single");
  in.SetVCatVexp = !v.On("keep_mode");
  const std::string dir = TaskOutDir(v.Text("out_dir"));
  // The protocol and the results never land on a file the series reads.
  std::vector<TaskFile> inputs = ParameterFileInputs(s);
  if (v.Given("from_sweeps")) inputs.push_back({"--from-sweeps", v.Text("from_sweeps")});
  GuardOutputs(inputs, {{"--out-dir", InDir(dir, kStepProtocolFile)}, {"--out-dir", InDir(dir, kStepResultFile)}});
  auto ramp = std::make_unique<TRamp>();
  ramp->Folder = dir;
  if (v.Given("from_sweeps")) {
    in.DataSource = 2;
    ramp->FileName = v.Text("from_sweeps");
    if (!ReadRampFile(*ramp, call.in.ramp)) throw IoError(ramp->FileName, "No such file");
    if (!ramp->Note.empty()) std::cerr << "membrix-cli: note: " << ramp->Note << "\n";
  }
  Rows rows(call, Voltages(in));
  NullRunViewSink views;
  RampSink rampSink;
  if (v.On("fiber")) {
    if (v.Given("from_sweeps")) {
      throw RangeError("--fiber runs the distributed model; --from-sweeps takes recorded sweeps: give one of them");
    }
    in.DataSource = 1;
  }
  const StepSeriesResult result =
      RunSteps(s, in, call.in.ramp, call.in.fiber, call.host, *ramp, rows, views, rampSink, dir);
  if (!result.note.empty()) std::cerr << "membrix-cli: note: " << result.note << "\n";
  call.complete = result.complete;
  call.done = static_cast<std::int64_t>(rows.rows.size());
  call.total = Voltages(in);
  call.doneUnit = "test voltages";
  nlohmann::ordered_json cols[3] = {nlohmann::ordered_json::array(), nlohmann::ordered_json::array(),
                                    nlohmann::ordered_json::array()};
  for (const auto& row : rows.rows) {
    for (int c = 0; c < 3; ++c) cols[c].push_back(row[static_cast<std::size_t>(c)]);
  }
  nlohmann::ordered_json& r = *call.results;
  r["V_mV"] = std::move(cols[0]);
  r["Imin_nA"] = std::move(cols[1]);
  r["Imin2_nA"] = std::move(cols[2]);
  r["written"] = InDir(dir, kStepResultFile);
}

TaskDeclaration MakeStepsTask() {
  TaskDeclaration t;
  t.name = "steps";
  t.summary =
      "The voltage-step series: for each test voltage from --vmin to --vmax the model follows a voltage-clamp "
      "protocol (holding level, a depolarizing prestep, the test step and, unless --single, a second step "
      "--dv higher), written as the recording ramp_.d and run as recording 19 in \"VC at Vexp\" mode; or "
      "the matching sweep of a sweep file (--from-sweeps) is taken instead. The most negative current of "
      "the test step (Imin) and of the second step (Imin2) are printed and written to "
      "Steps_V_Imin_Imin2.dat (V mV, Imin nA, Imin2 nA).";
  t.onStop = "Ctrl+C stops after the test voltage in progress; the file holds those measured.";
  t.example = "--family Passive --n 1 --t-end-ms 320";
  t.random = true;
  for (TaskInput& in : ModelInputs(true)) {
    // The series runs its own recording: a recording number would not be used.
    if (in.name != "smpl") t.inputs.push_back(std::move(in));
  }
  t.inputs.push_back(SeedInput());
  t.inputs.push_back(Number("t_end_ms", Unit::Ms, Above(0), "Length of each run")
                         .Label(" t_end, ms       ")
                         .Aka("t-end", 1000.0)
                         .Bind([](const Session& s) { return s.run.t_end * 1000.0; },
                               [](Session& s, double v) { SetRunLength(s.run, v / 1000.0); }));
  auto st = [](TaskInput in, auto field) { return BindField(std::move(in), &TaskInputs::steps, field); };
  t.inputs.push_back(st(Integer("n", Between(1, 10000), "Number of voltage steps N: N + 1 test voltages")
                            .Label("Number of voltage steps"),
                        &StepSeriesInputs::NSteps));
  t.inputs.push_back(st(Number("vmin", Unit::MV, Between(-200, 200), "First test voltage"), &StepSeriesInputs::Vmin));
  t.inputs.push_back(st(Number("vmax", Unit::MV, Between(-200, 200), "Last test voltage"), &StepSeriesInputs::Vmax));
  t.inputs.push_back(st(Number("v0", Unit::MV, Between(-200, 200), "Holding voltage"), &StepSeriesInputs::V0));
  t.inputs.push_back(st(Number("v_dep_step", Unit::MV, Between(-200, 200), "Level of the depolarizing prestep"),
                        &StepSeriesInputs::V_DepStep));
  t.inputs.push_back(st(Number("t1_ms", Unit::Ms, AtLeast(0), "Start of the prestep").Aka("t1"), &StepSeriesInputs::t1));
  t.inputs.push_back(st(Number("d1_ms", Unit::Ms, AtLeast(0), "Duration of the prestep").Aka("d1"),
                        &StepSeriesInputs::d1));
  t.inputs.push_back(st(Number("t2_ms", Unit::Ms, AtLeast(0), "Start of the test step").Aka("t2"),
                        &StepSeriesInputs::t2));
  t.inputs.push_back(st(Number("t3_ms", Unit::Ms, AtLeast(0), "End of the steps").Aka("t3"), &StepSeriesInputs::t3));
  t.inputs.push_back(Flag("single", "One test step instead of two"));
  t.inputs.push_back(st(Number("dv", Unit::MV, Between(-200, 200), "Voltage added for the second step"),
                        &StepSeriesInputs::dV));
  t.inputs.push_back(st(Number("d2_ms", Unit::Ms, AtLeast(0), "Length of the first test step with two steps")
                            .Aka("d2"),
                        &StepSeriesInputs::d2));
  t.inputs.push_back(Flag("keep_mode", "Keep the clamp mode instead of switching to \"VC at Vexp\""));
  t.inputs.push_back(Flag("fiber",
                          "Run the distributed model (the axon of the options below) instead of the single "
                          "compartment; its soma follows the steps")
                         .Label("Distributed model"));
  for (TaskInput& in : FiberAxonInputs()) {
    if (in.name != "stimulation") t.inputs.push_back(std::move(in));  // the soma follows the steps
  }
  t.inputs.push_back(InFile("from_sweeps", FileKind::Recording,
                            "Measure sweep j + 1 of this sweep file for test voltage j instead of running the model"));
  for (TaskInput& in : SweepFileInputs()) t.inputs.push_back(std::move(in));
  t.inputs.push_back(Text("out_dir", "Folder of ramp_.d and Steps_V_Imin_Imin2.dat (default: the current one)"));
  t.cost = [](const Session& s, const TaskInputs& in, const TaskValues& v) {
    TaskCost c;
    c.runs = static_cast<double>(Voltages(in.steps));
    c.stepsPerRun = v.Given("from_sweeps") ? 0.0 : static_cast<double>(StepCount(s.run.t_end, s.run.dt));
    return c;
  };
  t.run = RunStepSeries;
  return t;
}

}  // namespace

const TaskDeclaration& StepsTask() {
  static const TaskDeclaration task = MakeStepsTask();
  return task;
}

}  // namespace membrix
