#include "analysis/fi_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "analysis/sweep_test_support.h"
#include "common/error.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "run/session.h"
#include "tasks/task_inputs.h"

namespace membrix {
namespace {

using testing::StopAfterPoints;
using testing::SweepFiles;

class PointRecorder final : public FISink {
 public:
  explicit PointRecorder(StopAfterPoints* host = nullptr, std::string watched = {})
      : host_(host), watched_(std::move(watched)) {}
  void Point(const FIPoint& p) override {
    points.push_back(p);
    if (host_ != nullptr) ++host_->points;
    if (!watched_.empty()) {
      std::ifstream in(watched_);
      linesOnDisk.push_back(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
    }
  }
  std::vector<FIPoint> points;
  std::vector<std::ptrdiff_t> linesOnDisk;  // the file's lines as each point arrives

 private:
  StopAfterPoints* host_;
  std::string watched_;
};

// The squid-axon model, with no input besides the injected current.
Session SquidSession(double t_end) {
  Session s;
  ApplyProgramStart(s);
  SelectModelFamily(s, "Rariza");
  s.stim.uu = s.stim.ss = 0.0;
  SetRunLength(s.run, t_end);
  return s;
}

TEST(FIRun, EstimatorsAndEarlyStops) {
  const struct {
    const char* name;
    FIEstimator estimator;
    double Iind, t_end;
    int maxSpikes;
    int spikes;        // expected count; -1: several
    bool endsEarly;    // before t_end
  } cases[] = {
      {"a silent neuron gives up after 0.2 s", FIEstimator::NumberOfSpikes, 0.0, 0.6, 10002, 0, true},
      {"the fifth spike's downstroke ends the run", FIEstimator::NumberOfSpikes, 300.0, 0.3, 5, 5, true},
      {"one spike has no last interval", FIEstimator::ReverseLastISI, 300.0, 0.3, 1, 1, true},
      {"the last interval of a train", FIEstimator::ReverseLastISI, 300.0, 0.1, 10002, -1, false},
      {"the last third of a train", FIEstimator::MeanForLastThird, 300.0, 0.3, 10002, -1, false},
  };
  for (const auto& c : cases) {
    Session s = SquidSession(c.t_end);
    TaskInputs inputs;
    FIInputs in;
    in.Estimator = c.estimator;
    in.MaxSpikes = c.maxSpikes;
    const double f = FIRunFrequency(s, in, c.Iind);
    const double length = (s.run.nt_end + 1.0) * s.run.dt;
    if (c.spikes >= 0) {
      EXPECT_EQ(s.spikes.nSpikes, c.spikes) << c.name;
    }
    EXPECT_EQ(s.run.t < c.t_end - s.run.dt, c.endsEarly) << c.name << ": t = " << s.run.t;
    switch (c.estimator) {
      case FIEstimator::NumberOfSpikes: EXPECT_DOUBLE_EQ(f, s.spikes.nSpikes / length) << c.name; break;
      case FIEstimator::ReverseLastISI:
        if (c.spikes == 1) {
          EXPECT_EQ(f, 0.0) << c.name;
        } else {
          EXPECT_DOUBLE_EQ(f, 1.0 / s.spikes.ISI[0]) << c.name;
        }
        break;
      case FIEstimator::MeanForLastThird: EXPECT_GT(f, 20.0) << c.name; break;
    }
  }
  Session silent = SquidSession(0.6);
  FIRunFrequency(silent, FIInputs{}, 0.0);
  EXPECT_GT(silent.run.t, 0.2);
  EXPECT_LT(silent.run.t, 0.2 + 1.5 * silent.run.dt);
}

TEST(FIRun, TheSquidAxonStartsRepetitiveFiringAbruptly) {
  // No arbitrarily low rates: below the onset nothing, above it tens of Hz.
  double previous = 0.0;
  bool onset = false;
  for (double Iind = 100.0; Iind <= 260.0; Iind += 20.0) {
    Session s = SquidSession(0.3);
    TaskInputs inputs;
    FIInputs in;
    in.Estimator = FIEstimator::ReverseLastISI;
    const double f = FIRunFrequency(s, in, Iind);
    if (!onset && f > 0.0) {
      onset = true;
      EXPECT_GT(f, 30.0) << "first rate at " << Iind << " pA";
      EXPECT_EQ(previous, 0.0);
    }
    previous = f;
  }
  EXPECT_TRUE(onset);
}

// A run of 100 s (two million steps, past the million the program once
// stopped at) gives the rate of the squid axon's tonic train, the rate of a
// 50 s run, not the zero of a last third cut off.
TEST(FIRun, ALongRunGivesTheRateOfItsWholeLength) {
  auto rate = [](double t_end) {
    Session s = SquidSession(t_end);
    FIInputs in;
    in.Estimator = FIEstimator::MeanForLastThird;
    const double f = FIRunFrequency(s, in, 300.0);
    EXPECT_EQ(s.run.nt, s.run.nt_end) << t_end << " s";
    return f;
  };
  const double half = rate(50.0);
  const double whole = rate(100.0);
  EXPECT_GT(half, 30.0);
  EXPECT_NEAR(whole, half, 0.02 * half);
}

class FISweep : public SweepFiles {};

TEST_F(FISweep, WritesOneLinePerCurrentOfTheGrid) {
  Session s = SquidSession(0.005);
  TaskInputs inputs;
  PointRecorder sink(nullptr, Path("v.dat"));
  BatchHost host;
  const RunsOutcome outcome = SweepFI(s, inputs.fi, inputs.fiber, host, sink, Path("v.dat"));
  const std::vector<std::string> lines = Lines(Path("v.dat"));
  ASSERT_EQ(lines.size(), 101u);
  EXPECT_EQ(outcome.delivered, 101);
  EXPECT_FALSE(outcome.stopped);
  EXPECT_EQ(lines.front().substr(0, 19), "    0.000   0.00000");
  EXPECT_EQ(lines.back().substr(0, 9), "  400.000");
  ASSERT_EQ(sink.points.size(), 101u);
  for (std::size_t k = 0; k < sink.points.size(); ++k) {
    EXPECT_EQ(sink.points[k].Iind, 4.0 * k);
    // Each line is on disk when its point is handed on: a killed job keeps it.
    EXPECT_EQ(sink.linesOnDisk[k], static_cast<std::ptrdiff_t>(k + 1));
  }
  EXPECT_EQ(FILine({4.0, 12.5, 3.0769}), "    4.000  12.50000     3.077");
}

TEST_F(FISweep, FilesAreIdenticalWithOneAndTwoWorkersWithAndWithoutNoise) {
  std::string noiseless;
  for (int noise : {0, 1}) {
    std::string files[2];
    for (int workers : {1, 2}) {
      Session s = SquidSession(0.1);
      TaskInputs inputs;
      s.parallel.workers = workers;
      inputs.fi.Iind_max = 400.0;
      inputs.fi.StepIind = 40.0;
      inputs.fi.IfNoise = noise;
      inputs.fi.Estimator = FIEstimator::ReverseLastISI;
      s.stim.tau_Noise = noise ? 0.002 : 0.0;
      PointRecorder sink;
      BatchHost host;
      SweepFI(s, inputs.fi, inputs.fiber, host, sink, Path("v.dat"));
      files[workers - 1] = Read(Path("v.dat"));
    }
    EXPECT_EQ(files[0], files[1]) << "noise " << noise;
    EXPECT_EQ(std::count(files[0].begin(), files[0].end(), '\n'), 11);
    if (noise == 0) noiseless = files[0];
  }
  Session s = SquidSession(0.1);
  TaskInputs inputs;
  inputs.fi.IfNoise = 1;
  inputs.fi.StepIind = 40.0;
  inputs.fi.Estimator = FIEstimator::ReverseLastISI;
  PointRecorder sink;
  BatchHost host;
  SweepFI(s, inputs.fi, inputs.fiber, host, sink, Path("v.dat"));
  EXPECT_NE(Read(Path("v.dat")), noiseless) << "the noise reaches the runs";
}

TEST_F(FISweep, LeavesTheCallersGlobalsAsTheyWereAlsoWhenStopped) {
  Session s = SquidSession(0.05);
  TaskInputs inputs;
  s.parallel.workers = 1;
  s.stim.Iind = 123.0;
  s.stim.t_Iind = 0.05;
  s.NP0.If_I_V_or_g = 1;
  StopAfterPoints host(3);
  PointRecorder sink(&host);
  const RunsOutcome outcome = SweepFI(s, inputs.fi, inputs.fiber, host, sink, Path("v.dat"));
  EXPECT_TRUE(outcome.stopped);
  EXPECT_GE(outcome.delivered, 3);
  EXPECT_LT(outcome.delivered, 101);
  EXPECT_EQ(Lines(Path("v.dat")).size(), static_cast<std::size_t>(outcome.delivered));
  EXPECT_EQ(s.stim.Iind, 123.0);
  EXPECT_EQ(s.stim.t_Iind, 0.05);
  EXPECT_EQ(s.NP0.If_I_V_or_g, 1);
}

TEST_F(FISweep, RefusesAGridWithoutStepsAndAnImpossibleFiber) {
  Session s = SquidSession(0.01);
  TaskInputs inputs;
  PointRecorder sink;
  BatchHost host;
  inputs.fi.StepIind = 0.0;
  EXPECT_THROW(SweepFI(s, inputs.fi, inputs.fiber, host, sink, Path("v.dat")), RangeError);
  inputs.fi.StepIind = 4.0;
  inputs.fi.IfDistributedModel = 1;
  inputs.fiber.N = 501;
  EXPECT_THROW(SweepFI(s, inputs.fi, inputs.fiber, host, sink, Path("v.dat")), RangeError);
  EXPECT_FALSE(std::filesystem::exists(Path("v.dat")));
  inputs.fi.IfDistributedModel = 0;
  EXPECT_THROW(SweepFI(s, inputs.fi, inputs.fiber, host, sink, Path("no-such-folder/v.dat")), IoError);
}

}  // namespace
}  // namespace membrix
