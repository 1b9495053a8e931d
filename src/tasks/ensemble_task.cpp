// The ensemble of uncoupled neurons as a task: the population rate of members
// with dispersed thresholds or independent noise, or the voltage statistics of
// members with a Gaussian excitatory conductance. The inputs of the "Problem"
// group are shared with the inhibitory network.

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "common/error.h"
#include "population/ensemble.h"
#include "population/rate_histogram.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/model_inputs.h"
#include "tasks/task_files.h"
#include "tasks/tasks.h"

namespace membrix {

// Members of an ensemble are counted by the mesh plus one; the engine takes
// meshes up to this.
inline constexpr double kMaxEnsembleMesh = 10000000;

std::vector<TaskInput> PopulationProblemInputs(bool network) {
  std::vector<TaskInput> inputs = ModelInputs(false);
  // The members step with the window's "dt, ms"; --dt in seconds, as every
  // other command takes it, sets the same step.
  for (TaskInput& in : inputs) {
    if (in.name != "dt_ms") continue;
    in.label = "dt, ms";
    in.get = [](const Session&, const TaskInputs& t) { return t.ensemble.dt; };
    in.set = [](Session& s, TaskInputs& t, double v) {
      t.ensemble.dt = v;
      SetTimeStep(s.run, v / 1000.0);
    };
  }
  inputs.push_back(SeedInput());
  auto e = [](TaskInput in, auto field) { return BindField(std::move(in), &TaskInputs::ensemble, field); };
  inputs.push_back(Choice("model", {"hh", "thr"},
                          "Members: hh (conductance-based, \"Run HH\") or thr (the threshold neuron, \"Run Thr. "
                          "Model\"; also --thr-model)"));
  inputs.push_back(e(Number("t_end_ms", Unit::Ms, Above(0), "Length of the run").Label("t_end, ms"),
                     &EnsembleInputs::t_end));
  inputs.push_back(e(Number("t_iind_ms", Unit::Ms, AtLeast(0), "Length of the current step").Label("t_Iind, ms"),
                     &EnsembleInputs::t_Iind));
  inputs.push_back(e(Number("oscillations_hz", Unit::Hz, AtLeast(0), "Frequency of the current's oscillation (0: "
                            "a constant step)")
                         .Label("Oscillations, Hz"),
                     &EnsembleInputs::Freq_Iind));
  inputs.push_back(e(Number("iind", Unit::PA, AnyNumber(), "Injected current").Label("Iind, pA"),
                     &EnsembleInputs::Iind));
  inputs.push_back(e(Integer("nrate", Between(1, kMaxRateBins), "Rate bins over t_end").Label("Mesh for rate, Nrate"),
                     &EnsembleInputs::Nrate));
  if (network) {
    // The network's own default; its members stay below kMaxNetworkMembers.
    inputs.push_back(Integer("mesh", Between(1, 9999), "Members of the network").Label("Mesh for Gauss").Default(400));
  } else {
    inputs.push_back(e(Integer("mesh", Between(0, kMaxEnsembleMesh), "Members of the ensemble minus one")
                           .Label("Mesh for Gauss"),
                       &EnsembleInputs::MeshGauss));
  }
  inputs.push_back(e(Number("sgm_v", Unit::None, AtLeast(0),
                            "Spread of the thresholds or start voltages: mV, or relative with --sigma-unit nondim")
                         .Label("sgm_V"),
                     &EnsembleInputs::sgm_V));
  inputs.push_back(e(Flag("renewal", "A new threshold shift after each spike").Label("Thr. Renewal"),
                     &EnsembleInputs::ThrRenewal));
  inputs.push_back(Number("fix_threshold_mv", Unit::MV, AtLeast(0),
                          "Tick \"Fix Threshold, mV:\" with this value: FixThr = value/1000 + ThrShift")
                       .Label("Fix Threshold, mV:"));
  inputs.push_back(Text("out_dir", "Folder for the files (default: the current one)").Aka("dir"));
  return inputs;
}

// The problem inputs that are not bound, put into the session; returns the
// members' model.
EnsembleModel ApplyPopulationProblem(Session& s, EnsembleInputs& in, const TaskValues& v) {
  if (v.Given("fix_threshold_mv")) {
    in.FixThreshold = true;
    in.FixThr = v.Number("fix_threshold_mv");
    ApplyFixThreshold(s, in);
  }
  return v.Int("model") == 1 || v.On("thr_model") ? EnsembleModel::ThresholdModel : EnsembleModel::ConductanceBased;
}

// The rate summary: peak and mean over the bins that hold a rate, 0 ... bins-1;
// with none (a run stopped before its first member was done) they are null.
void RateResults(nlohmann::ordered_json& r, const RateHistogram& ro, std::int32_t bins, double t_end) {
  double peak = 0.0, sum = 0.0;
  for (std::int32_t k = 0; k < bins; ++k) {
    const double x = ro.ro()[static_cast<std::size_t>(k)];
    peak = k == 0 ? x : std::max(peak, x);
    sum += x;
  }
  const bool rated = bins > 0;
  r["bins"] = bins;
  r["bin_ms"] = ro.Delta() * 1000.0;
  r["rate_peak_Hz"] = rated ? nlohmann::ordered_json(peak) : nlohmann::ordered_json(nullptr);
  r["rate_mean_Hz"] = rated ? nlohmann::ordered_json(sum / bins) : nlohmann::ordered_json(nullptr);
  if (rated) r["rate_covered_ms"] = (bins == ro.Nrate() + 1 ? t_end : ro.TimeOf(bins - 1)) * 1000.0;
}

namespace {

enum { kThresholds = 0, kNoise = 1, kConductances = 2 };

class MemberProgress final : public EnsembleSink {
 public:
  explicit MemberProgress(TaskCall& call) : call_(call) {}
  void Member(std::int64_t j, std::int64_t count) override { call_.progress(j, count); }

 private:
  TaskCall& call_;
};

class ConductanceProgress final : public ConductanceEnsembleSink {
 public:
  explicit ConductanceProgress(TaskCall& call) : call_(call) {}
  void Member(std::int64_t i, std::int64_t count) override { call_.progress(i, count); }

 private:
  TaskCall& call_;
};

std::int64_t Members(const EnsembleInputs& in, int kind) {
  return kind == kConductances ? static_cast<std::int64_t>(in.MeshG) + 1 : EnsembleMembers(in);
}

void RunEnsemble(TaskCall& call) {
  Session& s = call.s;
  const TaskValues& v = call.values;
  EnsembleInputs& in = call.in.ensemble;
  const EnsembleModel model = ApplyPopulationProblem(s, in, v);
  const std::string dir = TaskOutDir(v.Text("out_dir"));
  const int kind = v.Int("kind");
  nlohmann::ordered_json& r = *call.results;
  call.total = Members(in, kind);
  if (kind == kConductances) {
    const std::vector<std::string> files = {EnsemblePath(dir, kGaussTVFileName), EnsemblePath(dir, kGaussMeanDispFileName),
                                            EnsemblePath(dir, kGaussVMeanFileName), EnsemblePath(dir, kGaussBoundFileName)};
    std::vector<TaskFile> outputs;
    for (const std::string& f : files) outputs.push_back({"--out-dir", f});
    GuardOutputs(ParameterFileInputs(s), outputs);
    ConductanceProgress sink(call);
    const ConductanceEnsembleResult c = RunGaussianConductances(s, in, call.host, sink, model, dir);
    double maxD = 0.0, maxS = 0.0;
    for (const DispersionPoint& p : c.dispersion) maxD = std::max(maxD, p.D);
    for (const LinearisedPoint& p : c.linearised) maxS = std::max(maxS, std::abs(p.sigmaV));
    // Values over no member are not zeros: they are absent.
    const auto value = [](bool known, double x) {
      return known ? nlohmann::ordered_json(x) : nlohmann::ordered_json(nullptr);
    };
    r["kind"] = "conductances";
    r["files"] = files;
    r["members"] = c.members;
    r["first_spike_ms"] = value(c.members > 0, c.T_min * 1000.0);
    r["max_dispersion_mV"] = value(!c.dispersion.empty(), maxD * 1000.0);
    r["max_linear_sigma_mV"] = value(!c.linearised.empty(), maxS * 1000.0);
    call.complete = !c.stopped;
    call.done = c.members;
    call.doneUnit = "members; " + files[2] + " holds the statistics of those " + std::to_string(c.members) +
                    " members, and with the other files it is not complete";
    return;
  }
  const bool noise = kind == kNoise;
  std::vector<std::string> files = {EnsemblePath(dir, noise ? kRateNoiseFileName : kRateFileName)};
  if (noise) files.push_back(EnsemblePath(dir, kOneCurveFileName));
  std::vector<TaskFile> outputs;
  for (const std::string& f : files) outputs.push_back({"--out-dir", f});
  GuardOutputs(ParameterFileInputs(s), outputs);
  MemberProgress sink(call);
  const EnsembleResult e = noise ? RunNoiseEnsemble(s, in, call.host, sink, model, dir)
                                 : RunGaussianThresholds(s, in, call.host, sink, model, dir);
  const bool rated = !e.outcome.stopped || e.outcome.delivered > 0;
  r["kind"] = noise ? "noise" : "thresholds";
  r["files"] = files;
  RateResults(r, e.ro, rated ? e.ro.Nrate() + 1 : 0, s.run.t_end);
  if (noise) r["sigmaV_mV"] = rated ? nlohmann::ordered_json(e.sigmaV) : nlohmann::ordered_json(nullptr);
  call.complete = !e.outcome.stopped;
  call.done = e.outcome.delivered;
  // The framework's note reads "stopped after K of N <unit>": the unit names
  // what the rate file keeps.
  call.doneUnit = e.outcome.delivered > 0
                      ? "members; " + e.file + " holds the rate of those " + std::to_string(e.outcome.delivered) +
                            " members and is not complete"
                      : "members; " + e.file + " is empty";
}

TaskDeclaration MakeEnsembleTask() {
  TaskDeclaration t;
  t.name = "ensemble";
  t.summary =
      "Population rate ro(t) of uncoupled neurons under one current step. --kind thresholds: \"Mesh for Gauss\"+1 "
      "members with Gaussian threshold shifts and/or leak conductances (with --renewal a new shift after each "
      "spike), written to \"rate(t).dat\"; --kind noise: identical members with independent white (--tau-noise-ms "
      "0) or coloured noise currents and Gaussian start voltages, \"RateNoise(t).dat\" and \"OneCurve(t).dat\" "
      "(member 0), with the voltage spread sgmV at --t-measure-ms; --kind conductances: members with a Gaussian "
      "excitatory conductance followed to their first spike, the mean and dispersion of V against the linear "
      "estimate, \"Gauss(t,V).dat\", \"Gauss_Mean_Disp.dat\", \"Gauss_V(MeanGE).dat\", \"Gauss_bound.dat\". "
      "Members run on all cores; the files do not depend on the number of workers.";
  t.onStop =
      "Ctrl+C stops; the rate file holds the rate of the members done (each spike weighing 1/(done·Δ)), the "
      "conductance files the statistics of the members done.";
  t.example = "--kind noise --mesh 7 --t-end-ms 20 --nrate 40";
  t.random = true;
  t.sharedRuns = true;
  t.inputs = PopulationProblemInputs(false);
  auto e = [](TaskInput in, auto field) { return BindField(std::move(in), &TaskInputs::ensemble, field); };
  t.inputs.push_back(Choice("kind", {"thresholds", "noise", "conductances"}, "The ensemble").Default(kNoise));
  t.inputs.push_back(e(Choice("sigma_unit", {"mV", "nondim"},
                              "\"in mV\" (mV: sgm_V in mV) or \"nondim.\" (nondim: the leak spread relative)"),
                       &EnsembleInputs::sigmaUnit));
  t.inputs.push_back(e(Choice("disperse", {"thr", "gl", "thr-gl"},
                              "\"Disperse Thr.\" (thr), \"Disperse gL\" (gl), \"Disperse Thr. and gL\" (thr-gl)"),
                       &EnsembleInputs::disperse));
  t.inputs.push_back(e(Number("t_measure_ms", Unit::Ms, AtLeast(0), "Time of the sgmV measurement (noise)"),
                       &EnsembleInputs::tMeasure));
  t.inputs.push_back(e(Number("tau_noise_ms", Unit::Ms, AtLeast(0), "Correlation time of the noise (0: white)")
                           .Label("tau_Noise="),
                       &EnsembleInputs::tau_Noise));
  t.inputs.push_back(e(Number("ampl_ge", Unit::MSCm2, AtLeast(0), "Mean excitatory conductance (conductances)")
                           .Label("Ampl_gE, mS/cm^2"),
                       &EnsembleInputs::Ampl_gE));
  t.inputs.push_back(e(Number("tau_e_ms", Unit::Ms, AtLeast(0), "Course sin^2(t/tau_E) of gE (0: constant)")
                           .Label("tau_E, ms"),
                       &EnsembleInputs::tau_E));
  t.inputs.push_back(e(Number("sigma_g", Unit::None, AtLeast(0), "Relative spread of gE").Label("sigmaG_nd"),
                       &EnsembleInputs::sigmaG));
  t.inputs.push_back(e(Number("iind_g", Unit::PA, AnyNumber(), "Injected current of the conductance group")
                           .Label("Iind, pA"),
                       &EnsembleInputs::IindG));
  t.inputs.push_back(e(Integer("mesh_g", Between(1, kMaxEnsembleMesh), "Members of the conductance group minus one")
                           .Label("Mesh for Gauss"),
                       &EnsembleInputs::MeshG));
  t.cost = [](const Session& s, const TaskInputs& in, const TaskValues& v) {
    TaskCost c;
    c.runs = static_cast<double>(Members(in.ensemble, v.Int("kind")));
    c.stepsPerRun = std::ceil(in.ensemble.t_end / in.ensemble.dt);
    // The drawn member's voltage at every step (time and value), and the
    // points drawn at the drawing cadence.
    c.bytes = 16.0 * (c.stepsPerRun + 1.0) + 32.0 * (c.stepsPerRun / std::max(1, s.run.n_Draw) + 2.0);
    return c;
  };
  t.run = RunEnsemble;
  return t;
}

}  // namespace

const TaskDeclaration& EnsembleTask() {
  static const TaskDeclaration task = MakeEnsembleTask();
  return task;
}

}  // namespace membrix
