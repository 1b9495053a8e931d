// The analyses made of noisy firing-clamp runs, as tasks: the conductances
// estimated back from the per-spike records against a (u,s) map (and the
// self-test on the map itself), and the Z-function kernel with the one-ISI
// analysis.

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/firing_clamp.h"
#include "analysis/firing_clamp_analysis.h"
#include "analysis/us_map.h"
#include "analysis/z_function.h"
#include "common/error.h"
#include "run/independent_runs.h"
#include "run/session.h"
#include "tasks/model_inputs.h"
#include "tasks/task_inputs.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

// A value the run did not estimate: null in the summary, never a zero.
nlohmann::ordered_json Estimated(bool known, double x) { return known ? nlohmann::ordered_json(x) : nullptr; }

// The inputs of the noisy runs both analyses start from.
void AddNoisyRunInputs(TaskDeclaration& t) {
  t.inputs = ModelInputs(false);
  t.inputs.push_back(SeedInput());
  for (TaskInput& in : FiringClampDriveInputs({5.0, 0.2, 0.1})) t.inputs.push_back(std::move(in));
  t.inputs.push_back(Number("tau_noise_ms", Unit::Ms, AtLeast(0), "Correlation time of the noise (0: white)")
                         .Aka("tau-noise")
                         .Default(2.0));
  t.inputs.push_back(Integer("f", Between(0, 6), "F recorded at a spike and read from the map: 0 Frequency ... 6 Th")
                         .Label("Function F to be measured:")
                         .Default(0));
  t.inputs.push_back(Integer("g", Between(0, 6),
                             "G likewise: 0 dV/dt, 1 Average voltage, 2 MinVoltage, 3 MaxVoltage ... 6 IxZ")
                         .Label("Function G to be measured:")
                         .Default(1));
}

void ApplyNoisyRun(TaskCall& call) {
  const TaskValues& v = call.values;
  ApplyFiringClampDrive(call.s, v);
  call.s.stim.tau_Noise = v.Number("tau_noise_ms") / 1000.0;
  call.in.firingClamp.FunctionF = v.Int("f");
  call.in.firingClamp.FunctionG = v.Int("g");
}

// The trials' progress, and the distance of every final estimate from the
// mean conductances of its time.
class TrialErrors final : public FiringClampAnalysisSink {
 public:
  TrialErrors(TaskCall& call, EstimateKind final) : call_(call), final_(final) {}
  void TrialDone(std::int32_t k, std::int32_t n) override { call_.progress(k, n); }
  void Conductances(EstimateKind kind, double t, double gE, double gI) override {
    if (kind != final_) return;
    double mE = 0.0, mI = 0.0;
    MeanConductances(call_.s, t, mE, mI);
    errE += std::abs(gE - mE);
    errI += std::abs(gI - mI);
    ++n;
    // The second half of a run, once the neuron's adaptation has settled.
    if (t > call_.s.run.t_end / 2.0) {
      lateE += std::abs(gE - mE);
      lateI += std::abs(gI - mI);
      ++late;
    }
  }
  double errE = 0.0, errI = 0.0, lateE = 0.0, lateI = 0.0;
  std::int64_t n = 0, late = 0;

 private:
  TaskCall& call_;
  EstimateKind final_;
};

// The self-test: 20 records taken from the map on a quarter circle, inverted.
void RunCheck(TaskCall& call, const USMapData& map) {
  Session& s = call.s;
  LeaveIfHelper();  // one inversion: the writer does it alone
  FiringClampAnalysisSink none;
  const std::vector<SpikeRecord> records = CheckRecords(map);
  const TaskInputs& in = call.in;
  const FiringClampAnalysis a =
      CheckFiringClamp(s, in.fcAnalysis, in.firingClamp, in.zInputs, call.host, map, none);
  const double Vus = s.stim.Vus;
  double eu = 0.0, es = 0.0;
  std::int64_t firing = 0;
  for (const SpikeRecord& r : records) firing += r.F != 0.0 ? 1 : 0;
  nlohmann::ordered_json recovered = nlohmann::ordered_json::array();
  for (const FiringClampEstimate& e : a.estimates) {
    const SpikeRecord& r = records[static_cast<std::size_t>(std::lround(e.t * 1000.0))];
    const double u = -Vus * e.gE;
    eu = std::max(eu, std::abs(u - r.uu));
    es = std::max(es, std::abs(e.gE + e.gI - r.ss));
    recovered.push_back({{"u_true_uA", r.uu * 1000.0}, {"s_true", r.ss}, {"u_uA", u * 1000.0}, {"s", e.gE + e.gI}});
  }
  const bool any = !a.estimates.empty();
  nlohmann::ordered_json& out = *call.results;
  out["points"] = records.size();
  out["firing_points"] = firing;
  out["estimates"] = a.estimates.size();
  out["max_error_u_uA"] = Estimated(any, eu * 1000.0);
  out["max_error_s"] = Estimated(any, es);
  out["recovered"] = std::move(recovered);
  // A firing point that did not come back is a failed self-test.
  if (static_cast<std::int64_t>(a.estimates.size()) != firing) call.status = 3;
}

void RunFCAnalysis(TaskCall& call) {
  Session& s = call.s;
  const TaskValues& v = call.values;
  TaskInputs& in = call.in;
  ApplyNoisyRun(call);
  in.fcAnalysis.mapFile = v.Given("map") ? v.Text("map") : USMapFileOf(s);
  in.fcAnalysis.linear = v.On("linear");
  in.fcAnalysis.WienerKernel = v.On("wiener");
  in.fcAnalysis.Unsteadiness = v.On("unsteadiness");
  in.fcAnalysis.Trials = v.Int("trials");
  in.fcAnalysis.wienerTrace = v.Text("wiener_trace");
  in.zInputs.storedFolder = v.Text("stored_folder");
  const USMapData map = ReadAnalysisMap(in.fcAnalysis, in.firingClamp);
  if (v.On("check")) return RunCheck(call, map);

  TrialErrors sink(call, v.On("wiener") ? EstimateKind::Wiener : EstimateKind::FiringClamp);
  const TrialsOutcome r = RunTrials(s, in.fcAnalysis, in.firingClamp, in.zInputs, call.host, map, sink,
                                    v.Text("mean_out"), v.Text("out"));
  call.written = {"out", "mean_out"};
  if (v.On("wiener")) call.written.push_back("wiener_trace");
  call.complete = !r.stopped;
  call.done = r.trials;
  call.total = v.Int("trials");
  call.doneUnit = "trials";
  const bool any = sink.n > 0, anyLate = sink.late > 0;
  const double Vus = s.stim.Vus;
  nlohmann::ordered_json& out = *call.results;
  out["trials"] = r.trials;
  out["estimates"] = r.estimates;
  out["mean_gE"] = -s.stim.uu / Vus;
  out["mean_gI"] = s.stim.uu / Vus + s.stim.ss;
  out["mean_abs_error_gE"] = Estimated(any, sink.errE / static_cast<double>(sink.n));
  out["mean_abs_error_gI"] = Estimated(any, sink.errI / static_cast<double>(sink.n));
  out["late_estimates"] = sink.late;
  out["late_mean_abs_error_gE"] = Estimated(anyLate, sink.lateE / static_cast<double>(sink.late));
  out["late_mean_abs_error_gI"] = Estimated(anyLate, sink.lateI / static_cast<double>(sink.late));
}

TaskDeclaration MakeFCAnalysisTask() {
  TaskDeclaration t;
  t.name = "fc-analysis";
  t.summary =
      "From spike records back to conductances: runs the noisy firing clamp --trials times (1000 spikes or "
      "--t-end-ms each), inverts the F and G recorded at every spike against the (u,s) map --map (made by "
      "\"membrix-cli map\" with the same model) and writes the estimated gE and gI: \"mean_gE_gI(t).dat\" (t ms, the "
      "true mean gE and gI every ms) and \"gE_gI(t).dat\" (t ms, gE, gI, u µA/cm², s per estimate). --check instead "
      "inverts 20 records taken from the map itself on a quarter circle and prints what came back (exit status 3 "
      "when a firing point is not recovered). Runs the trials on all cores.";
  t.onStop = "Ctrl+C stops and keeps the estimates of the trials done.";
  t.random = true;
  t.sharedRuns = true;
  AddNoisyRunInputs(t);
  t.inputs.push_back(InFile("map", FileKind::Map, "The (u,s) map, made by \"membrix-cli map\" with the same model")
                         .DefaultText(kUSMapFile));
  t.inputs.push_back(Flag("linear", "Replace F and G by planes").Label("Make linear F,G"));
  t.inputs.push_back(Flag("check", "The self-test on the map instead of trials").Label("CheckFiringClamp"));
  t.inputs.push_back(Integer("trials", Between(1, 100000), "Number of trials").Label("Set of Trials, N=").Default(1));
  t.inputs.push_back(Flag("unsteadiness", "Correct each estimate by the interval's trough voltage").Label("Unsteadiness"));
  t.inputs.push_back(Flag("wiener",
                          "Correct each estimate by the Z-function of its interval (reads \"set_func_Z.dat\" and "
                          "\"set_func_Z_Vav.dat\" in --stored-folder; writes and reads --wiener-trace)")
                         .Label("Wiener Kernel"));
  t.inputs.push_back(InFile("stored_folder", FileKind::StoredZFolder,
                            "Folder of the stored Z-functions of --wiener (default: the current folder)"));
  t.inputs.push_back(OutFile("out", FileKind::LinesPerRun, kTrialEstimateFile, "The estimates, one line each")
                         .Aka("output")
                         .Columns({{"t", Unit::Ms}, {"gE", Unit::MSCm2}, {"gI", Unit::MSCm2}, {"u", Unit::UACm2},
                                   {"s", Unit::MSCm2}}));
  t.inputs.push_back(OutFile("mean_out", FileKind::LinesPerRun, kMeanConductanceFile,
                             "The true mean conductances every ms")
                         .Aka("mean-output")
                         .Columns({{"t", Unit::Ms}, {"gE", Unit::MSCm2}, {"gI", Unit::MSCm2}}));
  t.inputs.push_back(OutFile("wiener_trace", FileKind::LinesPerRun, kWienerTraceFile,
                             "The voltage trace each trial of --wiener writes and its correction reads back"));
  t.cost = [](const Session& s, const TaskInputs&, const TaskValues& v) {
    TaskCost c;
    if (v.On("check")) return c;
    c.runs = v.Number("trials");
    c.stepsPerRun = static_cast<double>(StepCount(v.Number("t_end_ms") / 1000.0, s.run.dt));
    return c;
  };
  t.run = RunFCAnalysis;
  return t;
}

// Counts the one-ISI repetitions on the terminal.
class RepeatProgress final : public FiringClampAnalysisSink {
 public:
  explicit RepeatProgress(TaskCall& call) : call_(call) {}
  void TrialDone(std::int32_t k, std::int32_t n) override { call_.progress(k, n); }

 private:
  TaskCall& call_;
};

void RunOneISI(TaskCall& call) {
  Session& s = call.s;
  const TaskValues& v = call.values;
  TaskInputs& in = call.in;
  in.zInputs.n_repeat = v.Int("one_isi");
  in.fcAnalysis.mapFile = v.Given("map") ? v.Text("map") : USMapFileOf(s);
  RepeatProgress sink(call);
  const OneISIResult r = AnalyseOneISI(s, in.fcAnalysis, in.firingClamp, in.zInputs, call.host, sink);
  // A stop may leave nothing analysed: no prediction and no errors then.
  const bool any = r.repeats > 0;
  call.complete = !r.stopped;
  call.done = r.attempted;
  call.total = v.Int("one_isi");
  call.doneUnit = "repeats";
  nlohmann::ordered_json& out = *call.results;
  out["repeats"] = r.repeats;
  out["delta_freq"] = Estimated(any, r.delta_freq);
  out["u0_uA"] = Estimated(any, r.u0 * 1000.0);
  out["s0"] = Estimated(any, r.s0);
  out["u1_uA"] = Estimated(any, r.u1 * 1000.0);
  out["s1"] = Estimated(any, r.s1);
  out["error_u0_uA"] = Estimated(any, r.e_u0 * 1000.0);
  out["error_s0"] = Estimated(any, r.e_s0);
  out["error_u1_uA"] = Estimated(any, r.e_u1 * 1000.0);
  out["error_s1"] = Estimated(any, r.e_s1);
  out["attempted"] = r.attempted;
  out["skipped_no_records"] = r.skipped[0];
  out["skipped_no_estimate"] = r.skipped[1];
  out["skipped_silent_pre_run"] = r.skipped[2];
}

void RunKernel(TaskCall& call) {
  Session& s = call.s;
  const TaskValues& v = call.values;
  TaskInputs& in = call.in;
  ApplyNoisyRun(call);
  in.zInputs.Visible = true;
  in.zInputs.Input = v.Int("input");
  in.zInputs.Output = v.Int("output_function");
  in.zInputs.storedFolder = v.Text("stored_folder");
  if (v.Int("one_isi") > 0) return RunOneISI(call);

  const std::string kernelFile = v.Text("out");
  in.zInputs.kernelFile = kernelFile;
  class Quiet final : public FiringClampSink {} quiet;
  FiringClampFiles files;
  files.records.clear();
  const FiringClampResult r = RunWithNoise(s, in.firingClamp, in.zInputs, call.host, quiet, 100000, files);
  if (!r.stopped && s.z.K == 0) {
    std::remove(kernelFile.c_str());  // the kernel of no interval is no result
    throw NothingToAnalyseError("no interval averaged into the kernel: the run had " + std::to_string(r.nSpikes) +
                                " spikes, and an interval counts when it follows a spike within 1000 steps");
  }
  // The kernel file is written at the run's last step; a run that ended early
  // writes what it averaged here.
  if (r.stopped) WriteKernelFile(s.z, s.run.dt, kernelFile);
  call.written = {"out"};
  EndFiringClampRun(call, r);
  nlohmann::ordered_json& out = *call.results;
  out["spikes"] = r.nSpikes;
  out["kernel_updates"] = s.z.K;
  out["lags"] = s.z.W + 1;
}

TaskDeclaration MakeKernelTask() {
  TaskDeclaration t;
  t.name = "kernel";
  t.summary =
      "The Z-function: a noisy firing-clamp run whose spike-triggered, output-weighted average of the normalised "
      "input is written to \"func_Z.dat\" (lag before the spike ms, Z). With --one-isi N, the one-ISI analysis "
      "instead: N noisy runs of 5 spikes, each last interval estimated against --map, corrected by the stored "
      "Z-functions (\"set_func_Z.dat\", \"set_func_Z_Vav.dat\", \"set_func_Z_Unit.dat\" in --stored-folder) and "
      "estimated again.";
  t.onStop = "Ctrl+C stops; the kernel averaged until then is kept as \"<file>.part\".";
  t.example = "--t-end-ms 300";
  t.random = true;
  AddNoisyRunInputs(t);
  t.inputs.push_back(Choice("input", {"Current", "Voltage"}, "Kernel input").Label(" Input "));
  t.inputs.push_back(Choice("output_function", {"Unity", "Interspike interval", "Mean voltage"},
                            "Output at a spike")
                         .Label(" Output function ")
                         .Default(1));
  t.inputs.push_back(Integer("one_isi", Between(0, 100000),
                             "Run the one-ISI analysis this many times in place of the kernel (0: the kernel)")
                         .Label("n_repeat")
                         .Default(0));
  t.inputs.push_back(InFile("map", FileKind::Map, "The (u,s) map of --one-isi (default \"v(u_s).dat\")"));
  t.inputs.push_back(InFile("stored_folder", FileKind::StoredZFolder,
                            "Folder of the stored Z-functions (default: the current folder)"));
  t.inputs.push_back(OutFile("out", FileKind::WholeResult, "func_Z.dat", "The kernel")
                         .Aka("kernel-output")
                         .Columns({{"lag_before_spike", Unit::Ms}, {"Z", Unit::None}}));
  t.cost = [](const Session& s, const TaskInputs&, const TaskValues& v) {
    TaskCost c;
    // A one-ISI repetition ends after 5 spikes; the run length bounds it.
    c.runs = std::max(1.0, v.Number("one_isi"));
    c.stepsPerRun = static_cast<double>(StepCount(v.Number("t_end_ms") / 1000.0, s.run.dt));
    return c;
  };
  t.run = RunKernel;
  return t;
}

}  // namespace

const TaskDeclaration& FCAnalysisTask() {
  static const TaskDeclaration task = MakeFCAnalysisTask();
  return task;
}

const TaskDeclaration& KernelTask() {
  static const TaskDeclaration task = MakeKernelTask();
  return task;
}

}  // namespace membrix
