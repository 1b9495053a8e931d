#include "fiber/fiber_sweeps.h"

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

class FiberSweeps : public SweepFiles {
 protected:
  // The squid-axon membrane on a short axon of ten segments.
  static Session SquidFiberSession() {
    Session s;
    TaskInputs inputs;
    ApplyProgramStart(s);
    SelectModelFamily(s, "Rariza");
    s.stim.uu = s.stim.ss = s.stim.s_soma = 0.0;
    inputs.fiber.N = 10;
    inputs.fiber.NaDistribution = 2;  // homogeneous
    return s;
  }
};

class FIPoints final : public FISink {
 public:
  void Point(const FIPoint& p) override { points.push_back(p); }
  std::vector<FIPoint> points;
};

class MapPoints final : public USMapSink {
 public:
  void Point(const USMapPoint& p) override { points.push_back(p); }
  std::vector<USMapPoint> points;
};

TEST_F(FiberSweeps, FICurveOfTheFiberIsTheSameForOneAndTwoWorkers) {
  std::string files[2];
  for (int workers : {1, 2}) {
    Session s = SquidFiberSession();
    TaskInputs inputs;
    SetRunLength(s.run, 0.06);
    inputs.fi.Iind_max = 800.0;
    inputs.fi.StepIind = 400.0;
    inputs.fi.Estimator = FIEstimator::NumberOfSpikes;
    s.parallel.workers = workers;
    BatchHost host;
    FIPoints sink;
    const std::string path = Path("v" + std::to_string(workers) + ".dat");
    const RunsOutcome outcome = SweepFIDistributed(s, inputs.fi, inputs.fiber, host, sink, path);
    EXPECT_EQ(outcome.delivered, 3);
    EXPECT_EQ(inputs.fi.IfDistributedModel, 0) << "the flag is put back";
    ASSERT_EQ(sink.points.size(), 3u);
    EXPECT_EQ(sink.points[0].f, 0.0) << "no current, no spikes";
    EXPECT_GT(sink.points[2].f, 0.0);
    EXPECT_GE(sink.points[2].f, sink.points[1].f);
    files[workers - 1] = Read(path);
  }
  EXPECT_EQ(files[0], files[1]);
  EXPECT_EQ(Lines(Path("v1.dat")).size(), 3u);
}

TEST_F(FiberSweeps, MapOfTheFiberHasWiderFieldsAndReadsBack) {
  std::string files[2];
  for (int workers : {1, 2}) {
    Session s = SquidFiberSession();
    TaskInputs inputs;
    inputs.usMap.nue = 2;
    inputs.usMap.nse = 2;
    inputs.usMap.u_max = 100.0;
    inputs.usMap.s_max = 0.5;
    inputs.usMap.t_end = 60.0;
    s.parallel.workers = workers;
    BatchHost host;
    MapPoints sink;
    const std::string path = Path("map" + std::to_string(workers) + ".dat");
    EXPECT_EQ(MapUSDistributed(s, inputs.usMap, inputs.fiber, host, sink, path).delivered, 9);
    EXPECT_EQ(inputs.usMap.IfDistributedModel, 0);
    EXPECT_EQ(sink.points.front().Freq, 0.0);
    files[workers - 1] = Read(path);
  }
  EXPECT_EQ(files[0], files[1]);
  const auto lines = Lines(Path("map1.dat"));
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[1], "I=  3 ,J=  3 ,K=1,F=POINT");
  // Sixteen fields: u 7.3, s 9.5, Freq 9.5, ...
  std::istringstream fields(lines[2]);
  int count = 0;
  for (std::string f; fields >> f;) ++count;
  EXPECT_EQ(count, 16);
  EXPECT_EQ(lines[2].substr(0, 17), "  0.000   0.00000");
  const USMapData map = ReadUSMap(Path("map1.dat"), 0, 0);
  EXPECT_EQ(map.nue, 2);
  EXPECT_NEAR(map.u[map.At(2, 0)], 0.1, 1e-12);  // mA/cm²
}

TEST_F(FiberSweeps, RefusedBeforeAnythingIsWritten) {
  Session s = SquidFiberSession();
  TaskInputs inputs;
  BatchHost host;
  MapPoints sink;
  inputs.usMap.IfDistributedModel = 1;
  EXPECT_THROW(MapUS(s, inputs.usMap, inputs.fiber, host, sink, MapGrid::GEGI, Path("ge.dat")),
               RangeError) << "(gE, gI) grid";
  inputs.usMap.IfDistributedModel = 0;
  inputs.fiber.L = 0.0;
  EXPECT_THROW(MapUSDistributed(s, inputs.usMap, inputs.fiber, host, sink, Path("l.dat")), RangeError);
  EXPECT_FALSE(std::filesystem::exists(Path("l.dat")));
}

}  // namespace
}  // namespace membrix
