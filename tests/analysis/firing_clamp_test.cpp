#include "analysis/firing_clamp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/sweep_test_support.h"
#include "analysis/statistics.h"
#include "common/error.h"
#include "common/number_format.h"
#include "params/model_defaults.h"
#include "run/clamp_run.h"
#include "run/run_view_sink.h"
#include "run/trace_files.h"
#include "run/session.h"
#include "tasks/task_inputs.h"

namespace membrix {
namespace {

using testing::SweepFiles;

class Recorder final : public FiringClampSink {
 public:
  void Sample(const FiringClampSample& s, bool) override { samples.push_back(s); }
  void Record(const SpikeRecord& r) override { records.push_back(r); }
  void Surgery(double t, double, double) override { surgeries.push_back(t); }
  StatisticsSink* Statistics() override { return statistics; }
  StatisticsSink* statistics = nullptr;
  std::vector<FiringClampSample> samples;
  std::vector<SpikeRecord> records;
  std::vector<double> surgeries;
};

// The start-up neuron held by a constant input u (µA/cm²) for the whole run.
Session ClampSession(double uMicro, double t_end) {
  Session s;
  ApplyProgramStart(s);
  s.stim.Iind = 0.0;
  s.stim.t_IindShift = 0.0;
  s.stim.t_Iind = 1e8;
  s.stim.uu = uMicro / 1000.0;
  s.stim.ss = 0.0;
  s.prog.tau_E = s.prog.tau_I = 0.0;  // constant means
  SetRunLength(s.run, t_end);
  return s;
}

TEST(NoisyConductance, KeepsTheSignOfItsMeanAndTheWhiteNoiseStaysWithinTenMeans) {
  const struct {
    double mean, tau;
  } cases[] = {{0.1, 0.0}, {-0.1, 0.0}, {0.1, 0.002}, {-0.1, 0.002}, {0.0, 0.002}};
  for (auto c : cases) {
    RandomGenerator random;
    double g = c.mean;
    for (int k = 0; k < 20000; ++k) {
      g = NoisyConductanceStep(g, c.mean, c.mean, 3.0, c.tau, 1e-4, random.Normal(0.0, 1.0));
      ASSERT_TRUE(c.mean >= 0.0 ? g >= 0.0 : g <= 0.0) << "mean " << c.mean << ", tau " << c.tau << ": " << g;
      if (c.tau == 0.0) {
        ASSERT_LE(std::abs(g), 10.0 * std::abs(c.mean) + 1e-15);
      }
    }
  }
  // A deviate that would carry the coloured process across zero is reflected.
  EXPECT_DOUBLE_EQ(NoisyConductanceStep(0.01, 0.1, 0.1, 1.0, 0.01, 0.01, -10.0),
                   std::abs(0.01 + 0.01 * (0.1 - 0.01) / 0.01 - 10.0 * 0.1 * std::sqrt(2.0)));
}

TEST(ResetProtocols, MoveTheResetCurrentAsDescribed) {
  constexpr double dt = 1.0 / 8192.0;  // 128 Hz gives a period of exactly 64 steps, 1 ms is 8 steps
  const double h = 0.015;              // -(" du_Reset, muA/cm^2:" = -15)/1000
  struct Step {
    int nt, phase;
    double Vprev, V;
    double du, Vafter;
  };
  const struct {
    ResetProtocol protocol;
    std::vector<Step> steps;
  } cases[] = {
      {ResetProtocol::Nothing, {{1, 2, 0.0, 0.02, 0.0, 0.02}, {2, 0, 0.02, -0.02, 0.0, -0.02}}},
      {ResetProtocol::ResetVoltage,
       {{1, 2, 0.0, 0.02, 0.0, 0.02}, {2, 0, 0.02, -0.02, 0.0, -0.06}, {3, 0, -0.06, -0.03, 0.0, -0.03}}},
      {ResetProtocol::CurrentPulse,
       {{1, 0, 0.0, -0.03, 0.0, -0.03},  // not armed before a spike
        {2, 2, 0.0, 0.02, 0.0, 0.02},
        {3, 0, 0.02, -0.02, -h, -0.02},
        {4, 0, -0.02, -0.065, -h, -0.065},
        {5, 0, -0.065, -0.071, 0.0, -0.071},
        {6, 0, -0.071, -0.02, 0.0, -0.02}}},
      {ResetProtocol::Meanders,
       {{10, 0, -0.06, -0.06, 0.0, -0.06},  // the first period is free
        {64, 0, -0.06, -0.06, h, -0.06},
        {65, 0, -0.06, -0.08, h, -0.08},
        {72, 0, -0.08, -0.06, -h, -0.06},
        {73, 0, -0.06, -0.08, 0.0, -0.08}}},
      {ResetProtocol::MeandersExceptApexes,
       {{128, 0, -0.04, -0.02, h / 2, -0.02},  // half the step is spent above the spike start
        {129, 0, -0.02, 0.0, 0.0, 0.0}}},
  };
  for (const auto& c : cases) {
    Session s;
    TaskInputs inputs;
    ApplyProgramStart(s);
    s.run.dt = dt;
    s.resetInputs.Reset = c.protocol;
    s.prog.FC_freq = 128.0;
    s.criteria.StartLevel = -0.03;
    for (const Step& st : c.steps) {
      s.run.nt = st.nt;
      s.NV0.Vprev = st.Vprev;
      s.NV0.V = st.V;
      s.NV0.SpikePhase = st.phase;
      MeanderCurrent(s);
      ResetProtocolStep(s);
      EXPECT_NEAR(s.stim.du_Reset, st.du, 1e-15) << kResetProtocolNames[static_cast<int>(c.protocol)] << " at step " << st.nt;
      EXPECT_EQ(s.NV0.V, st.Vafter) << kResetProtocolNames[static_cast<int>(c.protocol)] << " at step " << st.nt;
    }
  }
}

class FiringClamp : public SweepFiles {
 protected:
  // A run writes its run log beside the recording, in the working folder.
  void SetUp() override {
    SweepFiles::SetUp();
    was_ = std::filesystem::current_path();
    std::filesystem::current_path(Path(""));
  }
  void TearDown() override {
    std::filesystem::current_path(was_);
    SweepFiles::TearDown();
  }
  std::filesystem::path was_;
};

TEST_F(FiringClamp, AdjustingUHoldsTheTargetRateOverTwoHundredSpikes) {
  Session s = ClampSession(2.5, 20.0);
  TaskInputs inputs;
  FiringClampInputs& in = inputs.firingClamp;
  in.Mode = 1;  // " Adjust  u"
  s.prog.FC_freq = 40.0;
  s.prog.FC_dFdu = 20000.0;  // Hz per mA/cm²: above the slope of this neuron's first intervals in u
  Recorder sink;
  BatchHost host;
  FiringClampFiles files;
  files.records = Path("map_u_s.dat");
  const FiringClampResult r = RunWithNoise(s, inputs.firingClamp, inputs.zInputs, host, sink, 200, files);
  ASSERT_EQ(r.nSpikes, 200);
  ASSERT_EQ(r.records.size(), 200u);
  // The last hundred intervals: the mean rate within 1.5 Hz of the target, each within 5 Hz.
  const double span = r.records[199].tLastSpike - r.records[99].tLastSpike;
  EXPECT_NEAR(100.0 / span, 40.0, 1.5);
  for (int k = 100; k < 200; ++k) {
    EXPECT_NEAR(1.0 / (r.records[k].tLastSpike - r.records[k - 1].tLastSpike), 40.0, 5.0) << "spike " << k;
  }
  // The clamp raised u: the rate of 2.5 µA/cm² alone is below target.
  EXPECT_GT(r.records[199].uu, 0.0025);
  EXPECT_EQ(r.records[199].ss, 0.0);  // s is left alone
  EXPECT_EQ(s.stim.uu, 0.0025);        // the input is restored
  EXPECT_EQ(Lines(Path("map_u_s.dat")).size(), 200u);
  EXPECT_EQ(Lines(Path("map_u_s.dat"))[0].size(), 7u * 8u + 6u);
}

TEST_F(FiringClamp, EveryProtocolKeepsTheRecordsOfItsSpikes) {
  for (ResetProtocol protocol : {ResetProtocol::None, ResetProtocol::ResetVoltage, ResetProtocol::CurrentPulse}) {
    Session s = ClampSession(5.0, 0.3);
    TaskInputs inputs;
    s.resetInputs.Reset = protocol;
    Recorder sink;
    BatchHost host;
    FiringClampFiles files;
    files.records.clear();
    const FiringClampResult r = RunWithNoise(s, inputs.firingClamp, inputs.zInputs, host, sink, 1000, files);
    EXPECT_GT(r.nSpikes, 5) << static_cast<int>(protocol);
    EXPECT_GE(static_cast<int>(r.records.size()), r.nSpikes - 1) << static_cast<int>(protocol);
  }
}

TEST_F(FiringClamp, AFirstRateAboveTargetLowersUByHalfTheErrorOverTheSlope) {
  Session s = ClampSession(5.0, 0.2);
  TaskInputs inputs;
  FiringClampInputs& in = inputs.firingClamp;
  in.Mode = 1;
  s.prog.FC_freq = 20.0;
  s.prog.FC_dFdu = 7000.0;
  in.DecayPeriods = 1e12;  // no decay between spikes
  Recorder sink;
  BatchHost host;
  FiringClampFiles files;
  files.records.clear();
  const FiringClampResult r = RunWithNoise(s, inputs.firingClamp, inputs.zInputs, host, sink, 2, files);
  ASSERT_EQ(r.nSpikes, 2);
  const double isi = r.records[1].tLastSpike - r.records[0].tLastSpike;
  // The second spike's record still holds the input before its correction; the last sample after it.
  EXPECT_NEAR(sink.samples.back().FC_Ua, (20.0 - 1.0 / isi) / 7000.0 / 2.0, 1e-4 / 7000.0);
}

TEST_F(FiringClamp, ASilentNeuronGetsItsFirstKickAfterOneAndAHalfTargetPeriods) {
  Session s = ClampSession(0.0, 0.2);
  TaskInputs inputs;
  inputs.firingClamp.Mode = 1;
  s.prog.FC_freq = 10.0;
  s.prog.FC_dFdu = 7000.0;
  Recorder sink;
  BatchHost host;
  FiringClampFiles files;
  files.records.clear();
  RunWithNoise(s, inputs.firingClamp, inputs.zInputs, host, sink, 100, files);
  ASSERT_FALSE(sink.surgeries.empty());
  EXPECT_GE(sink.surgeries[0], 0.15 - 1e-12);
  EXPECT_LE(sink.surgeries[0], 0.15 + 2 * s.run.dt);
}

TEST_F(FiringClamp, OutsideTheStimulusWindowTheInputIsTheClampsCorrectionOnly) {
  Session s = ClampSession(5.0, 0.1);
  TaskInputs inputs;
  s.stim.t_IindShift = 0.05;
  s.stim.t_Iind = 0.02;
  s.stim.ss = 0.1;
  s.prog.NoiseToSignal = 0.5;
  s.stim.tau_Noise = 0.003;
  Recorder sink;
  BatchHost host;
  FiringClampFiles files;
  files.records.clear();
  RunWithNoise(s, inputs.firingClamp, inputs.zInputs, host, sink, 100, files);
  int inside = 0;
  for (const FiringClampSample& x : sink.samples) {
    if (x.t < 0.05 || x.t > 0.07 + 1e-9) {
      ASSERT_EQ(x.gE, 0.0) << x.t;
      ASSERT_EQ(x.gI, 0.0) << x.t;
      ASSERT_EQ(x.uu, x.FC_Ua) << x.t;
      ASSERT_EQ(x.ss, x.FC_Sa) << x.t;
    } else if (x.t > 0.051) {
      ++inside;
      ASSERT_GT(x.gE, 0.0) << x.t;  // the mean's sign: gE0 = -u/Vus > 0
    }
  }
  EXPECT_GT(inside, 100);
}

TEST_F(FiringClamp, RefusesSettingsOutsideTheModelBeforeTheRun) {
  const struct {
    const char* name;
    int mode;
    double I0, Vus;
    bool refused;
  } cases[] = {
      {"s corrected with I0 = 0", 0, 0.0, -0.065, true},
      {"s alone corrected with I0 = 0", 2, 0.0, -0.065, true},
      {"u alone corrected with I0 = 0", 1, 0.0, -0.065, false},
      {"s corrected with I0", 0, 0.005, -0.065, false},
      {"Vus = 0", -1, 0.0, 0.0, true},
  };
  for (const auto& c : cases) {
    Session s = ClampSession(2.5, 0.01);
    TaskInputs inputs;
    s.stim.Vus = c.Vus;
    inputs.firingClamp.Mode = c.mode;
    s.prog.FC_freq = 40.0;
    s.prog.FC_dFdu = 7000.0;
    s.prog.FC_I0 = c.I0;
    Recorder sink;
    BatchHost host;
    FiringClampFiles files;
    files.records = Path("records.dat");
    if (c.refused) {
      EXPECT_THROW(RunWithNoise(s, inputs.firingClamp, inputs.zInputs, host, sink, 10, files), RangeError) << c.name;
      EXPECT_TRUE(sink.samples.empty()) << c.name;
    } else {
      EXPECT_NO_THROW(RunWithNoise(s, inputs.firingClamp, inputs.zInputs, host, sink, 10, files)) << c.name;
    }
  }
}

TEST_F(FiringClamp, TheVoltageReachesTheStatisticsOnlyWhileTheyAreShown) {
  for (bool shown : {false, true}) {
    Session s = ClampSession(5.0, 0.02);
    TaskInputs inputs;
    StatisticsSink window;
    Recorder sink;
    if (shown) sink.statistics = &window;
    BatchHost host;
    FiringClampFiles files;
    files.records.clear();
    RunWithNoise(s, inputs.firingClamp, inputs.zInputs, host, sink, 100, files);
    EXPECT_EQ(s.statistics.N, shown ? s.run.nt_end : 0) << shown;
  }
}

TEST_F(FiringClamp, WritesTheNoisyConductancesWhenWriting) {
  Session s = ClampSession(5.0, 0.01);
  TaskInputs inputs;
  s.run.Writing = 1;
  s.prog.NoiseToSignal = 0.2;
  Recorder sink;
  BatchHost host;
  FiringClampFiles files;
  files.records.clear();
  files.conductances = Path(kNoisyConductanceFile);
  RunWithNoise(s, inputs.firingClamp, inputs.zInputs, host, sink, 100, files);
  const std::vector<std::string> lines = Lines(files.conductances);
  ASSERT_EQ(static_cast<int>(lines.size()), s.run.nt_end);
  EXPECT_EQ(lines[0].size(), 29u);
  EXPECT_EQ(lines[0].substr(0, 9), Fixed(s.run.dt * 1000.0, 9, 3));
}

TEST_F(FiringClamp, TraceModesWriteEveryStepAndTheRunLogEveryNWriteSteps) {
  const struct {
    int mode;
    int fields;
  } cases[] = {{1, 2}, {2, 3}, {3, 3}, {4, 2}};
  std::vector<std::string> voltage;  // the V column of mode 1
  for (auto c : cases) {
    Session s = ClampSession(5.0, 0.01);
    TaskInputs inputs;
    s.run.Writing = 1;
    s.run.n_Write = 5;
    s.run.WriteMode = c.mode;
    s.trace.VarToWrite = "V";
    Recorder sink;
    BatchHost host;
    FiringClampFiles files;
    files.records.clear();
    files.trace = Path("trace.dat");
    RunWithNoise(s, inputs.firingClamp, inputs.zInputs, host, sink, 100, files);
    const std::vector<std::string> lines = Lines(files.trace);
    ASSERT_EQ(static_cast<int>(lines.size()), s.run.nt_end) << "mode " << c.mode;
    std::vector<std::string> column;
    for (const std::string& line : lines) {
      std::istringstream in(line);
      std::vector<std::string> f;
      for (std::string x; in >> x;) f.push_back(x);
      ASSERT_EQ(static_cast<int>(f.size()), c.fields) << "mode " << c.mode << ": " << line;
      ASSERT_EQ(line.size(), static_cast<std::size_t>(10 * c.fields - 1)) << line;  // 9:3 fields
      column.push_back(f[1]);
      if (c.mode == 2) {
        ASSERT_EQ(f[1], "0.000") << "no recording";
      }
      if (c.mode == 3) {
        ASSERT_GE(std::stod(f[1]), 0.0);
        ASSERT_LE(std::stod(f[2]), 1.0);
      }
    }
    if (c.mode == 1) voltage = column;
    if (c.mode == 4) {
      EXPECT_EQ(column, voltage) << "the output item V is the voltage of mode 1";
    }
    // The run log: one line every n_Write steps.
    const std::vector<std::string> log = Lines(RunLogFileName(s.rec.SmplFile[s.rec.Smpl]));
    EXPECT_EQ(static_cast<int>(log.size()), s.run.nt_end / 5) << "mode " << c.mode;
  }

  // A mode outside 1 ... 4 is refused before any file is made.
  Session s = ClampSession(5.0, 0.01);
  TaskInputs inputs;
  s.run.WriteMode = 5;
  Recorder sink;
  BatchHost host;
  FiringClampFiles files;
  files.trace = Path("refused.dat");
  EXPECT_THROW(RunWithNoise(s, inputs.firingClamp, inputs.zInputs, host, sink, 100, files), RangeError);
  EXPECT_FALSE(std::filesystem::exists(files.trace));
}

class ViewCounter final : public RunViewSink {
 public:
  void Prepare(const RunViewSetup&) override { ++prepared; }
  void Point(std::string_view series, double, double) override { voltage += series == " V "; }
  int prepared = 0, voltage = 0;
};

class AdaptationRecorder final : public FiringClampSink {
 public:
  RunViewSink* Views() override { return &views; }
  void Adaptation(double, double, double s_AdEx, double nM, double wAHP) override {
    ++samples;
    exactOk = exactOk && s_AdEx <= 0.0 && nM >= 0.0 && wAHP >= 0.0;
  }
  void AdaptationGates(double, double w, double n, double ws, double ns) override {
    ++gates;
    gatesOk = gatesOk && w > 0.0 && n > 0.0 && ws > 0.0 && ns > 0.0;
  }
  ViewCounter views;
  int samples = 0, gates = 0;
  bool exactOk = true, gatesOk = true;
};

TEST_F(FiringClamp, DrawsTheMainRunViewsAndTheAdaptationPlots) {
  Session s = ClampSession(5.0, 0.05);
  TaskInputs inputs;
  inputs.firingClamp.Mode = 4;  // " Nothing": the estimate runs, nothing is corrected
  s.run.n_Draw = 10;
  AdaptationRecorder sink;
  BatchHost host;
  FiringClampFiles files;
  files.records.clear();
  const FiringClampResult r = RunWithNoise(s, inputs.firingClamp, inputs.zInputs, host, sink, 100, files);
  ASSERT_GE(r.nSpikes, 2);
  EXPECT_EQ(sink.views.prepared, 1);
  EXPECT_EQ(sink.views.voltage, 1 + s.run.nt_end / 10);
  EXPECT_EQ(sink.samples, s.run.nt_end / 40);
  EXPECT_EQ(sink.gates, r.nSpikes);
  EXPECT_TRUE(sink.exactOk);
  EXPECT_TRUE(sink.gatesOk);
}

}  // namespace
}  // namespace membrix
