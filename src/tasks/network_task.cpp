// The inhibitory network as a task: members that share one GABA synapse
// driven by their own population rate after a delay.

#include <nlohmann/json.hpp>

#include <cmath>
#include <string>
#include <vector>

#include "population/ensemble.h"
#include "population/network.h"
#include "run/independent_runs.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/task_files.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

class TimeProgress final : public NetworkSink {
 public:
  TimeProgress(TaskCall& call, double t_end) : call_(call), t_end_(t_end) {}
  void Time(double t) override {
    call_.progress(static_cast<std::int64_t>(t * 1000.0), static_cast<std::int64_t>(t_end_ * 1000.0));
  }

 private:
  TaskCall& call_;
  double t_end_;
};

void RunNetworkTask(TaskCall& call) {
  Session& s = call.s;
  const TaskValues& v = call.values;
  EnsembleInputs& in = call.in.ensemble;
  in.MeshGauss = v.Int("mesh");
  const EnsembleModel model = ApplyPopulationProblem(s, in, v);
  const std::string dir = TaskOutDir(v.Text("out_dir"));
  const std::vector<std::string> files = {EnsemblePath(dir, kRateFileName), EnsemblePath(dir, kOneCurveFileName)};
  GuardOutputs(ParameterFileInputs(s), {{"--out-dir", files[0]}, {"--out-dir", files[1]}});
  TimeProgress sink(call, in.t_end / 1000.0);
  const NetworkResult n = RunNetwork(s, in, call.in.synapse, call.host, sink, model, v.On("noise"), dir);
  nlohmann::ordered_json& r = *call.results;
  r["kind"] = "network";
  r["files"] = files;
  r["workers"] = WorkerCount(s.parallel);
  RateResults(r, n.ro, n.bins, s.run.t_end);
  call.complete = !n.stopped;
  call.done = n.bins;
  call.total = n.ro.Nrate() + 1;
  call.doneUnit = "bins; " + files[0] + " holds the bins up to the stop and is not complete";
}

TaskDeclaration MakeNetworkTask() {
  TaskDeclaration t;
  t.name = "network";
  t.summary =
      "The inhibitory network: \"Mesh for Gauss\" members (below 10000; default here 400) share one GABA synapse "
      "driven by their own population rate after a delay. Without --noise each member has a Gaussian threshold "
      "shift (sgm_V, mV); with --noise members start from Gaussian voltages and receive independent white-noise "
      "currents. Writes \"rate(t).dat\" (t ms, rate Hz, gate mGABA) and \"OneCurve(t).dat\" (the middle member's "
      "voltage).";
  t.onStop = "Ctrl+C stops; \"rate(t).dat\" holds the bins up to the stop.";
  t.example = "--mesh 20 --t-end-ms 20 --nrate 40";
  t.random = true;
  t.inputs = PopulationProblemInputs(true);
  auto g = [](TaskInput in, auto field) { return BindField(std::move(in), &TaskInputs::synapse, field); };
  t.inputs.push_back(Flag("noise", "Members start from Gaussian voltages (sgm_V) and each receives its own "
                                   "white-noise current (tau_Noise is not used); without it, fixed Gaussian "
                                   "threshold shifts and no noise"));
  t.inputs.push_back(g(Number("gaba", Unit::MSCm2, AtLeast(0), "Conductance of the GABA synapse")
                           .Label("gGABA, mS/cm^2"),
                       &SynapseInputs::gGABA));
  t.inputs.push_back(g(Number("alpha_hz", Unit::Hz, Above(0), "Opening rate of the gate").Label("alGABA, Hz"),
                       &SynapseInputs::alGABA));
  t.inputs.push_back(g(Number("beta_hz", Unit::Hz, Above(0), "Closing rate of the gate").Label("beGABA,Hz"),
                       &SynapseInputs::beGABA));
  t.inputs.push_back(g(Number("vgaba_mv", Unit::MV, Between(-200, 200), "Reversal potential of the synapse")
                           .Label("VGABA, mV"),
                       &SynapseInputs::VGABA));
  t.inputs.push_back(g(Number("delay_ms", Unit::Ms, Between(0, 10000), "Delay of the population rate at the synapse")
                           .Label("delay, ms"),
                       &SynapseInputs::delay));
  t.cost = [](const Session&, const TaskInputs& in, const TaskValues& v) {
    TaskCost c;
    c.runs = 1.0;
    c.stepsPerRun = v.Number("mesh") * std::ceil(in.ensemble.t_end / in.ensemble.dt);
    return c;
  };
  t.run = RunNetworkTask;
  return t;
}

}  // namespace

const TaskDeclaration& NetworkTask() {
  static const TaskDeclaration task = MakeNetworkTask();
  return task;
}

}  // namespace membrix
