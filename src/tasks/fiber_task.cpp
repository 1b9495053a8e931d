// A run of the ball-and-stick model as a task: its profiles along the axon and
// its time courses at the two ends written to column files.

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/error.h"
#include "common/number_format.h"
#include "fiber/fiber.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/model_inputs.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

inline constexpr const char* kProfileFile = "fiber_profiles.dat";
inline constexpr const char* kEndsFile = "fiber_ends.dat";

// The level whose first crossing times the spike at a node.
constexpr double kSpikeLevel = -0.02;  // V

std::ofstream OpenOutput(const std::string& path, const char* what) {
  std::ofstream out(path);
  if (!out) throw IoError(path, std::string("cannot be written (") + what + ")");
  return out;
}

// Writes the frames: the time courses at every frame, the profiles every
// profileEvery seconds; times the first crossing of the spike level at a
// quarter and three quarters of the axon and at its two ends.
class FiberFiles final : public FiberSink {
 public:
  FiberFiles(const std::string& profiles, const std::string& ends, double profileEverySeconds, bool lfp)
      : profiles_(OpenOutput(profiles, "profiles")), ends_(OpenOutput(ends, "time courses")),
        profilePaths_{profiles, ends}, profileEvery_(profileEverySeconds), lfp_(lfp) {
    ends_ << "# t_ms V0_mV VL_mV ISoma_pA IAxon_pA JmSoma_pA JmAxon_pA Iind0_pA IindL_pA LFP_nV\n";
    profiles_ << "# t_ms z_um V_mV g_mS/cm2 m h   (one block per time, blocks separated by a blank line)\n";
  }
  bool WantsLFP() const override { return lfp_; }
  void Frame(const TFiber& f, double t, double lfp) override {
    const std::size_t N = static_cast<std::size_t>(f.N());
    line_.clear();
    AppendFixed(line_, t * 1000.0, 10, 4);
    for (double x : {f.V[0] * 1000.0, f.V[N] * 1000.0, f.ISoma * 1e9, f.IAxon * 1e9, f.JmSoma * 1e9,
                     f.JmAxon * 1e9, f.Iind[0] * 1e9, f.Iind[N] * 1e9, lfp * 1000.0}) {
      line_ += ' ';
      AppendScientific(line_, x, 13);
    }
    ends_ << line_ << '\n';
    if (t + 1e-12 >= nextProfile_) {
      nextProfile_ += profileEvery_ > 0.0 ? profileEvery_ : 1e300;
      for (std::size_t i = 0; i <= N; ++i) {
        const NeuronVariables& nv = f.Nodes[i]->NV;
        line_.clear();
        AppendFixed(line_, t * 1000.0, 10, 4);
        for (double x : {static_cast<double>(i) * f.Props.dx * 1e4, f.V[i] * 1000.0}) {
          line_ += ' ';
          AppendFixed(line_, x, 10, 4);
        }
        for (double x : {f.g[i], nv.mm, nv.hh}) {
          line_ += ' ';
          AppendScientific(line_, x, 13);
        }
        profiles_ << line_ << '\n';
      }
      profiles_ << '\n';
    }
    const std::size_t at[4] = {0, N / 4, (3 * N) / 4, N};
    for (int k = 0; k < 4; ++k) {
      if (crossing[k] < 0.0 && f.V[at[k]] > kSpikeLevel) crossing[k] = t;
    }
    quarterDistance = static_cast<double>(at[2] - at[1]) * f.Props.dx;
  }
  void Close() {
    profiles_.close();
    ends_.close();
    if (!profiles_) throw IoError(profilePaths_[0], "could not be written completely");
    if (!ends_) throw IoError(profilePaths_[1], "could not be written completely");
  }
  double crossing[4] = {-1.0, -1.0, -1.0, -1.0};  // soma, quarter, three quarters, far end (s)
  double quarterDistance = 0.0;                   // cm

 private:
  std::ofstream profiles_, ends_;
  std::string profilePaths_[2];
  double profileEvery_;
  bool lfp_;
  double nextProfile_ = 0.0;
  std::string line_;
};

// Whether a run setting takes the command's value: when it was given, or when
// no parameter file was opened (the command's own defaults then stand in for
// it). A setting not given leaves what the parameter file set.
bool TakesCommandValue(const TaskValues& v, const char* name) { return v.Given(name) || !v.Given("id"); }

// The run settings of the command, over those of the parameter file.
void ApplyFiberRunSettings(Session& s, FiberInputs& fiber, const TaskValues& v) {
  fiber.nDraw = v.Int("ndraw");
  if (TakesCommandValue(v, "record")) s.NP0.If_I_V_or_g = v.Int("record");
  if (TakesCommandValue(v, "soma_iind")) s.stim.Iind = v.Number("soma_iind");
  if (TakesCommandValue(v, "soma_t_shift_ms")) s.stim.t_IindShift = v.Number("soma_t_shift_ms") / 1000.0;
  if (TakesCommandValue(v, "soma_t_iind_ms")) s.stim.t_Iind = v.Number("soma_t_iind_ms") / 1000.0;
  if (TakesCommandValue(v, "t_end_ms")) SetRunLength(s.run, v.Number("t_end_ms") / 1000.0);
}

// The length of the run the command makes, in seconds.
double FiberRunLength(const Session& s, const TaskValues& v) {
  return TakesCommandValue(v, "t_end_ms") ? v.Number("t_end_ms") / 1000.0 : s.run.t_end;
}

// The name a file was asked under: the run writes "<name>.part" until complete.
std::string AskedName(const std::string& written) {
  const std::string part = ".part";
  if (written.size() > part.size() && written.compare(written.size() - part.size(), part.size(), part) == 0) {
    return written.substr(0, written.size() - part.size());
  }
  return written;
}

void RunFiber(TaskCall& call) {
  Session& s = call.s;
  const TaskValues& v = call.values;
  const FiberInputs& in = call.in.fiber;
  ApplyFiberRunSettings(s, call.in.fiber, v);
  CheckFiberInputs(s, in);  // before any file is touched

  FiberSink none;
  const FiberDerived derived = ShowDistribution(s, in, call.host, none);
  const std::string profiles = v.Text("profiles"), ends = v.Text("ends");
  FiberFiles files(profiles, ends, v.Number("profile_every_ms") / 1000.0, v.On("lfp"));
  FiberOutcome outcome;
  try {
    outcome = FiberRun(s, in, call.host, files);
    files.Close();
  } catch (...) {
    // A run that failed leaves no files that could pass for its result.
    std::error_code ec;
    std::filesystem::remove(profiles, ec);
    std::filesystem::remove(ends, ec);
    throw;
  }
  call.written = {"profiles", "ends"};
  call.complete = !outcome.stopped;
  call.done = outcome.steps;
  call.total = StepCount(s.run.t_end, s.run.dt);
  call.doneUnit = "steps";
  const double velocity = files.crossing[2] > files.crossing[1] && files.crossing[1] >= 0.0
                              ? files.quarterDistance / (files.crossing[2] - files.crossing[1]) / 100.0
                              : 0.0;  // m/s
  nlohmann::ordered_json& r = *call.results;
  r["profiles"] = call.complete ? AskedName(profiles) : profiles;
  r["ends"] = call.complete ? AskedName(ends) : ends;
  r["steps"] = outcome.steps;
  // The settings the run used, the parameter file's where not given.
  r["record"] = s.NP0.If_I_V_or_g;
  r["t_end_ms"] = s.run.t_end * 1000.0;
  r["soma_iind"] = s.stim.Iind;
  r["soma_t_shift_ms"] = s.stim.t_IindShift * 1000.0;
  r["soma_t_iind_ms"] = s.stim.t_Iind * 1000.0;
  r["soma_spike_ms"] = files.crossing[0] * 1000.0;
  r["far_end_spike_ms"] = files.crossing[3] * 1000.0;
  r["conduction_velocity_m_s"] = velocity;
  nlohmann::ordered_json labels = nlohmann::ordered_json::array();
  for (const std::string& label : DerivedLabels(derived)) labels.push_back(label);
  r["distribution"] = std::move(labels);
}

TaskDeclaration MakeFiberTask() {
  TaskDeclaration t;
  t.name = "fiber";
  t.summary =
      "A run of the distributed model: a soma on an unbranched axon of N segments, every node a full membrane "
      "of the model family. Writes the time courses at the two ends at every drawn step to \"fiber_ends.dat\" "
      "and the profiles along the axon (V, g, m, h against z) to \"fiber_profiles.dat\"; prints when the "
      "spike passes the soma and the far end and the conduction velocity.";
  t.onStop =
      "Ctrl+C stops the run; the files then keep the steps done under \"<name>.part\", and the files asked for "
      "are left as they were.";
  t.example = "--segments 10 --t-end-ms 2";
  t.random = true;  // the soma noise of stimulation 3
  t.inputs = ModelInputs(false);
  t.inputs.push_back(SeedInput());
  for (TaskInput& in : FiberAxonInputs()) t.inputs.push_back(std::move(in));
  auto f = [](TaskInput in, auto field) { return BindField(std::move(in), &TaskInputs::fiber, field); };
  t.inputs.push_back(
      Number("t_end_ms", Unit::Ms, Above(0), "Length of the run (with --id: the file's t_end unless given)")
          .Default(20));
  t.inputs.push_back(Integer("record", Between(1, 7),
                             "Clamp mode If_I_V_or_g: 2 current clamp (records V - Vrest at the observed node), 1, "
                             "3, 4, 5 clamp the soma (record the soma current), 6 records the observed node's "
                             "injected current (with --id: the file's mode unless given)")
                         .Default(2));
  t.inputs.push_back(f(Number("z_draw", Unit::None, Between(0, 1), "Observed node as a fraction of the axon")
                           .Label("zDraw/L"),
                       &FiberInputs::zDraw));
  t.inputs.push_back(Integer("ndraw", AtLeast(0), "Steps between the written time-course lines (0: only the first step)")
                         .Label("nDraw")
                         .Default(1));
  t.inputs.push_back(Number("profile_every_ms", Unit::Ms, AtLeast(0),
                            "Time between written profiles (0: only the first)")
                         .Default(0.5));
  t.inputs.push_back(Number("soma_iind", Unit::PA, AnyNumber(),
                            "Stimulation 0: current injected into the soma (with --id: the file's Iind unless given)"));
  t.inputs.push_back(Number("soma_t_shift_ms", Unit::Ms, AtLeast(0),
                            "Stimulation 0: start of the current (with --id: the file's t_IindShift unless given)"));
  t.inputs.push_back(
      Number("soma_t_iind_ms", Unit::Ms, AtLeast(0),
             "Stimulation 0: length of the current (default: the whole run; with --id: the file's t_Iind unless "
             "given)")
          .Default(1e8));
  t.inputs.push_back(Flag("lfp", "Also compute the field potential at the electrode (--lfp-d, --lfp-h)"));
  t.inputs.push_back(f(Number("lfp_d", Unit::None, AnyNumber(), "Electrode along the axis, as a fraction of L")
                           .Label("d / L="),
                       &FiberInputs::LFP_d));
  t.inputs.push_back(f(Number("lfp_h", Unit::None, Above(0), "Electrode distance from the axis, as a fraction of L")
                           .Label("h / L="),
                       &FiberInputs::LFP_h));
  t.inputs.push_back(OutFile("profiles", FileKind::WholeResult, kProfileFile, "The profile file")
                         .Columns({{"t", Unit::Ms},
                                   {"z", Unit::Um},
                                   {"V", Unit::MV},
                                   {"g", Unit::MSCm2},
                                   {"m", Unit::None},
                                   {"h", Unit::None}}));
  t.inputs.push_back(OutFile("ends", FileKind::WholeResult, kEndsFile, "The time-course file")
                         .Columns({{"t", Unit::Ms},
                                   {"V0", Unit::MV},
                                   {"VL", Unit::MV},
                                   {"ISoma", Unit::PA},
                                   {"IAxon", Unit::PA},
                                   {"JmSoma", Unit::PA},
                                   {"JmAxon", Unit::PA},
                                   {"Iind0", Unit::PA},
                                   {"IindL", Unit::PA},
                                   {"LFP_nV", Unit::None}}));
  t.cost = [](const Session& s, const TaskInputs& in, const TaskValues& v) {
    TaskCost c;
    c.stepsPerRun = static_cast<double>(StepCount(FiberRunLength(s, v), s.run.dt)) * (in.fiber.N + 1.0);
    return c;
  };
  t.run = RunFiber;
  return t;
}

}  // namespace

const TaskDeclaration& FiberTask() {
  static const TaskDeclaration task = MakeFiberTask();
  return task;
}

}  // namespace membrix
