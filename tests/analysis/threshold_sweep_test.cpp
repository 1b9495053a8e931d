#include "analysis/threshold_sweep.h"

#include <gtest/gtest.h>

#include <sstream>
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

using testing::SweepFiles;

class Results final : public ThresholdSink {
 public:
  void Current(const ThresholdResult& r) override { results.push_back(r); }
  std::vector<ThresholdResult> results;
};

Session SquidSession() {
  Session s;
  ApplyProgramStart(s);
  SelectModelFamily(s, "Rariza");
  return s;
}

// Two currents, 100 and 200 pA.
TaskInputs TwoCurrents() {
  TaskInputs inputs;
  inputs.threshold.Iind_max = 200.0;
  inputs.threshold.StepIind = 100.0;
  return inputs;
}

class ThresholdSweepTest : public SweepFiles {};

TEST_F(ThresholdSweepTest, StartsAtOneStepAndLeavesTheRunSettingsOfTheSweep) {
  Session s = SquidSession();
  TaskInputs inputs = TwoCurrents();
  s.stim.Iind = 77.0;
  s.stim.uu = 0.004;
  s.stim.ss = 0.1;
  inputs.threshold.s = 0.0;
  Results sink;
  BatchHost host;
  ThresholdSweep(s, inputs.threshold, inputs.fi.IfNoise == 1, host, sink, Path("th.dat"), Path("vlin.dat"));
  ASSERT_EQ(sink.results.size(), 2u);
  EXPECT_EQ(sink.results[0].Iind, 100.0);
  EXPECT_EQ(sink.results[1].Iind, 200.0);
  const std::vector<std::string> lines = Lines(Path("th.dat"));
  ASSERT_EQ(lines.size(), 2u);
  double column[7];
  std::istringstream(lines[1]) >> column[0] >> column[1] >> column[2] >> column[3] >> column[4] >> column[5] >>
      column[6];
  EXPECT_EQ(column[2], 200.0);

  // 100 pA: one spike within 400 ms, so no refractory threshold and no rate.
  const ThresholdResult& weak = sink.results[0];
  EXPECT_EQ(weak.spikes, 1);
  EXPECT_EQ(weak.ThR, 0.0);
  EXPECT_EQ(weak.t2, 0.0);
  EXPECT_EQ(lines[0].substr(lines[0].size() - 23), "  0.000000000000000E+00");
  // 200 pA: two spikes, both thresholds above rest, and the rate of column 7.
  const ThresholdResult& strong = sink.results[1];
  EXPECT_EQ(strong.spikes, 2);
  EXPECT_GT(strong.Th0, 0.0);
  EXPECT_GT(strong.ThR, 0.0);
  EXPECT_NEAR(column[6], 1.0 / strong.t2, 1e-9 / strong.t2);
  EXPECT_NEAR(column[1], strong.t2 * 1000.0, 0.02) << "the interpolated second spike on the restarted clock";

  EXPECT_DOUBLE_EQ(s.run.dt, 1.5e-5);
  EXPECT_DOUBLE_EQ(s.run.t_end, 0.4);
  EXPECT_EQ(s.run.nt_end, 26666);
  EXPECT_EQ(s.stim.Iind, 77.0);
  EXPECT_EQ(s.stim.uu, 0.004);
  EXPECT_EQ(s.stim.ss, 0.1);
  EXPECT_EQ(s.NP0.ThrModel, 0);
  EXPECT_FALSE(std::ifstream(Path("vlin.dat")).good()) << "V_Vlin(t).dat only with Writing";
}

TEST_F(ThresholdSweepTest, FilesRepeatAndDoNotDependOnTheWorkers) {
  for (int noise : {0, 1}) {
    std::string files[2];
    for (int workers : {1, 2}) {
      Session s = SquidSession();
      TaskInputs inputs = TwoCurrents();
      s.parallel.workers = workers;
      inputs.fi.IfNoise = noise;
      inputs.threshold.sgm = 2.0;
      s.run.Writing = 1;
      Results sink;
      BatchHost host;
      ThresholdSweep(s, inputs.threshold, inputs.fi.IfNoise == 1, host, sink, Path("th.dat"), Path("vlin.dat"));
      files[workers - 1] = Read(Path("th.dat")) + Read(Path("vlin.dat"));
    }
    EXPECT_EQ(files[0], files[1]) << "noise " << noise;
    EXPECT_GT(std::count(files[0].begin(), files[0].end(), '\n'), 26666 / 2) << "V_Vlin(t).dat every second step";
  }
}

// With error control the full model's spikes are those of its fixed step as
// dt -> 0 (the threshold neuron keeps its own step): the second spike, on the
// clock the sweep restarts at the first, lands where the extrapolated fixed
// step puts it. The sweep's noise is refused.
TEST_F(ThresholdSweepTest, TheFullModelMayBeIntegratedWithErrorControl) {
  const ThresholdInputs in = [] {
    ThresholdInputs t = TwoCurrents().threshold;
    t.s = 0.0;
    return t;
  }();
  const auto runAt = [&in](double dt, IntegratorKind kind, bool noise = false) {
    Session s = SquidSession();
    s.NP0.IfSet_VL_or_Vrest = 2;  // the same rest whatever the step
    s.NP0.ThrShift = 0.1;
    s.NP0.Vreset = -0.04;
    s.stim.t_Iind = 2.0;
    SetTimeStep(s.run, dt);
    SetRunLength(s.run, 0.4);
    s.run.integrator = {kind, 1e-8, 1e-8};
    return ThresholdRun(s, in, noise, 200.0, nullptr);
  };
  const ThresholdResult fine = runAt(2e-6, IntegratorKind::FixedStep);
  const ThresholdResult finer = runAt(1e-6, IntegratorKind::FixedStep);
  const ThresholdResult located = runAt(1.5e-5, IntegratorKind::Cvode);
  ASSERT_EQ(fine.spikes, 2);
  ASSERT_EQ(finer.spikes, 2);
  ASSERT_EQ(located.spikes, 2);
  const auto second = [](const ThresholdResult& r) { return r.t1 + r.tLastSpike; };
  EXPECT_NEAR(second(located), 2.0 * second(finer) - second(fine), 5e-6);
  EXPECT_GT(located.Th0, 0.0);
  EXPECT_GT(located.ThR, 0.0);
  EXPECT_THROW(runAt(1.5e-5, IntegratorKind::Cvode, true), Error);
}

}  // namespace
}  // namespace membrix
