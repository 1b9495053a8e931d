#include "neuron/thresh_neuron.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "neuron/neuron_test_support.h"
#include "neuron/threshold_rules.h"
#include "run/clamp_run.h"
#include "run/session.h"

namespace membrix {
namespace {

using testing::PassiveRecord;

// A threshold neuron on a passive membrane with a fixed threshold 10 mV above rest.
NeuronProperties ThresholdRecord() {
  NeuronProperties np = PassiveRecord();
  np.ThrModel = 1;
  np.Thr_type = "Default-2";
  np.FixThr = 0.010;
  np.dThr_dts = 0.0;
  np.ThrShift = 0.0;
  np.dT_AP = 0.003;
  np.Vreset = np.Vrest - 0.005;
  return np;
}

// The neuron is built without channels; the spike test then sees the given
// family, so that a non-"Passive" family can be tested on a bare membrane.
struct ThreshFixture {
  explicit ThreshFixture(NeuronProperties np, const std::string& family = "Migliore")
      : neuron(np, clock.View()) {
    np.HH_type = family;
    neuron.NP = np;
    neuron.InitState();
  }
  // Advances one step with the injected current Iext and the somatic input
  // conductance sSoma; true when the step marked a spike.
  bool Step(double Iext, double sSoma = 0.0) {
    clock.t += clock.dt;
    neuron.Step(0, 0, 0, sSoma, 0, Iext, 0);
    return neuron.NV.SpikePhase == 2;
  }
  StandaloneClock clock;
  TThreshNrn neuron;
};

TEST(ThresholdRules, EdgeCases) {
  NeuronProperties lyle;
  lyle.HH_type = "Lyle";
  lyle.ThrShift = 0.002;
  NeuronProperties chow = lyle;
  chow.HH_type = "Chow";
  NeuronProperties migliore = lyle;
  migliore.HH_type = "Migliore";
  NeuronProperties fixed = migliore;
  fixed.FixThr = 0.015;
  fixed.dThr_dts = 1e-4;
  NeuronProperties refractory = migliore;
  refractory.dT_AP = 0.002;
  refractory.DepBlock = 0.4;
  refractory.gL = 0.3;
  NeuronProperties refractoryLyle = refractory;
  refractoryLyle.HH_type = "Lyle";
  NeuronProperties refractoryFixed = refractory;
  refractoryFixed.FixThr = 0.02;
  NeuronVariables atBlock;
  atBlock.gSum = 0.05;  // with gL and the input 0.05: G = DepBlock
  const double shift = 0.002;

  const struct {
    const char* name;
    std::function<double()> value;
    double expected;
  } cases[] = {
      {"Lyle, interval shorter than any measured", [&] { return DefaultThreshold(lyle, 0.007574, 1.0); },
       0.050 + shift},
      {"Lyle, rate of rise at the top of the table",
       [&] { return DefaultThreshold(lyle, 0.0076, 3.15965); }, 0.028985 + shift},
      {"Lyle, rate of rise beyond the table", [&] { return DefaultThreshold(lyle, 0.5, 40.0); },
       0.028985 + shift},
      {"Lyle, rate of rise barely positive", [&] { return DefaultThreshold(lyle, 0.0076, 5e-6); },
       0.007033 + shift},
      {"Lyle, voltage not rising", [&] { return DefaultThreshold(lyle, 0.0076, 5e-7); }, 0.1},
      {"Chow, top of the table", [&] { return DefaultThreshold(chow, 0.004, 14.2); }, 0.028310 + shift},
      {"Chow, bottom of the table", [&] { return DefaultThreshold(chow, 0.004, 1e-6); }, 0.003135 + shift},
      {"Chow, interval shorter than any measured", [&] { return DefaultThreshold(chow, 0.003, 1.0); },
       0.050 + shift},
      {"Migliore has no table, slow rise", [&] { return DefaultThreshold(migliore, 0.001, 2e-6); },
       0.01 + shift},
      {"Migliore has no table, fast rise", [&] { return DefaultThreshold(migliore, 0.001, 500.0); },
       0.01 + shift},
      {"no table means no shortest interval either", [&] { return TableThreshold("Rariza", 0.0, 1.0); },
       0.01},
      {"fixed threshold with its refractory term", [&] { return DefaultThreshold(fixed, 0.01, 1.0); },
       0.015 + 0.01 + shift},
      {"fixed threshold right at the spike", [&] { return DefaultThreshold(fixed, 0.0, 1.0); }, 0.1},
      {"fixed threshold, voltage falling", [&] { return DefaultThreshold(fixed, 0.01, -3.0); }, 0.1},
      {"refractory, during the spike", [&] { return RefractoryThreshold(refractory, 0.001, 0.0); },
       0.1 + shift},
      {"refractory, decays as 1/(s - dT_AP)", [&] { return RefractoryThreshold(refractory, 0.012, 0.003); },
       0.005 + 0.003 + shift},
      {"refractory, Lyle decays exponentially",
       [&] { return RefractoryThreshold(refractoryLyle, 0.01, 0.0); },
       (50.0 * std::exp(-1.0) + 10.0) / 1000.0 + shift},
      {"conductance at the block level is half-way",
       [&] { return ConductanceThreshold(refractory, atBlock, 0.05, 0.012); }, 0.05 + 0.005 + shift},
      {"conductance rule with a fixed threshold, during the spike",
       [&] { return ConductanceThreshold(refractoryFixed, atBlock, 0.05, 0.004); }, 0.1},
      {"conductance rule with a fixed threshold, no shift",
       [&] { return ConductanceThreshold(refractoryFixed, atBlock, 0.05, 0.006); }, 0.02 + 0.05},
  };
  for (const auto& c : cases) EXPECT_NEAR(c.value(), c.expected, 1e-9) << c.name;
}

TEST(ThresholdNeuron, RuleByThresholdType) {
  const struct {
    const char* name;
    const char* rule;
    double KJ;
    double sSoma;  // mS/cm²: a large input conductance drives the total beyond DepBlock
    double t;      // s, time of the step
    double expected;
  } cases[] = {
      {"Dyn. thr.-2 puts the threshold at -55 mV", "Dyn. thr.-2", 0.0, 0.0, 0.01, 0.009},
      {"Dyn. thr.-2 in depolarisation block", "Dyn. thr.-2", 0.0, 1.0, 0.01, 0.064},
      {"Na cooperativity at 10 ms", "Default-2", 10.0, 0.0, 0.01, 0.001},
      {"Na cooperativity never above 0.1 V", "Default-2", 10.0, 0.0, 5e-5, 0.1},
      {"Na cooperativity overrides every rule", "Dyn. thr.-2", 10.0, 1.0, 0.01, 0.001},
      {"Brette thr.-7 follows the dynamic threshold at rest", "Brette thr.-7", 0.0, 0.0, 0.01, 0.01},
  };
  for (const auto& c : cases) {
    NeuronProperties np = ThresholdRecord();
    np.Vrest = -0.064;
    np.Thr_type = c.rule;
    np.KJ_NaCooperativity = c.KJ;
    np.DepBlock = 0.4;
    np.tau_Thr = 0.002;
    ThreshFixture f(np);
    f.clock.t = c.t - f.clock.dt;
    f.Step(0.0, c.sSoma);
    EXPECT_NEAR(f.neuron.NV.VThr, c.expected, 1e-6) << c.name;
  }
}

TEST(ThresholdNeuron, SpikeTestOfAVoltageAboveThreshold) {
  const struct {
    const char* family;
    double sinceSpike;  // s
    double d2Vdt2;      // V/s²
    bool spike;
  } cases[] = {
      {"Migliore", 0.05, 0.0, true},
      {"Migliore", 0.05, 1000.0, false},  // curving up steeply
      {"Passive", 0.05, 1000.0, true},
      {"Migliore", 0.002, 0.0, false},  // within the spike duration
      {"Passive", 0.002, 0.0, true},
  };
  for (const auto& c : cases) {
    ThreshFixture f(ThresholdRecord(), c.family);
    f.clock.t = 0.1;
    f.neuron.NV.tLastSpike = 0.1 - c.sinceSpike;
    f.neuron.NV.V = f.neuron.NP.Vrest + 0.02;
    f.neuron.NV.VThr = 0.01;
    f.neuron.NV.d2Vdt2 = c.d2Vdt2;
    f.neuron.CheckSpike();
    EXPECT_EQ(f.neuron.NV.SpikePhase == 2, c.spike)
        << c.family << ", " << c.sinceSpike << " s after a spike, d2V/dt2 = " << c.d2Vdt2;
  }
}

TEST(ThresholdNeuron, SpikesAreNeverCloserThanTheSpikeDuration) {
  ThreshFixture f(ThresholdRecord());
  std::vector<double> spikes;
  std::vector<double> intervals;
  for (int i = 0; i < 2000; ++i) {
    // So strong that without the spike duration it would cross at every step.
    if (f.Step(1.0)) {
      spikes.push_back(f.clock.t);
      intervals.push_back(f.neuron.NV.ISI);
      EXPECT_DOUBLE_EQ(f.neuron.NV.V, f.neuron.NP.Vreset);
    }
  }
  ASSERT_GE(spikes.size(), 10u);
  EXPECT_DOUBLE_EQ(intervals[0], spikes[0]);  // the first interval of a run is the time of the first spike
  for (std::size_t k = 1; k < spikes.size(); ++k) {
    EXPECT_GT(spikes[k] - spikes[k - 1], f.neuron.NP.dT_AP) << "spike " << k;
    EXPECT_NEAR(intervals[k], spikes[k] - spikes[k - 1], 1e-12) << "spike " << k;
  }
}

TEST(ThresholdNeuron, IsFrozenForTheSpikeDuration) {
  ThreshFixture f(ThresholdRecord());
  while (!f.Step(0.01)) ASSERT_LT(f.clock.t, 0.2) << "no spike";
  const double tSpike = f.clock.t;
  while (f.clock.t + f.clock.dt <= tSpike + f.neuron.NP.dT_AP) {
    f.Step(0.01);
    EXPECT_DOUBLE_EQ(f.neuron.NV.V, f.neuron.NP.Vreset);
    EXPECT_DOUBLE_EQ(f.neuron.NV.dVdt, 0.0);
    EXPECT_DOUBLE_EQ(f.neuron.NV.VThr, 0.1);  // the voltage does not rise: no spike is possible
  }
  f.Step(0.01);
  f.Step(0.01);
  EXPECT_GT(f.neuron.NV.V, f.neuron.NP.Vreset);
}

TEST(ThresholdNeuron, ResetImposesAfterSpikeValuesAndJumps) {
  NeuronProperties np = ThresholdRecord();
  np.Thr_type = "Dyn. thr.-2";
  np.n_AP = 0.4;
  np.xD_AP = 0.3;
  np.VresetDend = -0.06;
  np.Vthr_AP = 0.05;
  np.dwAHP = 0.0177;
  np.dlAHP = -0.003;
  np.dyD = -0.3;
  np.dnM = 0.175;
  ThreshFixture f(np);
  NeuronVariables& nv = f.neuron.NV;
  nv.wAHP = 0.0;
  nv.lAHP = 1.0;
  nv.yD = 0.5;
  nv.nM = 0.2;
  nv.dVdt = 12.0;
  const double VTdyn = f.neuron.DynThr()->VTdyn;

  f.neuron.ResetAfterSpike();
  EXPECT_DOUBLE_EQ(nv.V, np.Vreset);
  EXPECT_DOUBLE_EQ(nv.VatE, -0.06);
  EXPECT_DOUBLE_EQ(nv.VThrDyn, 0.05);
  EXPECT_DOUBLE_EQ(nv.dVdt, 0.0);
  EXPECT_DOUBLE_EQ(nv.nn, 0.4);
  EXPECT_DOUBLE_EQ(nv.xD, 0.3);
  EXPECT_DOUBLE_EQ(nv.wAHP, 0.0177);  // toward 1
  EXPECT_DOUBLE_EQ(nv.nM, 0.2 + 0.8 * 0.175);
  EXPECT_DOUBLE_EQ(nv.lAHP, 0.997);  // relative: shrinks by 0.3 %
  EXPECT_DOUBLE_EQ(nv.yD, 0.35);     // and by 30 %
  EXPECT_DOUBLE_EQ(f.neuron.DynThr()->VTdyn, VTdyn + 20.0);

  f.neuron.ResetAfterSpike();
  EXPECT_DOUBLE_EQ(nv.wAHP, 0.0177 + 0.9823 * 0.0177);
  EXPECT_DOUBLE_EQ(nv.yD, 0.35 * 0.7);
}

TEST(ThresholdTables, BuiltInTablesResampleToTheirDerivedValues) {
  const struct {
    const char* family;
    double T0, T200, tMin, step;
  } cases[] = {{"Lyle", 7.033, 28.985, 0.007575, 3.15965 / 40000},
               {"Chow", 3.135, 28.310, 0.00305406, 14.12708 / 40000}};
  for (const auto& c : cases) {
    const ThresholdGrid* grid = BuiltInThresholdGrid(c.family);
    ASSERT_NE(grid, nullptr) << c.family;
    EXPECT_DOUBLE_EQ(grid->T[0], c.T0) << c.family;
    EXPECT_DOUBLE_EQ(grid->T[200], c.T200) << c.family;
    EXPECT_DOUBLE_EQ(grid->tMin, c.tMin) << c.family;
    EXPECT_DOUBLE_EQ(grid->step, c.step) << c.family;
    for (int j = 1; j <= 200; ++j) EXPECT_GE(grid->T[j], grid->T[j - 1]) << c.family << " j = " << j;
    EXPECT_EQ(grid, BuiltInThresholdGrid(c.family)) << "derived once";
  }
  EXPECT_EQ(BuiltInThresholdGrid("Migliore"), nullptr);
}

TEST(ThresholdTables, MeasuredRowsStandWhereTheyWereTaken) {
  const struct {
    const char* family;
    int kept;  // 0: the first row of the table, skipped or not
    std::vector<double> columns;
  } cases[] = {
      {"Lyle", 0, {0.000, -888000.0, 4.0, 0.0, 77.63441, 0.07528}},
      {"Lyle", 1, {7.033, 142.02, 196.0, 0.00071, 7.17959, -0.00017}},
      {"Lyle", 980, {28.985, 7.605, 4112.0, 3.15431, 24.16193, 9.37638}},
      {"Lyle", 981, {28.959, 7.59, 4116.0, 3.15965, 24.18537, 9.38536}},
      {"Lyle", 1003, {29.381, 7.575, 4204.0, 3.15637, 24.41333, 9.60703}},
      {"Lyle", 1010, {29.528, 7.575, 4232.0, 3.15254, 24.43043, 9.6822}},
      {"Chow", 1, {3.135, 36.59105, 40.0, 0.02778, 2.70897, 0.08436, 27.3224043715847}},
      {"Chow", 198, {28.310, 3.06116, 3980.0, 14.11249, 35.22371, 35.765, 325.203252032520}},
      {"Chow", 199, {28.453, 3.05406, 4000.0, 14.12708, 35.40005, 35.94083, 325.203252032520}},
  };
  EXPECT_EQ(BuiltInThresholdRows("Lyle").size(), 1058u);
  EXPECT_EQ(BuiltInThresholdRows("Chow").size(), 199u);
  for (const auto& c : cases) {
    std::vector<std::vector<double>> kept;
    std::vector<double> first;
    for (const char* row : BuiltInThresholdRows(c.family)) {
      std::vector<double> numbers(8);
      numbers.resize(static_cast<std::size_t>(ReadRowNumbers(row, numbers).count));
      if (first.empty()) first = numbers;
      if (numbers[1] > 0.0) kept.push_back(numbers);
    }
    EXPECT_EQ(kept.size(), std::string(c.family) == "Lyle" ? 1010u : 199u);
    const std::vector<double>& row = c.kept == 0 ? first : kept.at(static_cast<std::size_t>(c.kept - 1));
    ASSERT_EQ(row.size(), c.columns.size()) << c.family << " row " << c.kept;
    for (std::size_t i = 0; i < row.size(); ++i) {
      EXPECT_DOUBLE_EQ(row[i], c.columns[i]) << c.family << " row " << c.kept << " column " << i + 1;
    }
  }
}

TEST(ThresholdTables, ResamplingStopsAtTheLargestRateOfRise) {
  // threshold, interval, stimulus, rate of rise, two unread measures
  const char* const rows[] = {
      " 99.0  -888000  1  50.0  0  0",  // no interval: never read
      " 10.0   20.0    2   0.0  0  0",  //
      " 20.0   15.0    3  10.0  0  0",  //
      " 30.0   12.0    4  40.0  0  0",  // the largest rate of rise ends the range
      " 40.0    9.0    5  30.0  0  0",  // beyond the range, but its interval counts
  };
  const ThresholdGrid grid = ResampleThresholdRows(rows);
  EXPECT_DOUBLE_EQ(grid.step, 40.0 / 40000);
  EXPECT_DOUBLE_EQ(grid.tMin, 0.009);
  EXPECT_DOUBLE_EQ(grid.T[0], 10.0);
  EXPECT_DOUBLE_EQ(grid.T[50], 12.5);   // rate 2.5, a quarter of the way to the second row
  EXPECT_DOUBLE_EQ(grid.T[100], 20.0);  // from the second row on, the range row's own threshold never enters
  EXPECT_DOUBLE_EQ(grid.T[200], 20.0);

  const char* const tooFew[] = {" 10.0  20.0  2  5.0  0  0", " 20.0  -1  3  10.0  0  0"};
  EXPECT_THROW(ResampleThresholdRows(tooFew), Error);
}

TEST(ThresholdTables, LookupInterpolatesOnTheQuadraticGrid) {
  const ThresholdGrid& grid = *BuiltInThresholdGrid("Lyle");
  for (int f : {1, 37, 150, 199}) {
    for (double o : {0.0, 0.25, 0.8}) {
      const double r = (f * f + o * (2 * f + 1)) * grid.step;
      const double expected = ((1 - o) * grid.T[f] + o * grid.T[f + 1]) / 1000.0;
      EXPECT_NEAR(TableThreshold("Lyle", 1.0, r), expected, 1e-12) << "f = " << f << ", o = " << o;
    }
  }
}

// Records the times of the spikes a run marks.
class SpikeRecorder final : public RunViewSink {
 public:
  void Spike(double tSpike) override { spikes.push_back(tSpike); }
  std::vector<double> spikes;
};

TEST(ThresholdNeuron, FiresInAClampRun) {
  Session s;
  s.NP0 = ThresholdRecord();
  s.stim.Iind = 100.0;  // pA
  s.stim.t_IindShift = 0.0;
  s.stim.t_Iind = 1.0;
  s.stim.uu = s.stim.ss = 0.0;
  SetRunLength(s.run, 0.2);
  BatchHost host;
  SpikeRecorder views;
  RunClamp(s, host, views);
  ASSERT_GE(views.spikes.size(), 5u);
  EXPECT_EQ(s.spikes.nSpikes, static_cast<int>(views.spikes.size()));
  for (std::size_t k = 1; k < views.spikes.size(); ++k) {
    EXPECT_GT(views.spikes[k] - views.spikes[k - 1], s.NP0.dT_AP);
  }
}

}  // namespace
}  // namespace membrix
