// The stimulus preview as a task: the stimulus of a clamp run at every step,
// without a neuron.

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "common/error.h"
#include "common/number_format.h"
#include "data/stimulus_preview.h"
#include "run/session.h"
#include "run/stimulus.h"
#include "tasks/model_inputs.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

class Columns final : public StimulusPreviewSink {
 public:
  Columns(std::ostream& out, std::int64_t every) : out_(out), every_(every) {}
  void Sample(double tMs, double I, double u, double sDend) override {
    if (n_++ % every_ != 0) return;
    line_.clear();
    AppendFixed(line_, tMs, 9, 3);
    for (double x : {I, u, sDend}) {
      line_ += ' ';
      AppendScientific(line_, x, 13);
    }
    out_ << line_ << '\n';
    ++lines;
  }
  std::int64_t lines = 0;

 private:
  std::ostream& out_;
  std::int64_t every_;
  std::int64_t n_ = 0;
  std::string line_;
};

void RunPreview(TaskCall& call) {
  Session& s = call.s;
  const TaskValues& v = call.values;
  const std::string path = v.Text("out");
  std::ofstream file;
  if (!path.empty()) {
    file.open(path, std::ios::trunc);
    if (!file) throw IoError(path, std::strerror(errno));
  }
  std::ostream& out = path.empty() ? std::cout : file;
  Columns columns(out, static_cast<std::int64_t>(v.Number("every")));
  out << "#    t,ms  Iinj, pA      u, muA/cm^2   s, nS\n";
  PreviewStimulus(s, call.host, columns);
  out.flush();
  if (!out) throw IoError(path.empty() ? std::string("standard output") : path, "could not be written completely");
  if (!path.empty()) {
    file.close();
    if (!file) throw IoError(path, "could not be written completely");
    call.written = {"out"};
  }
  (*call.results)["lines"] = columns.lines;
}

TaskDeclaration MakePreviewTask() {
  TaskDeclaration t;
  t.name = "preview";
  t.summary =
      "The stimulus of a clamp run over the whole run, without running a neuron: columns t (ms), injected "
      "current (pA), u (muA/cm^2) and s (nS) at every step, as the run would apply them, on standard output "
      "or into --out.";
  t.example = "--shape Ramp --t-end-ms 20 --every 10 --out preview.dat";
  t.random = true;
  t.inputs = ModelInputs(true);
  t.inputs.push_back(SeedInput());
  t.inputs.push_back(Number("t_end_ms", Unit::Ms, Above(0), "Length of the run")
                         .Label(" t_end, ms       ")
                         .Aka("t-end", 1000.0)
                         .Bind([](const Session& s) { return s.run.t_end * 1000.0; },
                               [](Session& s, double v) { SetRunLength(s.run, v / 1000.0); }));
  t.inputs.push_back(BindField(Choice("shape", {kPulseShapeNames.begin(), kPulseShapeNames.end()}, "Pulse shape")
                                   .Label("Ramp in CC"),
                               &Session::stim, &StimulusGlobals::pulseShape));
  t.inputs.push_back(Integer("every", Between(1, 2147483647.0), "Every Nth step only").Default(1));
  t.inputs.push_back(OutFile("out", FileKind::WholeResult, "", "Write the columns to FILE instead of standard output")
                         .Columns({{"t", Unit::Ms}, {"Iinj", Unit::PA}, {"u", Unit::UACm2}, {"s", Unit::NS}}));
  t.cost = [](const Session& s, const TaskInputs&, const TaskValues&) {
    TaskCost c;
    c.runs = 1.0;
    c.stepsPerRun = static_cast<double>(StepCount(s.run.t_end, s.run.dt));
    return c;
  };
  t.run = RunPreview;
  return t;
}

}  // namespace

const TaskDeclaration& PreviewTask() {
  static const TaskDeclaration task = MakePreviewTask();
  return task;
}

}  // namespace membrix
