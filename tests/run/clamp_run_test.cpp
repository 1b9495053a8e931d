#include "run/clamp_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <cstdint>
#include <string>
#include <vector>

#include "neuron/neuron_test_support.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "params/parameter_file.h"
#include "run/session.h"
#include "run/session_values.h"
#include "run/trace_recorder.h"

namespace membrix {
namespace {

// Records the x of every point of one series.
class SeriesRecorder final : public RunViewSink {
 public:
  explicit SeriesRecorder(std::string series) : series_(std::move(series)) {}
  void Point(std::string_view series, double x, double) override {
    if (series == series_) xs.push_back(x);
  }
  std::vector<double> xs;

 private:
  std::string series_;
};

// A host that pauses the run at one event point and resumes it a few calls later.
class PausingHost final : public Host {
 public:
  explicit PausingHost(RunGlobals& run) : run_(run) {}
  void ProcessEvents() override {
    ++calls;
    if (calls == 2) run_.PauseFlag = 'P';
    if (calls == 7) run_.PauseFlag = ' ';
  }
  bool Confirm(const std::string&) override { return true; }
  int calls = 0;

 private:
  RunGlobals& run_;
};

// A passive neuron without input; VL off rest so the membrane moves.
void MakePassiveSession(Session& s, double t_end) {
  s.NP0 = testing::PassiveRecord();
  s.NP0.IfSet_VL_or_Vrest = 3;  // neither VL nor Vrest is derived
  s.NP0.VL = -0.070;
  s.stim.Iind = 0;
  s.stim.uu = s.stim.ss = 0;
  SetRunLength(s.run, t_end);
}

// Collects the spike times of a run.
class SpikeRecorder final : public RunViewSink {
 public:
  void Spike(double tSpike) override { times.push_back(tSpike); }
  std::vector<double> times;
};

TEST(ClampRun, StartUpCellFiresItsAdaptingTrain) {
  // The "Lyle" cell of the program's start, 600 ms of steady dendritic input at
  // 50 us. First spikes from an integration of the same equations written apart
  // from this program.
  Session s;
  ApplyProgramStart(s);
  BatchHost host;
  SpikeRecorder spikes;
  RunClamp(s, host, spikes);
  const double expected[] = {3.6607, 14.0326, 26.7075, 44.6393, 71.1227};
  ASSERT_EQ(spikes.times.size(), 20u);
  for (std::size_t k = 0; k < std::size(expected); ++k) {
    EXPECT_NEAR(spikes.times[k] * 1000.0, expected[k], 0.01) << "spike " << k + 1;
  }
}

TEST(ClampRun, ModeSevenFromAParameterFileInjectsTheRecording) {
  // A passive cell in clamp mode 7 set by its parameter file, no pulse: the
  // recording (pA) is the injected current, and nothing else moves the cell.
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("membrix_mode7_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const struct {
    const char* recording;
    bool moves;
  } cases[] = {{"0 200\n1000 200\n", true}, {"0 0\n1000 0\n", false}};
  for (const auto& c : cases) {
    std::ofstream(dir / "current.d") << c.recording;
    std::ofstream(dir / "cell.id") << "CommonParametersFromFile\n  NSmpls := 1;\n  t_end := 0.01;\n"
                                      "  Iind := 0;\n  uu := 0;\n  ss := 0;\n"
                                      "MembrixPhysParameters\n  NP0.HH_type := 'Passive';\n"
                                      "  NP0.If_I_V_or_g := 7;\nKeepParams=0\nParametersFromFile\n"
                                      "  SmplFile[Smpl] := 'current.d';\nend.\n";
    Session s;
    ApplyProgramStart(s);
    LoadParameterFile(s, (dir / "cell.id").string());
    ASSERT_EQ(s.NP0.If_I_V_or_g, 7);
    BatchHost host;
    NullRunViewSink views;
    RunClamp(s, host, views);
    const double rise = (s.NV0.V - s.NP0.Vrest) * 1000.0;  // mV
    if (c.moves) {
      EXPECT_GT(rise, 1.0) << "the recorded 200 pA depolarise the cell";
    } else {
      EXPECT_NEAR(rise, 0.0, 1e-6);
    }
  }
  std::filesystem::remove_all(dir);
}

TEST(ClampRun, MakesAtLeastOneStep) {
  Session s;
  MakePassiveSession(s, 1e-5);  // shorter than one step
  EXPECT_EQ(s.run.nt_end, 0);
  BatchHost host;
  NullRunViewSink views;
  RunClamp(s, host, views);
  EXPECT_EQ(s.run.nt, 1);
  EXPECT_DOUBLE_EQ(s.run.t, s.run.dt);
}

TEST(ClampRun, DrawsAtTheFirstStepAndEveryDrawingCadence) {
  Session s;
  MakePassiveSession(s, 50 * 5e-5);
  s.run.n_Draw = 7;
  BatchHost host;
  SeriesRecorder views(" V ");
  RunClamp(s, host, views);
  std::vector<int> steps;
  for (double x : views.xs) steps.push_back(static_cast<int>(std::lround(x / 1000.0 / s.run.dt)));
  EXPECT_EQ(steps, (std::vector<int>{1, 7, 14, 21, 28, 35, 42, 49}));
}

// Views that draw from every step get the voltage and the model value at
// every step, the other series at the cadence.
TEST(ClampRun, EveryStepViewsGetTheirSeriesAtEveryStepAndTheRestAtTheCadence) {
  class EveryStepViews final : public RunViewSink {
   public:
    bool EveryStep() const override { return true; }
    void Point(std::string_view series, double, double) override { ++count[std::string(series)]; }
    std::map<std::string, int> count;
  } views;
  Session s;
  MakePassiveSession(s, 50 * 5e-5);
  s.run.n_Draw = 7;
  BatchHost host;
  RunClamp(s, host, views);
  for (const char* series : {" V ", "Vd", "Model"}) EXPECT_EQ(views.count[series], 50) << series;
  EXPECT_EQ(views.count["mm"], 8);  // steps 1, 7, 14, ..., 49
  EXPECT_EQ(views.count["Experiment"], 2);  // no recording: a line of zeros from the first step to the last
}

// The session's copy of the state is taken only at the steps where someone
// reads it: the drawing at its cadence, the host at its events and the caller
// after the run must each see the state of that very step, as a view drawing
// every step does.
TEST(ClampRun, DrawingHostAndCallerSeeTheStateOfTheirStep) {
  // The voltage drawn, by step.
  class VoltageViews final : public RunViewSink {
   public:
    VoltageViews(const Session& s, bool everyStep) : s_(s), everyStep_(everyStep) {}
    bool EveryStep() const override { return everyStep_; }
    void Point(std::string_view series, double x, double y) override {
      if (series == " V ") v[std::lround(x / 1000.0 / s_.run.dt)] = y;
    }
    std::map<long, double> v;

   private:
    const Session& s_;
    bool everyStep_;
  };
  // The voltage of the session's copy at each event, by step.
  class StateReadingHost final : public Host {
   public:
    explicit StateReadingHost(const Session& s) : s_(s) {}
    void ProcessEvents() override { v[s_.run.nt] = 1000.0 * s_.NV0.V; }
    bool Confirm(const std::string&) override { return true; }
    std::map<long, double> v;

   private:
    const Session& s_;
  };
  const auto run = [](bool everyStep, std::map<long, double>& drawn, std::map<long, double>& events) {
    Session s;
    MakePassiveSession(s, 250 * 5e-5);
    s.run.n_Draw = 7;
    StateReadingHost host(s);
    VoltageViews views(s, everyStep);
    RunClamp(s, host, views);
    drawn = views.v;
    events = host.v;
    return 1000.0 * s.NV0.V;
  };
  std::map<long, double> every, everyEvents, cadence, cadenceEvents;
  const double lastEvery = run(true, every, everyEvents);
  const double lastCadence = run(false, cadence, cadenceEvents);
  ASSERT_EQ(every.size(), 250u);
  ASSERT_EQ(cadence.size(), 36u);  // steps 1, 7, 14, ..., 245
  for (const auto& [step, v] : cadence) EXPECT_EQ(v, every.at(step)) << "step " << step;
  ASSERT_EQ(cadenceEvents.size(), 2u);
  for (const auto& [step, v] : cadenceEvents) EXPECT_EQ(v, every.at(step)) << "event at step " << step;
  EXPECT_EQ(lastCadence, every.at(250));
  EXPECT_EQ(lastEvery, lastCadence);
  EXPECT_NE(every.at(7), every.at(6));  // the membrane moves from step to step
}

TEST(ClampRun, DeviationIsTheRmsOverTheComparedSteps) {
  Session s;
  MakePassiveSession(s, 0.05);
  BatchHost host;
  NullRunViewSink views;
  const double err = RunClamp(s, host, views);
  // No recording: every step compares the model value with 0.
  double sum = 0;
  for (int n = 1; n <= s.run.nt; ++n) sum += s.ModelData(n, s.rec.Smpl) * s.ModelData(n, s.rec.Smpl);
  EXPECT_GT(err, 1e-3);
  EXPECT_NEAR(err, std::sqrt(sum / s.run.nt), 1e-12);
  // In current clamp the model value is the depolarisation from rest.
  EXPECT_NEAR(s.ModelData(s.run.nt, 1), s.NV0.V - s.NP0.Vrest, 1e-15);
  EXPECT_NEAR(s.run.StartState.V, s.NP0.Vrest, 1e-15);
}

// Without a recording every step is compared with 0, and the model's values
// of the first 25000 steps are kept (a fixed cost, whatever the length).
TEST(ClampRun, ComparesEveryStepAndKeepsTheFirstModelValuesWithoutARecording) {
  Session s;
  MakePassiveSession(s, 30000 * 5e-5);
  TraceRecorder recorder(s, {"Vr"});
  BatchHost host;
  const double err = RecordedRun(s, host, recorder);
  EXPECT_EQ(s.run.nt, 30000);
  double sum = 0;
  for (double v : recorder.values[0]) sum += v * v;
  EXPECT_NEAR(err, std::sqrt(sum / 30000), 1e-12);
  EXPECT_EQ(s.ModelData.Rows(1), 25001);
  EXPECT_EQ(s.ModelData(25000, 1), recorder.values[0][24999]);
}

// A run past the million steps the program once stopped at makes every step
// and its neuron fires to the end.
TEST(ClampRun, RunsToTEndPastAMillionSteps) {
  Session s;
  ApplyProgramStart(s);
  SelectModelFamily(s, "Rariza");
  for (const char* a : {"uu=0", "ss=0", "Iind=300", "t_Iind=1000"}) SetSessionAssignment(s, a);
  SetTimeStep(s.run, 5e-5);
  SetRunLength(s.run, 100.0);
  TraceRecorder recorder(s, {"V"}, 100000);
  BatchHost host;
  RecordedRun(s, host, recorder);
  EXPECT_EQ(s.run.nt, 2000000);
  EXPECT_NEAR(s.run.t, 100.0, 1e-9);
  ASSERT_FALSE(recorder.spikeTimes.empty());
  EXPECT_GT(recorder.spikeTimes.back(), 99.9);  // a tonic train to the end
}

// A recording of 200 000 points (10 s at 20 kHz, one value per line) is read
// whole and compared at every step: the deviation is the one computed here
// from the file's lines and the run's model values.
TEST(ClampRun, ALongRecordingIsComparedAtEveryPoint) {
  constexpr int kPoints = 200000;
  const auto path = std::filesystem::temp_directory_path() /
                    ("membrix_long_recording_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                     ".dat");
  {
    std::ofstream out(path);
    for (int k = 1; k <= kPoints; ++k) out << 0.004 * std::sin(k * 1e-3) << '\n';
  }
  Session s;
  MakePassiveSession(s, (kPoints + 0.5) * 5e-5);
  s.rec.Smpl = 2;  // a recording of its own (the built-in set 1 has none)
  s.rec.SmplFile[2] = path.string();
  s.rec.IfDataIn1column = 1;  // line k at k * 0.05 ms: step k
  TraceRecorder recorder(s, {"Vr"});
  BatchHost host;
  const double err = RecordedRun(s, host, recorder);
  ASSERT_EQ(s.run.nt, kPoints);
  EXPECT_EQ(s.rec.Trace.time.size(), static_cast<std::size_t>(kPoints));

  std::ifstream in(path);
  double sum = 0.0, recorded = 0.0;
  int k = 0;
  while (in >> recorded) {
    const double d = recorded - recorder.values[0][static_cast<std::size_t>(k)];
    ++k;
    if (k * 5e-5 > s.stim.t_IindShift) sum += d * d;
  }
  std::filesystem::remove(path);
  ASSERT_EQ(k, kPoints);
  EXPECT_GT(err, 1e-3);
  EXPECT_NEAR(err, std::sqrt(sum / kPoints), 1e-9 * err);
}

TEST(ClampRun, ARunPastTwoToThe53StepsIsRefusedBeforeItStarts) {
  Session s;
  MakePassiveSession(s, 0.01);
  s.run.dt = 1e-12;
  SetRunLength(s.run, 1e6);
  BatchHost host;
  NullRunViewSink views;
  try {
    RunClamp(s, host, views);
    ADD_FAILURE() << "the run was made";
  } catch (const RangeError& e) {
    EXPECT_NE(std::string(e.what()).find("at most 2^53"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("shorten t_end or lengthen dt"), std::string::npos) << e.what();
  }
  EXPECT_EQ(s.run.nt, 0);
}

TEST(ClampRun, NothingIsComparedBeforeThePulseWindow) {
  Session s;
  MakePassiveSession(s, 0.01);
  s.stim.t_IindShift = 0.01;
  BatchHost host;
  NullRunViewSink views;
  EXPECT_EQ(RunClamp(s, host, views), 0.0);
}

TEST(ClampRun, PausingDoesNotChangeTheResult) {
  Session plain, paused;
  MakePassiveSession(plain, 0.05);
  MakePassiveSession(paused, 0.05);
  BatchHost host;
  PausingHost pausing(paused.run);
  NullRunViewSink views;
  const double a = RunClamp(plain, host, views);
  const double b = RunClamp(paused, pausing, views);
  EXPECT_GE(pausing.calls, 7);
  EXPECT_EQ(a, b);
  EXPECT_EQ(plain.NV0.V, paused.NV0.V);
}

TEST(ClampRun, DerivedParametersBecomeTheCurrentOnes) {
  Session s;
  MakePassiveSession(s, 0.001);
  s.NP0.IfSet_gL_or_tau = 2;
  s.NP0.gL = 42;
  BatchHost host;
  NullRunViewSink views;
  RunClamp(s, host, views);
  EXPECT_DOUBLE_EQ(s.NP0.gL, s.NP0.Cm / s.NP0.tau_m);
}

TEST(ClampRun, RecordingNumberOutsideTheTableIsAnError) {
  Session s;
  MakePassiveSession(s, 0.001);
  s.rec.Smpl = 21;
  BatchHost host;
  NullRunViewSink views;
  EXPECT_THROW(RunClamp(s, host, views), RangeError);
}

TEST(ClampRun, KineticsThatNeedShortStepsLowerTheRunStep) {
  for (const auto& [dt, after] : {std::pair{5e-5, 2e-5}, std::pair{1e-5, 1e-5}}) {
    Session s;
    MakePassiveSession(s, 0.002);
    s.NP0.Na_type = "Milescu";
    s.NP0.Na_subtype = "Carter-12";
    SetTimeStep(s.run, dt);
    BatchHost host;
    NullRunViewSink views;
    RunClamp(s, host, views);
    EXPECT_EQ(s.run.dt, after);
    EXPECT_EQ(s.run.nt, StepCount(0.002, after));  // the run keeps its length
  }
}

TEST(ClampRun, ADivergedRunLeavesANote) {
  Session s;
  ApplyProgramStart(s);
  s.stim.uu = s.stim.ss = 0;
  s.NP0.HH_type = "Bazhenov";  // gNa 3450: an explicit step of 50 us cannot follow its upstroke
  s.NP0.HH_order = "1-point";
  SetDefaults(s);
  s.stim.Iind = 50;
  s.stim.t_Iind = 0.02;
  SetRunLength(s.run, 0.02);
  BatchHost host;
  NullRunViewSink views;
  RunClamp(s, host, views);
  ASSERT_EQ(s.SimplexMemo.size(), 1u);
  EXPECT_NE(s.SimplexMemo[0].find("diverged"), std::string::npos) << s.SimplexMemo[0];
  EXPECT_NE(s.SimplexMemo[0].find("\"Bazhenov\""), std::string::npos) << s.SimplexMemo[0];

  Session calm;
  MakePassiveSession(calm, 0.01);
  RunClamp(calm, host, views);
  EXPECT_TRUE(calm.SimplexMemo.empty());
}

// Counts the points where the run lets the windows breathe.
class CountingHost final : public Host {
 public:
  void ProcessEvents() override { ++calls; }
  bool Confirm(const std::string&) override { return true; }
  int calls = 0;
};

TEST(ClampRun, LetsTheWindowsBreatheEveryHundredSteps) {
  // A drawing cadence that skips nearly every point must not change where the run
  // yields: only the hundredth steps do.
  for (const std::int32_t nDraw : {5, 1 << 30, 2147483647}) {
    Session s;
    MakePassiveSession(s, 250 * 5e-5);
    s.run.n_Draw = nDraw;
    CountingHost host;
    NullRunViewSink views;
    RunClamp(s, host, views);
    EXPECT_EQ(host.calls, 2) << "n_Draw = " << nDraw;
  }
}

TEST(RunGlobals, StepCountAndCadence) {
  EXPECT_EQ(StepCount(0.02, 5e-5), 400);
  EXPECT_EQ(StepCount(1e-5, 5e-5), 0);
  EXPECT_EQ(StepCount(1e9, 0.5), 2000000000);  // past 32 bits: no bound but 2^53
  EXPECT_EQ(StepCount(1e16, 1.0), kMaxSteps);
  EXPECT_EQ(StepCount(-1.0, 5e-5), 0);
  EXPECT_TRUE(IsMultiple(14, 7));
  EXPECT_FALSE(IsMultiple(15, 7));
  EXPECT_FALSE(IsMultiple(5, 0));
}

// The cadence test answers as the floating-point quotient test it replaces,
// also at the ends of the 32-bit range and for negative cadences, and past
// 32 bits for the counts of long runs.
TEST(RunGlobals, CadenceAgreesWithTheQuotientTest) {
  const auto quotientTest = [](std::int32_t n, std::int32_t k) {
    if (k == 0) return false;
    const double q = static_cast<double>(n) / static_cast<double>(k);
    return std::trunc(q) == q;
  };
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::int32_t values[] = {0, 1, -1, 2, 3, 7, 100, 1000, 65536, 999999, 1000000, 46340 * 46340,
                                 kMax, kMax - 1, kMin, kMin + 1, -7, -100, 2147483646 / 2, 1 << 30};
  for (std::int32_t n : values) {
    for (std::int32_t k : values) EXPECT_EQ(IsMultiple(n, k), quotientTest(n, k)) << n << " / " << k;
  }
  EXPECT_TRUE(IsMultiple(std::int64_t{5} << 32, 5));
  EXPECT_FALSE(IsMultiple((std::int64_t{5} << 32) + 1, 5));
}

}  // namespace
}  // namespace membrix
