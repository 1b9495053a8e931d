#include "analysis/adaptation_sweep.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/sweep_test_support.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "run/session.h"
#include "tasks/task_inputs.h"

namespace membrix {
namespace {

using testing::SweepFiles;

class Points final : public AdaptationSink {
 public:
  void Point(const AdaptationPoint& p) override { points.push_back(p); }
  std::vector<AdaptationPoint> points;
};

Session SquidSession(double t_end) {
  Session s;
  ApplyProgramStart(s);
  SelectModelFamily(s, "Rariza");
  s.stim.uu = s.stim.ss = 0.0;
  SetRunLength(s.run, t_end);
  return s;
}

TEST(AdaptationRun, IntervalsThatDidNotOccurPrintAsZero) {
  // Where the third and the fourth spike fall at 200 pA.
  Session train = SquidSession(0.3);
  AdaptationRun(train, 200.0);
  const auto& isi = train.spikes.ISI;
  const double t3 = isi[1] + isi[2] + isi[3];
  const double t4 = t3 + isi[4];
  ASSERT_GT(isi[4], 0.0);

  Session s = SquidSession(0.5 * (t3 + t4));  // ends between them: three spikes
  const AdaptationPoint p = AdaptationRun(s, 200.0);
  EXPECT_EQ(s.spikes.nSpikes, 3);
  EXPECT_DOUBLE_EQ(p.rate[0], 1.0 / isi[2]);
  EXPECT_DOUBLE_EQ(p.rate[1], 1.0 / isi[3]);
  for (int k = 2; k < 5; ++k) EXPECT_EQ(p.rate[k], 1e-6);
  const std::string line = AdaptationLine(p);
  EXPECT_EQ(line.substr(0, 9), "  200.000");
  EXPECT_EQ(line.substr(29), "   0.00000   0.00000   0.00000");
}

class AdaptationSweep : public SweepFiles {};

TEST_F(AdaptationSweep, OneLinePerCurrentIdenticalForOneAndTwoWorkers) {
  std::string files[2];
  for (int workers : {1, 2}) {
    Session s = SquidSession(0.1);
    TaskInputs inputs;
    s.parallel.workers = workers;
    inputs.adaptation.Iind_max = 400.0;
    inputs.adaptation.StepIind = 40.0;
    s.stim.Iind = 55.0;
    Points sink;
    BatchHost host;
    const RunsOutcome outcome = SweepAdaptation(s, inputs.adaptation, host, sink, Path("a.dat"));
    EXPECT_EQ(outcome.delivered, 11);
    ASSERT_EQ(sink.points.size(), 11u);
    EXPECT_EQ(sink.points.back().Iind, 400.0);
    EXPECT_GT(sink.points.back().rate[0], 20.0) << "400 pA makes the squid axon fire";
    EXPECT_EQ(s.stim.Iind, 55.0);
    files[workers - 1] = Read(Path("a.dat"));
  }
  EXPECT_EQ(files[0], files[1]);
  EXPECT_EQ(std::count(files[0].begin(), files[0].end(), '\n'), 11);
}

}  // namespace
}  // namespace membrix
