// The ramp analyzer as a task: the threshold VT against the delay tau of the
// recorded voltage-clamp sweeps of a sweep file.

#include <nlohmann/json.hpp>

#include <filesystem>
#include <iostream>
#include <memory>
#include <utility>
#include <vector>

#include "common/error.h"
#include "data/ramp_analyzer.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/task_files.h"
#include "tasks/tasks.h"

namespace membrix {

std::vector<TaskInput> SweepFileInputs() {
  auto r = [](TaskInput in, auto field) { return BindField(std::move(in), &TaskInputs::ramp, field); };
  std::vector<TaskInput> inputs;
  inputs.push_back(r(Number("t_max_limit_ms", Unit::Ms, Above(0),
                            "End of the stored part of each sweep; samples beyond it separate the sweeps")
                         .Aka("t-max-limit"),
                     &RampInputs::t_maxLimit));
  inputs.push_back(r(Number("cesium_shift", Unit::MV, Between(-1000, 1000), "Subtracted from the file's voltages"),
                     &RampInputs::CesiumShift));
  return inputs;
}

std::string TaskOutDir(const std::string& dir) {
  if (!dir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw IoError(dir, ec.message());
  }
  return dir;
}

std::string InDir(const std::string& dir, const std::string& name) {
  return dir.empty() ? name : (std::filesystem::path(dir) / name).string();
}

namespace {

// The points of the VT(tau) chart, one per sweep.
struct Curve final : RampSink {
  void Point(RampSeries series, double x, double y) override {
    if (series == RampSeries::VTtau) tauVT.push_back({x, y});
    if (series == RampSeries::SpikeAmpl) amplitude.push_back(y);
  }
  std::vector<std::pair<double, double>> tauVT;
  std::vector<double> amplitude;
};

void RunRamps(TaskCall& call) {
  const TaskValues& v = call.values;
  RampInputs& in = call.in.ramp;
  in.ShapeMode = v.On("scaled") ? 0 : 1;
  in.WriteSpikeMarkers = v.On("markers");
  if (!v.Given("file")) throw RangeError("ramps needs the sweep file: give FILE (or --file FILE)");
  const std::string file = v.Text("file");
  // A sweep file that is not there is a wrong argument, refused before any work.
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) throw RangeError("FILE " + file + ": No such file");
  auto ramp = std::make_unique<TRamp>();
  ramp->FileName = file;
  ramp->Folder = TaskOutDir(v.Text("out_dir"));
  const std::string written = InDir(ramp->Folder, "VT_tau.dat");
  // The results (and the markers) never land on the sweep file.
  GuardOutputs({{"FILE", file}}, {{"--out-dir", written}});
  if (!ReadRampFile(*ramp, in)) throw IoError(file, "No such file");
  if (!ramp->Note.empty()) std::cerr << "membrix-cli: note: " << ramp->Note << "\n";
  if (ramp->NSweeps == 0) {
    throw FormatError(file, 0,
                      "no sweep runs past t_maxLimit (" + std::to_string(in.t_maxLimit) +
                          " ms): every sweep must be followed by samples beyond it");
  }
  Curve curve;
  AllSamples(*ramp, in, curve, call.host);
  int spikes = 0;
  nlohmann::ordered_json tau = nlohmann::ordered_json::array(), vt = nlohmann::ordered_json::array(),
                         amplitude = nlohmann::ordered_json::array();
  for (int i = 1; i <= ramp->NSweeps; ++i) {
    const bool found = ramp->tSpike[i] != 0.0 && static_cast<std::size_t>(i) <= curve.tauVT.size();
    spikes += found;
    tau.push_back(found ? nlohmann::ordered_json(curve.tauVT[i - 1].first) : nlohmann::ordered_json(nullptr));
    vt.push_back(found ? nlohmann::ordered_json(curve.tauVT[i - 1].second) : nlohmann::ordered_json(nullptr));
    amplitude.push_back(found && static_cast<std::size_t>(i) <= curve.amplitude.size()
                            ? nlohmann::ordered_json(curve.amplitude[i - 1])
                            : nlohmann::ordered_json(nullptr));
  }
  nlohmann::ordered_json& r = *call.results;
  r["sweeps"] = ramp->NSweeps;
  r["last_sample"] = ramp->NLast;
  r["spikes"] = spikes;
  r["tau_ms"] = std::move(tau);
  r["VT_mV"] = std::move(vt);
  r["amplitude_pA"] = std::move(amplitude);
  r["written"] = written;
}

TaskDeclaration MakeRampsTask() {
  TaskDeclaration t;
  t.name = "ramps";
  t.summary =
      "The ramp analyzer: reads a file of voltage-clamp sweeps (time s, voltage mV, current pA per line), "
      "filters them, finds in each sweep the first spike-shaped inward current after the ramp has started "
      "and writes the threshold VT against the delay tau from the end of the prepulse to VT_tau.dat "
      "(columns tau ms, VT mV, spike amplitude pA, current at the onset pA).";
  t.inputs.push_back(InFile("file", FileKind::Recording, "The sweep file (also taken as the first argument)"));
  auto r = [](TaskInput in, auto field) { return BindField(std::move(in), &TaskInputs::ramp, field); };
  t.inputs.push_back(r(Number("tau_filt_ms", Unit::Ms, AtLeast(0), "Filter time constant (0: no filtering)")
                           .Aka("tau-filt"),
                       &RampInputs::tauFilt));
  t.inputs.push_back(r(Number("conv_thr", Unit::PA, AtLeast(0), "Template-match threshold"), &RampInputs::Conv_thr));
  t.inputs.push_back(Flag("scaled",
                          "Match a template of fixed amplitude (--shape-amplitude) instead of one scaled to each "
                          "candidate (\"Unscaled spike shape\", the default)"));
  t.inputs.push_back(r(Number("shape_amplitude", Unit::PA, Above(0), "Template amplitude with --scaled"),
                       &RampInputs::SpikeShapeAmplitude));
  t.inputs.push_back(r(Number("shape_half_duration_ms", Unit::Ms, Above(0), "Template time parameter")
                           .Aka("shape-half-duration"),
                       &RampInputs::SpikeShapeHalfDuration));
  t.inputs.push_back(r(Number("min_spike_ampl", Unit::PA, AtLeast(0), "Smallest spike amplitude without --scaled"),
                       &RampInputs::MinSpikeAmpl));
  for (TaskInput& in : SweepFileInputs()) t.inputs.push_back(std::move(in));
  t.inputs.push_back(Flag("markers", "Also write SpikeShapeNNN.dat, VandINNN.dat and SpikeMarkerNNN.dat for every "
                                     "spike found"));
  TaskInput dir = Text("out_dir", "Folder of VT_tau.dat and the marker files (default: the current one)");
  t.inputs.push_back(std::move(dir));
  t.run = RunRamps;
  return t;
}

}  // namespace

const TaskDeclaration& RampsTask() {
  static const TaskDeclaration task = MakeRampsTask();
  return task;
}

}  // namespace membrix
