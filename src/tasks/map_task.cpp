// The (u,s) frequency map as a task: one run from rest per point of a grid of
// constant inputs.

#include <nlohmann/json.hpp>

#include <algorithm>

#include "analysis/us_map.h"
#include "common/error.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/model_inputs.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

class MapCollector final : public USMapSink {
 public:
  explicit MapCollector(TaskCall& call) : call_(call) {}
  void Point(const USMapPoint& p) override {
    ++points;
    steps += p.steps;
    fMax = std::max(fMax, p.Freq);
    if (p.Freq >= 5.0) ++firing;
  }
  void Progress(std::int64_t done, std::int64_t total) override { call_.progress(done, total); }
  std::int64_t points = 0, firing = 0, steps = 0;
  double fMax = 0.0;

 private:
  TaskCall& call_;
};

std::int64_t Points(const USMapInputs& in) {
  return static_cast<std::int64_t>(in.nue + 1) * (in.nse + 1);
}

void RunMap(TaskCall& call) {
  Session& s = call.s;
  const TaskValues& v = call.values;
  USMapInputs& in = call.in.usMap;
  in.storedFolder = v.Text("stored_folder");
  const bool linear = v.On("linear");
  if (linear && (in.nue < 3 || in.nse < 3)) {
    throw RangeError("--linear needs a map of at least 3 steps on each axis (--nue and --nse 3 or more)");
  }
  const MapGrid grid = v.Int("grid") == 1 ? MapGrid::GEGI : MapGrid::US;
  MapCollector sink(call);
  const RunsOutcome outcome = MapUS(s, in, call.in.fiber, call.host, sink, grid, v.Text("out"));
  call.written = {"out"};
  EndRuns(call, outcome, Points(in), "points");
  if (linear && call.complete) {
    ReadUSMap(v.Text("out"), v.Int("f"), v.Int("g"), true, v.Text("linear_out"));
    call.written.push_back("linear_out");
  }
  nlohmann::ordered_json& r = *call.results;
  r["points"] = sink.points;
  r["firing_points"] = sink.firing;
  r["max_freq_Hz"] = sink.fMax;
  r["steps"] = sink.steps;
  r["grid"] = grid == MapGrid::US ? "us" : "gegi";
}

TaskDeclaration MakeMapTask() {
  TaskDeclaration t;
  t.name = "map";
  t.summary =
      "The (u,s) frequency map: one run from rest per point of a grid of constant inputs, either a current u and "
      "a conductance s (the input u - s(V - Vus)) or an excitatory and an inhibitory conductance gE, gI; writes "
      "the firing rate and the spike measures of every point to \"v(u_s).dat\" (a Tecplot point zone, 18 "
      "columns). Runs the points on all cores.";
  t.onStop = "Ctrl+C stops and keeps the lines written; the planes of --linear are written only for a whole map.";
  t.example = "--nue 3 --nse 3 --t-end-ms 50 --linear";
  t.random = true;
  t.sharedRuns = true;
  t.inputs = ModelInputs(false);
  t.inputs.push_back(SeedInput());
  auto m = [](TaskInput in, auto field) { return BindField(std::move(in), &TaskInputs::usMap, field); };
  t.inputs.push_back(Choice("grid", {"us", "gegi"}, "Grid: \"us\" (u, s) or \"gegi\" (gE, gI)"));
  t.inputs.push_back(m(Integer("nue", Between(1, kMaxMapIndex), "Steps in u").Label("nue x nse ="),
                       &USMapInputs::nue));
  t.inputs.push_back(m(Integer("nse", Between(1, kMaxMapIndex), "Steps in s"), &USMapInputs::nse));
  t.inputs.push_back(m(Number("u_max", Unit::UACm2, AnyNumber(), "Top of u").Label("u_max, s_max ="),
                       &USMapInputs::u_max));
  t.inputs.push_back(m(Number("s_max", Unit::MSCm2, AnyNumber(), "Top of s"), &USMapInputs::s_max));
  t.inputs.push_back(m(Number("u_min", Unit::UACm2, AnyNumber(), "Bottom of u").Label("u_min, s_min ="),
                       &USMapInputs::u_min));
  t.inputs.push_back(m(Number("s_min", Unit::MSCm2, AnyNumber(), "Bottom of s"), &USMapInputs::s_min));
  t.inputs.push_back(m(Number("t_end_ms", Unit::Ms, Above(0), "Length of each run").Label(" t_end, ms "),
                       &USMapInputs::t_end));
  t.inputs.push_back(m(Integer("max_spikes", AtLeast(1), "End a run at the downstroke of this spike")
                           .Label("Max number of spikes"),
                       &USMapInputs::MaxSpikes));
  t.inputs.push_back(m(Choice("noise", {kMapNoiseNames.begin(), kMapNoiseNames.end()},
                              "\"no Noise\", \"Noise-current\" (the parameter noise current) or "
                              "\"Noise-conductances\" (noisy gE and gI)")
                           .Label("Noise"),
                       &USMapInputs::Noise));
  t.inputs.push_back(BindField(Number("noise_to_signal", Unit::None, AtLeast(0),
                                      "Noise-conductances: deviation over mean"),
                               &Session::prog, &ProgramGlobals::NoiseToSignal));
  t.inputs.push_back(BindField(Number("conductance_noise_tau_ms", Unit::Ms, AtLeast(0),
                                      "Noise-conductances: correlation time (0: white)")
                                   .Aka("tau-noise"),
                               &Session::stim, &StimulusGlobals::tau_Noise, 1e-3));
  t.inputs.push_back(Number("current_noise_tau_ms", Unit::Ms, AtLeast(0),
                            "Noise-current: time constant of the noise current")
                         .Aka("noise-tau")
                         .Bind([](const Session& s) { return s.stim.NoiseRec.tau * 1000.0; },
                               [](Session& s, double v) { s.stim.NoiseRec.tau = v / 1000.0; }));
  t.inputs.push_back(Number("current_noise_amplitude", Unit::UACm2, AtLeast(0),
                            "Noise-current: deviation of the noise current")
                         .Aka("noise-amplitude")
                         .Bind([](const Session& s) { return s.stim.NoiseRec.amplitude * 1000.0; },
                               [](Session& s, double v) { s.stim.NoiseRec.amplitude = v / 1000.0; }));
  t.inputs.push_back(m(Flag("distributed",
                            "Run the soma-and-axon model (the axon inputs below) in place of the point neuron; "
                            "spikes are counted at the first axon node")
                           .Label("IfDistributedModel"),
                       &USMapInputs::IfDistributedModel));
  for (TaskInput& in : FiberAxonInputs()) t.inputs.push_back(std::move(in));
  t.inputs.push_back(Flag("linear",
                          "Also replace F and G by planes through the points at one and two thirds of the grid "
                          "and write them to \"v(u_s)_Linear.dat\""));
  t.inputs.push_back(Integer("f", Between(0, 6), "F for --linear: 0 Frequency ... 6 Th, as in the workbench")
                         .Default(0));
  t.inputs.push_back(Integer("g", Between(0, 6), "G for --linear: 0 dV/dt ... 3 MaxVoltage ... 6 IxZ").Default(3));
  t.inputs.push_back(ResetProtocolInput());
  t.inputs.push_back(InFile("stored_folder", FileKind::StoredZFolder,
                            "Folder of the stored unit Z-function \"set_func_Z_Unit.dat\" that VxZ and IxZ "
                            "(columns 12 and 13) weigh each interval with; without it they are 0 (default: the "
                            "current folder)"));
  t.inputs.push_back(OutFile("out", FileKind::LinesPerRun, kUSMapFile, "The map file to write")
                         .Aka("output")
                         .Columns({{"u", Unit::UACm2},
                                   {"s", Unit::MSCm2},
                                   {"f", Unit::Hz},
                                   {"V_peak", Unit::MV},
                                   {"V_filtered", Unit::MV},
                                   {"V_subthreshold", Unit::MV},
                                   {"g_potential_rate", Unit::MSCm2},
                                   {"gE", Unit::MSCm2},
                                   {"gI", Unit::MSCm2},
                                   {"V_trough", Unit::MV},
                                   {"V_window", Unit::MV},
                                   {"VxZ", Unit::MV},
                                   {"IxZ", Unit::None},
                                   {"spike_width", Unit::Ms},
                                   {"V_before_spike", Unit::MV},
                                   {"threshold", Unit::MV},
                                   {"u_over_GL", Unit::MV},
                                   {"s_over_GL", Unit::None}}));
  t.inputs.push_back(OutFile("linear_out", FileKind::WholeResult, kUSMapLinearFile, "The planes' file of --linear")
                         .Aka("linear-output"));
  t.cost = [](const Session& s, const TaskInputs& in, const TaskValues&) {
    TaskCost c;
    c.runs = static_cast<double>(Points(in.usMap));
    c.stepsPerRun = static_cast<double>(StepCount(in.usMap.t_end / 1000.0, s.run.dt)) *
                    (in.usMap.IfDistributedModel ? in.fiber.N + 1.0 : 1.0);
    return c;
  };
  t.run = RunMap;
  return t;
}

}  // namespace

const TaskDeclaration& MapTask() {
  static const TaskDeclaration task = MakeMapTask();
  return task;
}

}  // namespace membrix
