#include "population/ensemble.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/sweep_test_support.h"
#include "common/error.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "population/rate_histogram.h"
#include "run/session.h"
#include "population/network.h"

namespace membrix {
namespace {

// A session with the population inputs kept beside it, as the workbench
// keeps them.
struct EnsembleSession : Session {
  EnsembleInputs ensemble;
  SynapseInputs synapse;
};


using testing::SweepFiles;

EnsembleSession SquidSession() {
  EnsembleSession s;
  ApplyProgramStart(s);
  SelectModelFamily(s, "Rariza");
  s.stim.uu = s.stim.ss = 0.0;
  EnsembleInputs& in = s.ensemble;
  in.dt = 0.05;
  in.t_end = 40.0;
  in.Nrate = 80;
  in.MeshGauss = 3;
  in.Iind = 300.0;
  return s;
}

TEST(RateHistogram, NearestBinWithHalvesToTheEvenNeighbour) {
  // Bins of a quarter second, so that the halves are exact.
  const RateHistogram ro(1.0, 4, 1);
  const struct { double t; int bin; } cases[] = {{0.0, 0},   {0.125, 0}, {0.126, 1}, {0.375, 2}, {0.625, 2},
                                                 {0.874, 3}, {0.875, 4}, {1.0, 4},   {-0.2, -1}, {1.2, -1}};
  for (auto c : cases) EXPECT_EQ(ro.BinOf(c.t), c.bin) << "t = " << c.t;

  // 240 bins over 120 ms: 0.5 ms wide, the end bins a quarter millisecond.
  RateHistogram fine(0.12, 240, 4);
  EXPECT_NEAR(fine.Delta(), 0.0005, 1e-15);
  EXPECT_EQ(fine.BinOf(0.0002), 0);
  EXPECT_EQ(fine.BinOf(0.0003), 1);
  EXPECT_EQ(fine.BinOf(0.1197), 239);
  EXPECT_EQ(fine.BinOf(0.1198), 240);
  fine.AddSpike(0.1199);
  EXPECT_DOUBLE_EQ(fine.ro()[240], 1.0 / (4 * 0.0005)) << "a spike weighs 1/(M·Δ)";
  EXPECT_EQ(fine.ro().size(), 241u);
}

TEST(RateHistogram, RefusesMeshesOutsideItsCapacity) {
  for (int Nrate : {0, -3, 1001}) EXPECT_THROW(RateHistogram(0.12, Nrate, 10), RangeError) << Nrate;
  EXPECT_NO_THROW(RateHistogram(0.12, 1000, 10));
  EXPECT_THROW(RateHistogram(0.0, 240, 10), RangeError);
}

TEST(RateHistogram, CountedOverFewerMembersEachSpikeWeighsMore) {
  RateHistogram ro(1.0, 4, 10);
  ro.AddSpike(0.5);
  ro.AddSpike(0.5);
  ro.CountOnly(4);
  EXPECT_EQ(ro.members(), 4);
  EXPECT_NEAR(ro.ro()[2], 2.0 / (4 * 0.25), 1e-12) << "two spikes of four members";
  ro.AddSpike(1.0);
  EXPECT_NEAR(ro.ro()[4], 1.0 / (4 * 0.25), 1e-12) << "later spikes weigh as the members done";
  for (std::int64_t done : {0, -1, 5}) EXPECT_THROW(ro.CountOnly(done), RangeError) << done;
}

TEST(RateHistogram, LinesInMillisecondsAndHertz) {
  EXPECT_EQ(RateLine(0.5, 2000.0), "    0.500 2000.00000");
  EXPECT_EQ(RateLine(120.0, 0.0), "  120.000   0.00000");
}

class Ensemble : public SweepFiles {};

// Without dispersion every member repeats the one deterministic trajectory: the
// rate is 1/Δ in each bin where it fired, for either kind of ensemble.
TEST_F(Ensemble, NoDispersionGivesTheSingleNeuronsSpikeBins) {
  EnsembleSession single = SquidSession();
  single.ensemble.sgm_V = 0.0;
  ApplyEnsembleProblem(single, single.ensemble);
  EnsembleMember one = GaussianThresholdMember(single, single.ensemble, false, nullptr);
  ASSERT_GE(one.spikes.size(), 2u) << "300 pA makes the squid axon fire";
  RateHistogram expected(0.04, 80, 1);
  for (double t : one.spikes) expected.AddSpike(t);

  for (bool noise : {false, true}) {
    EnsembleSession s = SquidSession();
    s.ensemble.sgm_V = 0.0;
    BatchHost host;
    EnsembleSink sink;
    const EnsembleResult r = noise ? RunNoiseEnsemble(s, s.ensemble, host, sink, EnsembleModel::ConductanceBased,
                                                      Path(""))
                                   : RunGaussianThresholds(s, s.ensemble, host, sink, EnsembleModel::ConductanceBased,
                                                           Path(""));
    ASSERT_EQ(r.ro.ro().size(), expected.ro().size());
    for (std::size_t k = 0; k < expected.ro().size(); ++k) {
      EXPECT_NEAR(r.ro.ro()[k], expected.ro()[k], 1e-9) << (noise ? "noise" : "thresholds") << ", bin " << k;
    }
    EXPECT_NEAR(r.ro.Peak(), 1.0 / 0.0005, 1e-6);
    const auto lines = Lines(r.file);
    ASSERT_EQ(lines.size(), 81u);
    EXPECT_EQ(lines.front().substr(0, 9), "    0.000");
    EXPECT_EQ(lines.back().substr(0, 9), "   40.000");
    if (noise) {
      EXPECT_DOUBLE_EQ(r.sigmaV, 0.0);
    }
  }
}

TEST_F(Ensemble, FilesIdenticalForOneAndTwoWorkers) {
  for (bool noise : {false, true}) {
    std::string rate[2], curve[2];
    double sigmaV[2] = {0, 0};
    for (int workers : {1, 2}) {
      EnsembleSession s = SquidSession();
      s.parallel.workers = workers;
      s.ensemble.MeshGauss = 9;
      s.ensemble.t_end = 25.0;
      s.ensemble.ThrRenewal = true;
      s.ensemble.tMeasure = 20.0;
      BatchHost host;
      EnsembleSink sink;
      const EnsembleResult r = noise ? RunNoiseEnsemble(s, s.ensemble, host, sink, EnsembleModel::ConductanceBased,
                                                        Path(""))
                                     : RunGaussianThresholds(s, s.ensemble, host, sink,
                                                             EnsembleModel::ConductanceBased, Path(""));
      EXPECT_EQ(r.outcome.delivered, 10);
      EXPECT_GT(r.ro.Peak(), 0.0);
      rate[workers - 1] = Read(r.file);
      if (noise) curve[workers - 1] = Read(Path(kOneCurveFileName));
      sigmaV[workers - 1] = r.sigmaV;
    }
    EXPECT_EQ(rate[0], rate[1]) << (noise ? "noise" : "thresholds");
    EXPECT_EQ(curve[0], curve[1]);
    EXPECT_EQ(sigmaV[0], sigmaV[1]);
    if (noise) {
      EXPECT_GT(sigmaV[0], 0.0);
      EXPECT_EQ(std::count(curve[0].begin(), curve[0].end(), '\n'), 500) << "member 0 at every step";
    }
  }
}

TEST_F(Ensemble, EachMemberAsIfRunAloneWithTheGeneratorOfItsIndex) {
  // 40 members: more than one block of members shares a worker's session.
  EnsembleSession s = SquidSession();
  s.ensemble.MeshGauss = 39;
  s.ensemble.t_end = 20.0;
  s.ensemble.ThrRenewal = true;
  s.ensemble.disperse = DispersionKind::ThresholdAndLeak;
  s.ensemble.sigmaUnit = SigmaUnit::Nondim;
  s.ensemble.sgm_V = 0.3;
  BatchHost host;
  EnsembleSink sink;
  const EnsembleResult r = RunGaussianThresholds(s, s.ensemble, host, sink, EnsembleModel::ConductanceBased, Path(""));

  RateHistogram alone(0.02, s.ensemble.Nrate, 40);
  for (int i = 0; i < 40; ++i) {
    Session copy = s;
    copy.random.set_state(RunSeed(i));
    const EnsembleMember m = GaussianThresholdMember(copy, s.ensemble, false, nullptr);
    for (double t : m.spikes) alone.AddSpike(t);
  }
  EXPECT_GT(alone.Peak(), 0.0);
  EXPECT_EQ(r.ro.ro(), alone.ro());
}

// Stops once the sink has seen `after` members.
class StopAfterMembers final : public EnsembleSink {
 public:
  StopAfterMembers(testing::StopAfterPoints& host) : host_(host) {}
  void Member(std::int64_t, std::int64_t) override { ++host_.points; }

 private:
  testing::StopAfterPoints& host_;
};

// A stopped run keeps the members done, and its rate is theirs: without
// dispersion every member fires in the same bins, so the rate there is 1/Δ
// however many were done, not diluted by the members that never ran.
TEST_F(Ensemble, AStoppedRunIsTheRateOfTheMembersDone) {
  EnsembleSession single = SquidSession();
  single.ensemble.sgm_V = 0.0;
  ApplyEnsembleProblem(single, single.ensemble);
  const EnsembleMember one = GaussianThresholdMember(single, single.ensemble, false, nullptr);
  ASSERT_GE(one.spikes.size(), 2u);
  RateHistogram expected(0.04, 80, 1);
  for (double t : one.spikes) expected.AddSpike(t);

  for (bool noise : {false, true}) {
    EnsembleSession s = SquidSession();
    s.ensemble.sgm_V = 0.0;
    s.ensemble.MeshGauss = 3199;  // 100 blocks of members: a stop after the first leaves most undone
    s.parallel.workers = 1;
    testing::StopAfterPoints host(1);
    StopAfterMembers sink(host);
    const EnsembleResult r = noise ? RunNoiseEnsemble(s, s.ensemble, host, sink, EnsembleModel::ConductanceBased,
                                                      Path(""))
                                   : RunGaussianThresholds(s, s.ensemble, host, sink, EnsembleModel::ConductanceBased,
                                                           Path(""));
    const char* kind = noise ? "noise" : "thresholds";
    ASSERT_TRUE(r.outcome.stopped) << kind;
    ASSERT_GE(r.outcome.delivered, 1) << kind;
    ASSERT_LT(r.outcome.delivered, 3200) << kind;
    EXPECT_EQ(r.ro.members(), r.outcome.delivered) << kind;
    const auto lines = Lines(r.file);
    ASSERT_EQ(lines.size(), 81u) << kind;
    for (std::size_t k = 0; k < lines.size(); ++k) {
      EXPECT_NEAR(r.ro.ro()[k], expected.ro()[k], 1e-9) << kind << ", bin " << k;
      EXPECT_EQ(lines[k], RateLine(expected.TimeOf(static_cast<std::int32_t>(k)) * 1000.0, expected.ro()[k]))
          << kind << ", bin " << k;
    }
  }
}

TEST_F(Ensemble, AStopBeforeAnyMemberLeavesAnEmptyRateFile) {
  for (bool noise : {false, true}) {
    EnsembleSession s = SquidSession();
    // Runs of a million steps: the stop reaches the members while they run
    // (they look at it every 4096 steps), before the first is done.
    s.ensemble.t_end = 50000.0;
    s.parallel.workers = 1;
    testing::StopAfterPoints host(0);
    EnsembleSink sink;
    const EnsembleResult r = noise ? RunNoiseEnsemble(s, s.ensemble, host, sink, EnsembleModel::ConductanceBased,
                                                      Path(""))
                                   : RunGaussianThresholds(s, s.ensemble, host, sink, EnsembleModel::ConductanceBased,
                                                           Path(""));
    EXPECT_TRUE(r.outcome.stopped);
    EXPECT_EQ(r.outcome.delivered, 0);
    EXPECT_TRUE(Lines(r.file).empty()) << (noise ? "noise" : "thresholds");
  }
}

TEST(GaussianThresholdMember, LeakNeverBelowItsFloorAndThresholdsRenewAtSpikes) {
  EnsembleSession s = SquidSession();
  EnsembleInputs& in = s.ensemble;
  in.t_end = 0.1;
  in.sigmaUnit = SigmaUnit::Nondim;
  in.sgm_V = 3.0;  // a relative spread so wide that many draws fall below zero
  in.disperse = DispersionKind::Leak;
  ApplyEnsembleProblem(s, in);
  const double gL0 = s.NP0.gL;
  int atFloor = 0;
  for (int i = 0; i < 40; ++i) {
    Session copy = s;
    copy.random.set_state(RunSeed(i));
    const EnsembleMember m = GaussianThresholdMember(copy, in, false, nullptr);
    EXPECT_GE(m.gL, 0.001) << "member " << i;
    EXPECT_EQ(m.shifts, std::vector<double>{0.0}) << "only the leak is dispersed";
    atFloor += m.gL == 0.001;
  }
  EXPECT_GT(atFloor, 0);
  EXPECT_EQ(s.NP0.gL, gL0);

  // Threshold renewal: a new shift after every spike, none without renewal.
  EnsembleSession r = SquidSession();
  r.ensemble.disperse = DispersionKind::Threshold;
  r.ensemble.sgm_V = 2.0;
  r.ensemble.t_end = 80.0;
  r.ensemble.Iind = 600.0;
  ApplyEnsembleProblem(r, r.ensemble);
  for (bool renewal : {false, true}) {
    r.ensemble.ThrRenewal = renewal;
    Session copy = r;
    const EnsembleMember m = GaussianThresholdMember(copy, r.ensemble, false, nullptr);
    ASSERT_GE(m.spikes.size(), 2u);
    ASSERT_EQ(m.shifts.size(), renewal ? m.spikes.size() + 1 : 1u);
    for (std::size_t k = 1; k < m.shifts.size(); ++k) EXPECT_NE(m.shifts[k], m.shifts[k - 1]) << "spike " << k;
    EXPECT_NE(m.shifts[0], 0.0);
  }
}

TEST(GaussianThresholdMember, AThresholdShiftMovesTheFirstSpike) {
  // A member whose Na activation sits higher fires later, for either model reading of the spread.
  double first[2] = {0, 0};
  for (int k = 0; k < 2; ++k) {
    EnsembleSession s = SquidSession();
    s.ensemble.sgm_V = 0.0;
    ApplyEnsembleProblem(s, s.ensemble);
    s.NP0.NaThreshShift += k == 0 ? 0.0 : 3.0;
    const EnsembleMember m = GaussianThresholdMember(s, s.ensemble, false, nullptr);
    ASSERT_FALSE(m.spikes.empty());
    first[k] = m.spikes.front();
  }
  EXPECT_GT(first[1], first[0]);
}

class Conductances : public SweepFiles {};

TEST_F(Conductances, NoSpreadCollapsesTheDispersionLines) {
  EnsembleSession s = SquidSession();
  EnsembleInputs& in = s.ensemble;
  in.t_end = 20.0;
  in.sigmaG = 0.0;
  in.Ampl_gE = 0.3;
  BatchHost host;
  ConductanceEnsembleSink sink;
  const ConductanceEnsembleResult r =
      RunGaussianConductances(s, s.ensemble, host, sink, EnsembleModel::ConductanceBased, Path(""));
  ASSERT_FALSE(r.dispersion.empty());
  for (const DispersionPoint& p : r.dispersion) {
    EXPECT_NEAR(p.D, 0.0, 1e-7) << "t = " << p.t;
    EXPECT_TRUE(std::isfinite(p.mean));
  }
  for (const LinearisedPoint& p : r.linearised) EXPECT_EQ(p.sigmaV, 0.0);
  const auto lines = Lines(Path(kGaussVMeanFileName));
  ASSERT_EQ(lines.size(), r.dispersion.size());
  std::istringstream first(lines.front());
  double t = 0, mean = 0, up = 0, down = 0;
  first >> t >> mean >> up >> down;
  EXPECT_DOUBLE_EQ(t, 0.25);
  EXPECT_EQ(mean, up);
  EXPECT_EQ(mean, down);
  EXPECT_EQ(Lines(Path(kGaussBoundFileName)).size(), Lines(Path(kGaussMeanDispFileName)).size())
      << "all members alike end at the same step";
}

TEST_F(Conductances, LinearisedSpreadFollowsTheEnsembleBelowThreshold) {
  // On a passive membrane the voltage responds almost linearly to a
  // conductance spread of 20 %: the ensemble's dispersion and the linear
  // estimate then agree.
  EnsembleSession s = SquidSession();
  SelectModelFamily(s, "Passive");
  EnsembleInputs& in = s.ensemble;
  in.t_end = 20.0;
  in.Nrate = 40;
  in.MeshG = 40;
  in.sigmaG = 0.2;
  in.Ampl_gE = 0.02;
  BatchHost host;
  ConductanceEnsembleSink sink;
  const ConductanceEnsembleResult r =
      RunGaussianConductances(s, s.ensemble, host, sink, EnsembleModel::ConductanceBased, Path(""));
  EXPECT_DOUBLE_EQ(r.T_min, 0.02) << "nobody fires";
  ASSERT_EQ(r.dispersion.size(), 40u);
  const DispersionPoint& last = r.dispersion.back();
  const LinearisedPoint& est = r.linearised.back();
  EXPECT_GT(last.D, 0.0005) << "a visible spread";
  EXPECT_NEAR(est.sigmaV, last.D, 0.3 * last.D);
  EXPECT_NEAR(est.V, last.mean, 0.002);
}

// Reads "Gauss(t,V).dat": the weighted mean voltage of the members at each
// bin time (ms, rounded as written).
std::map<long, double> WeightedMeans(const std::vector<std::string>& lines) {
  std::map<long, std::pair<double, double>> sums;
  for (const std::string& line : lines) {
    std::istringstream in(line);
    double t = 0, V = 0, w = 0;
    in >> t >> V >> w;
    auto& [sw, swv] = sums[std::lround(t * 1000.0)];
    sw += w;
    swv += w * V;
  }
  std::map<long, double> means;
  for (const auto& [t, s] : sums) means[t] = s.second / s.first;
  return means;
}

// A stop between members ends the run without an error: the statistics are
// those of the members done, and the run says it was stopped.
TEST_F(Conductances, AStopKeepsTheStatisticsOfTheMembersDone) {
  EnsembleSession s = SquidSession();
  SelectModelFamily(s, "Passive");
  EnsembleInputs& in = s.ensemble;
  in.t_end = 10.0;
  in.Nrate = 20;
  in.MeshG = 8;
  in.sigmaG = 0.2;
  in.Ampl_gE = 0.02;
  testing::StopAfterPoints host(3);
  class Counter final : public ConductanceEnsembleSink {
   public:
    explicit Counter(testing::StopAfterPoints& h) : h_(h) {}
    void Member(std::int64_t, std::int64_t) override { ++h_.points; }
    testing::StopAfterPoints& h_;
  } sink(host);
  const ConductanceEnsembleResult r =
      RunGaussianConductances(s, s.ensemble, host, sink, EnsembleModel::ConductanceBased, Path(""));
  EXPECT_TRUE(r.stopped);
  EXPECT_EQ(r.members, 3);
  ASSERT_EQ(r.dispersion.size(), 20u);
  const std::map<long, double> means = WeightedMeans(Lines(Path(kGaussTVFileName)));
  for (const DispersionPoint& p : r.dispersion) {
    const auto it = means.find(std::lround(p.t * 1e6));
    ASSERT_NE(it, means.end()) << "t = " << p.t;
    EXPECT_NEAR(p.mean * 1000.0, it->second, 2e-3) << "t = " << p.t;
  }
  EXPECT_EQ(Lines(Path(kGaussVMeanFileName)).size(), r.dispersion.size());

  testing::StopAfterPoints never(1000);
  Counter all(never);
  const ConductanceEnsembleResult full =
      RunGaussianConductances(s, s.ensemble, never, all, EnsembleModel::ConductanceBased, Path(""));
  EXPECT_FALSE(full.stopped);
  EXPECT_EQ(full.members, 9);
  EXPECT_NE(full.dispersion.back().mean, r.dispersion.back().mean) << "the other members count in a full run";
}

TEST_F(Conductances, RefusesAnEnsembleWithoutMesh) {
  EnsembleSession s = SquidSession();
  s.ensemble.MeshG = 0;
  BatchHost host;
  ConductanceEnsembleSink sink;
  EXPECT_THROW(RunGaussianConductances(s, s.ensemble, host, sink, EnsembleModel::ConductanceBased, Path("")),
               RangeError);
}

}  // namespace
}  // namespace membrix
