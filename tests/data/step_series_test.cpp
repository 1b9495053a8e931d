#include "data/step_series.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/error.h"
#include "data/ramp_analyzer.h"
#include "neuron/neuron_test_support.h"
#include "run/session.h"
#include "tasks/task_inputs.h"

namespace membrix {
namespace {

namespace fs = std::filesystem;

TEST(StepProtocol, WritesTheTwelveCornersOfTheCommand) {
  StepSeriesInputs in;
  EXPECT_EQ(StepProtocolText(in, -60.0),
            "0\t\t-65\n"
            "15.5   -65\n"
            "15.6 \t 30.0\n"
            "215.5\t   30.0\n"
            "215.6\t\t-65\n"
            "265.6\t\t-65\n"
            "265.7\t -60.0\n"
            "275.6 \t -60.0\n"
            "275.7\t -45.0\n"
            "310.6 \t -45.0\n"
            "310.7     -65\n"
            "500\t\t-65\n");
  // One test step: the corners of the second step repeat the test step's start
  // and the step holds V to the end.
  in.IfDoubleSteps = false;
  std::istringstream lines(StepProtocolText(in, 5.0));
  std::vector<std::string> l;
  for (std::string line; std::getline(lines, line);) l.push_back(line);
  ASSERT_EQ(l.size(), 12u);
  EXPECT_EQ(l[7], "265.7 \t   5.0");
  EXPECT_EQ(l[8], "265.7\t  20.0");
  EXPECT_EQ(l[9], "310.6 \t   5.0");
}

TEST(StepProtocol, TestVoltagesSpanVminToVmax) {
  StepSeriesInputs in;
  EXPECT_EQ(TestVoltage(in, 0, 0), -60.0);
  const double expected[] = {-60.0, -20.0, 20.0};
  for (int j = 0; j <= 2; ++j) EXPECT_DOUBLE_EQ(TestVoltage(in, j, 2), expected[j]) << "step " << j;
}

class StepSeriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    dir_ = fs::temp_directory_path() /
           ("membrix_steps_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::create_directories(dir_);
    s_ = std::make_unique<Session>();
    ramp_ = std::make_unique<TRamp>();
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::vector<std::vector<double>> ResultRows() const {
    std::ifstream in(dir_ / kStepResultFile);
    std::vector<std::vector<double>> rows;
    for (std::string line; std::getline(in, line);) {
      std::istringstream fields(line);
      std::vector<double> row;
      for (double x; fields >> x;) row.push_back(x);
      rows.push_back(row);
    }
    return rows;
  }

  struct Points : StepSeriesSink {
    void Point(double V, const StepMinima& m, bool) override { got.push_back({V, m.Imin, m.Imin2}); }
    std::vector<std::vector<double>> got;
  };

  fs::path dir_;
  std::unique_ptr<Session> s_;
  TaskInputs inputs_;
  std::unique_ptr<TRamp> ramp_;
  BatchHost host_;
  NullRunViewSink views_;
  RampSink rampSink_;
  Points points_;
};

// Held at -120 mV, the passive membrane stepped to V below its leak reversal
// carries the inward leak current gL (V - VL) once the step is reached: the
// capacitive current of the upward corners is outward.
void PassiveSeries(Session& s, StepSeriesInputs& in) {
  s.NP0 = testing::PassiveRecord();
  s.NP0.IfSet_VL_or_Vrest = 3;
  s.NP0.VL = -0.060;
  s.stim.uu = s.stim.ss = s.stim.Iind = 0.0;
  SetRunLength(s.run, 0.035);
  in = {};
  in.NSteps = 2;
  in.Vmin = -100;
  in.Vmax = -80;
  in.V0 = -120;
  in.V_DepStep = -110;
  in.t1 = 2;
  in.d1 = 5;
  in.t2 = 15;
  in.d2 = 5;
  in.t3 = 30;
  in.dV = 10;
}

TEST_F(StepSeriesTest, ModelSeriesFindsTheLeakCurrentOfAPassiveMembrane) {
  Session& s = *s_;
  StepSeriesInputs& in = inputs_.steps;
  PassiveSeries(s, in);

  const StepSeriesResult r =
      RunSteps(s, inputs_.steps, inputs_.ramp, inputs_.fiber, host_, *ramp_, points_, views_, rampSink_, dir_.string());
  EXPECT_EQ(r.steps, 3);
  EXPECT_EQ(s.NP0.If_I_V_or_g, 5);
  EXPECT_EQ(s.rec.Smpl, kStepRecording);
  EXPECT_EQ(s.rec.SmplFile[kStepRecording], (dir_ / kStepProtocolFile).string());
  EXPECT_EQ(in.CurrentLevel, -80.0);

  const double pAperMV = s.NP0.gL * s.NP0.Square * 1e9 / 1000.0;  // leak pA per mV
  const std::vector<std::vector<double>> rows = ResultRows();
  ASSERT_EQ(rows.size(), 3u);
  ASSERT_EQ(points_.got.size(), 3u);
  for (int j = 0; j < 3; ++j) {
    const double V = -100.0 + 10.0 * j;
    const double Imin = pAperMV * (V + 60.0), Imin2 = pAperMV * (V + 10.0 + 60.0);
    EXPECT_NEAR(points_.got[j][1], Imin, 1e-3 * std::abs(Imin)) << "V = " << V;
    EXPECT_NEAR(points_.got[j][2], Imin2, 1e-3 * std::abs(Imin2)) << "V = " << V;
    ASSERT_EQ(rows[j].size(), 3u);
    EXPECT_NEAR(rows[j][0], V, 1e-9);
    EXPECT_NEAR(rows[j][1], Imin / 1000.0, 0.0011);
    EXPECT_NEAR(rows[j][2], Imin2 / 1000.0, 0.0011);
  }
}

// The protocol is the series' own file: recording settings chosen for the
// user's recordings (negated values, one column, another time scale) neither
// change what the model follows nor are lost.
TEST_F(StepSeriesTest, TheProtocolIsReadAsWrittenWhateverTheRecordingSettings) {
  auto minima = [this](int format, int oneColumn, double scale) {
    Session s;
    PassiveSeries(s, inputs_.steps);
    s.rec.DataFormat = format;
    s.rec.IfDataIn1column = oneColumn;
    s.rec.scx_Smpl = scale;
    points_.got.clear();
    RunSteps(s, inputs_.steps, inputs_.ramp, inputs_.fiber, host_, *ramp_, points_, views_, rampSink_, dir_.string());
    EXPECT_EQ(s.rec.DataFormat, format);
    EXPECT_EQ(s.rec.IfDataIn1column, oneColumn);
    EXPECT_EQ(s.rec.scx_Smpl, scale);
    return points_.got;
  };
  const auto plain = minima(0, 0, 0.001);
  ASSERT_EQ(plain.size(), 3u);
  EXPECT_LT(plain[0][1], 0.0);
  const struct {
    int format, oneColumn;
    double scale;
  } settings[] = {{2, 0, 0.001}, {1, 0, 1.0}, {0, 1, 0.001}};
  for (const auto& c : settings) {
    EXPECT_EQ(minima(c.format, c.oneColumn, c.scale), plain) << c.format << " " << c.oneColumn << " " << c.scale;
  }
}

// The soma of the distributed model follows the protocol: a passive axon adds
// its own inward leak to the soma's, so every minimum is below the single
// compartment's.
TEST_F(StepSeriesTest, TheDistributedModelFollowsTheSteps) {
  Session s;
  PassiveSeries(s, inputs_.steps);
  inputs_.steps.NSteps = 1;
  RunSteps(s, inputs_.steps, inputs_.ramp, inputs_.fiber, host_, *ramp_, points_, views_, rampSink_, dir_.string());
  const auto single = points_.got;

  Session f;
  PassiveSeries(f, inputs_.steps);
  inputs_.steps.NSteps = 1;
  inputs_.steps.DataSource = 1;
  inputs_.fiber.N = 4;
  inputs_.fiber.Stimulation = FiberStimulation::EndSteps;  // the series drives the soma itself
  points_.got.clear();
  const StepSeriesResult r =
      RunSteps(f, inputs_.steps, inputs_.ramp, inputs_.fiber, host_, *ramp_, points_, views_, rampSink_, dir_.string());
  EXPECT_EQ(r.steps, 2);
  ASSERT_EQ(points_.got.size(), 2u);
  ASSERT_EQ(single.size(), 2u);
  for (std::size_t j = 0; j < 2; ++j) {
    EXPECT_LT(points_.got[j][1], single[j][1]) << j;
    EXPECT_GT(points_.got[j][1], 100.0 * single[j][1]) << j;  // the soma's clamp current, not a runaway
  }
}

// Sweeps of the analyzer: current -1000 pA in the first test step, -2000 pA in
// the second, and exactly at t2 + d2 a sample of -5000 pA that counts for
// neither; the second sweep never goes below 0.
TEST_F(StepSeriesTest, AnalyzerSweepsGiveTheMinimaOfEachStep) {
  TRamp& r = *ramp_;
  r.Loaded = 1;
  r.NSweeps = 2;
  r.NLast = 400;
  for (int k = 0; k <= r.NLast; ++k) {
    r.t[k] = k * 1.0;
    const double t = r.t[k];
    r.I(k, 1) = t == 275.6 ? -5000.0 : (t > 265.6 && t < 275.6) ? -1000.0 : (t > 275.6 && t < 310.6) ? -2000.0 : 0;
    r.I(k, 2) = 50.0;
  }
  r.t[276] = 275.6;  // the sample at t2 + d2
  r.I(276, 1) = -5000.0;
  inputs_.steps.DataSource = 2;
  inputs_.steps.NSteps = 4;
  s_->rec.Smpl = 3;
  const StepSeriesResult result =
      RunSteps(*s_, inputs_.steps, inputs_.ramp, inputs_.fiber, host_, r, points_, views_, rampSink_, dir_.string());
  EXPECT_EQ(result.steps, 2);  // two sweeps for five test voltages
  EXPECT_NE(result.note.find("from 3 on"), std::string::npos) << result.note;
  EXPECT_EQ(s_->rec.Smpl, 3);
  ASSERT_EQ(points_.got.size(), 2u);
  EXPECT_EQ(points_.got[0][1], -1000.0);
  EXPECT_EQ(points_.got[0][2], -2000.0);
  EXPECT_EQ(points_.got[1][1], 0.0);
  EXPECT_EQ(points_.got[1][2], 0.0);

  inputs_.steps.IfDoubleSteps = false;
  points_.got.clear();
  RunSteps(*s_, inputs_.steps, inputs_.ramp, inputs_.fiber, host_, r, points_, views_, rampSink_, dir_.string());
  EXPECT_EQ(points_.got[0][1], -5000.0);  // the whole window counts
  EXPECT_EQ(points_.got[0][2], 0.0);
  EXPECT_EQ(ResultRows()[0][2], 0.0);
}

TEST_F(StepSeriesTest, RefusesSourcesItCannotMeasure) {
  auto refused = [this] {
    EXPECT_THROW(RunSteps(*s_, inputs_.steps, inputs_.ramp, inputs_.fiber, host_, *ramp_, points_, views_, rampSink_,
                          dir_.string()),
                 Error);
  };
  inputs_.steps.DataSource = 2;  // the analyzer holds no sweeps
  refused();
  inputs_.steps.DataSource = 1;  // an axon without segments
  inputs_.fiber.N = 0;
  refused();
  EXPECT_FALSE(fs::exists(dir_ / kStepResultFile));
}

}  // namespace
}  // namespace membrix
