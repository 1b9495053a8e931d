#include "analysis/statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numeric>

#include "run/session.h"

namespace membrix {
namespace {

class ShowCounter final : public StatisticsSink {
 public:
  void Clear() override { ++clears; }
  void Show(const StatisticsState&, double) override { ++shows; }
  int clears = 0;
  int shows = 0;
};

// Feeds samples as consecutive steps 1, 2, ... of one run.
struct Feeder {
  Session s;
  StatisticsState st;
  ShowCounter sink;
  BatchHost host;
  void Add(double x) {
    ++s.run.nt;
    AddSample(s, st, x, sink, host);
  }
};

double BarSum(const StatisticsState& st) {
  double sum = 0.0;
  for (int i = 0; i < st.Hist.n; ++i) sum += BarHeight(st, i);
  return sum;
}

TEST(Statistics, EntriesHistogramAndRestarts) {
  const struct {
    const char* name;
    StatisticsInputs inputs;
    std::vector<double> samples;
    std::function<void(const StatisticsState&)> check;
  } cases[] = {
      {"nt_corr 5000 acts as 4000", {0, 200, 30, 5000}, {1.0}, [](const auto& st) { EXPECT_EQ(st.NtCorr, 4000); }},
      {"n_intervals is kept within 1 ... 1000", {0, 200, 5000, 10}, {1.0},
       [](const auto& st) { EXPECT_EQ(st.Hist.n, 1000); }},
      {"no interval at all is one", {0, 200, 0, 10}, {1.0}, [](const auto& st) { EXPECT_EQ(st.Hist.n, 1); }},
      {"HistMax falls into the last bar, just below HistMin into none",
       {0, 200, 30, 10},
       {200.0, -1e-9, 199.0},
       [](const auto& st) {
         EXPECT_EQ(st.Hist.bin[29], 2);
         EXPECT_EQ(st.Hist.total, 2);
         EXPECT_EQ(st.N, 3);
       }},
      {"bars sum to the fraction inside", {0, 10, 4, 10}, {1, 2, 3, 9, 11, 12, -3, 5},
       [](const auto& st) { EXPECT_DOUBLE_EQ(BarSum(st), 1.0); }},
      {"a range without width histograms nothing", {5, 5, 4, 10}, {5, 5},
       [](const auto& st) { EXPECT_EQ(st.Hist.total, 0); }},
      {"mean and standard deviation", {0, 200, 30, 10}, {2, 4, 4, 4, 5, 5, 7, 9},
       [](const auto& st) {
         EXPECT_DOUBLE_EQ(st.Mean, 5.0);
         EXPECT_EQ(MeanLabel(st), " Mean =      5.00");
         EXPECT_EQ(DispersionLabel(st), " Dispersion =      2.00");
       }},
  };
  for (const auto& c : cases) {
    Feeder f;
    f.st.inputs = c.inputs;
    for (double x : c.samples) f.Add(x);
    SCOPED_TRACE(c.name);
    c.check(f.st);
  }
  // Bars count every sample counted once the range holds them all.
  Feeder inside;
  for (int k = 0; k < 100; ++k) inside.Add(k % 50 + 0.5);
  EXPECT_DOUBLE_EQ(BarSum(inside.st), 1.0);
}

TEST(Statistics, RestartsAtANewRunAndAfterAnInputChange) {
  Feeder f;
  for (int k = 0; k < 20; ++k) f.Add(1.0 + k);
  EXPECT_EQ(f.st.N, 20);
  EXPECT_EQ(f.sink.clears, 1);
  StatisticsInputsChanged(f.st);
  f.Add(7.0);
  EXPECT_EQ(f.st.N, 1);
  EXPECT_EQ(f.st.Mean, 7.0);
  EXPECT_EQ(f.sink.clears, 2);
  f.s.run.nt = 0;  // a new run
  f.Add(3.0);
  EXPECT_EQ(f.st.N, 1);
  EXPECT_EQ(f.st.StatMode, kStatAccumulating);
}

TEST(Statistics, CorrelationWaitsForTheDelayLineAndTauForTwentyMore) {
  Feeder f;
  f.s.run.dt = 1e-4;
  f.s.run.n_Draw = 5;
  f.st.inputs.nt_corr = 1000;
  // An AR(1) signal x <- 0.9·x + noise: correlation time 2dt/(1 - 0.81).
  double x = 0.0;
  int k = 0;
  for (; k < 1000; ++k) f.Add(x = 0.9 * x + f.s.random.Normal(0.0, 1.0));
  EXPECT_EQ(f.st.M, 0);
  for (; k < 2020; ++k) f.Add(x = 0.9 * x + f.s.random.Normal(0.0, 1.0));
  EXPECT_EQ(f.st.M, 1020);
  EXPECT_FALSE(CorrelationTime(f.st, f.s.run.dt));
  f.Add(x = 0.9 * x + f.s.random.Normal(0.0, 1.0));
  ++k;
  EXPECT_TRUE(CorrelationTime(f.st, f.s.run.dt)) << "after 1021 updates";
  for (; k < 40000; ++k) f.Add(x = 0.9 * x + f.s.random.Normal(0.0, 1.0));
  const auto tau = CorrelationTime(f.st, f.s.run.dt);
  ASSERT_TRUE(tau);
  EXPECT_NEAR(*tau, 2e-4 / 0.19, 0.15 * 2e-4 / 0.19);
  EXPECT_NEAR(*NormalisedCorrelation(f.st, 0), 1.0, 0.02);
  EXPECT_NEAR(*NormalisedCorrelation(f.st, 1), 0.9, 0.05);
  EXPECT_EQ(f.sink.shows, 40000 / 50) << "shown every 10·n_Draw steps";
}

TEST(Statistics, AConstantSignalHasNoCorrelationToShow) {
  Feeder f;
  f.st.inputs.nt_corr = 5;
  for (int k = 0; k < 100; ++k) f.Add(42.0);
  EXPECT_FALSE(NormalisedCorrelation(f.st, 0));
  EXPECT_FALSE(CorrelationTime(f.st, f.s.run.dt));
  EXPECT_EQ(TauLabel(f.st, f.s.run.dt), " tau = (constant signal)");
  EXPECT_EQ(DispersionLabel(f.st), " Dispersion =      0.00");
}

}  // namespace
}  // namespace membrix
