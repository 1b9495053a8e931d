#include "population/network.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/sweep_test_support.h"
#include "common/error.h"
#include "neuron/numerics.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "run/session.h"

namespace membrix {
namespace {

// A session with the population inputs kept beside it, as the workbench
// keeps them.
struct EnsembleSession : Session {
  EnsembleInputs ensemble;
  SynapseInputs synapse;
};


using testing::SweepFiles;

TEST(GabaSynapse, EqualRatesGiveAnAlphaGatePeakingAtOneOverTheRate) {
  // A unit of rate delivered in one step: the gate's response.
  const double h = 1e-6;
  double p = 0.0, q = 0.0, peak = 0.0, tPeak = 0.0;
  for (int n = 1; n <= 20000; ++n) {
    SynFilter2(0, p, q, n == 1 ? 1.0 / h : 0.0, h, 320.0, 320.0);
    if (p > peak) {
      peak = p;
      tPeak = n * h;
    }
  }
  EXPECT_NEAR(tPeak, 1.0 / 320.0, 2e-5);
  EXPECT_NEAR(peak, 1.0, 0.002);
}

TEST(GabaSynapse, InhibitsTowardsItsReversalWhateverTheInputConvention) {
  RateHistogram ro(0.12, 240, 1);
  for (double& r : ro.ro()) r = 50.0;
  const SynapseInputs syn;  // 1 mS/cm², -80 mV
  GabaState st;
  SynapticInput in{};
  for (int n = 1; n <= 400; ++n) in = GabaSynapse(n * 5e-5, 5e-5, ro, syn, st, -0.09);
  ASSERT_GT(st.mGABA, 0.0);
  EXPECT_DOUBLE_EQ(in.s, syn.gGABA * st.mGABA);
  for (double V : {-0.08, -0.065, 0.0}) {
    EXPECT_NEAR(in.u - in.s * (V - (-0.09)), -in.s * (V + 0.08), 1e-15) << "V = " << V;
  }
}

TEST(DelayedRate, ReadsCompletedBinsOnly) {
  RateHistogram ro(0.12, 240, 1);  // bins of 0.5 ms
  for (std::size_t k = 0; k < ro.ro().size(); ++k) ro.ro()[k] = static_cast<double>(k) * 10.0;
  const struct { double t, delay, rate; } cases[] = {
      {0.0031, 0.0002, 50.0},    // shorter than a bin: the newest completed bin (5, at 2.5 ms)
      {0.0031, 0.0, 50.0},       // no delay at all: still not the bin that is filling
      {0.0031, 0.001, 42.0},     // 2.1 ms back: between bins 4 and 5
      {0.0031, 0.0025, 12.0},    // 0.6 ms: between bins 1 and 2, weight 0.2
      {0.0020, 0.005, 0.0},      // the delay has not passed: the first bin, no extrapolation
  };
  for (auto c : cases) {
    EXPECT_NEAR(DelayedRate(ro, c.t, c.delay), c.rate, 1e-9) << "t = " << c.t << ", delay = " << c.delay;
  }
}

class Network : public SweepFiles {};

EnsembleSession NetworkSession(std::int32_t members) {
  EnsembleSession s;
  ApplyProgramStart(s);
  SelectModelFamily(s, "Rariza");
  EnsembleInputs& in = s.ensemble;
  in.MeshGauss = members;
  in.t_end = 30.0;
  in.Nrate = 60;
  in.Iind = 300.0;
  in.sgm_V = 3.0;
  return s;
}

double Spikes(const RateHistogram& ro, std::int64_t members) {
  double n = 0.0;
  for (double r : ro.ro()) n += r;
  return n * members * ro.Delta();
}

TEST_F(Network, InhibitionThinsTheFiringAndTheFileCarriesTheGate) {
  double spikes[2] = {0, 0};
  for (int k = 0; k < 2; ++k) {
    EnsembleSession s = NetworkSession(20);
    s.synapse.gGABA = k == 0 ? 0.0 : 5.0;
    BatchHost host;
    NetworkSink sink;
    const NetworkResult r = RunNetwork(s, s.ensemble, s.synapse, host, sink, EnsembleModel::ConductanceBased, true,
                                       Path(""));
    spikes[k] = Spikes(r.ro, 20);
    const auto lines = Lines(Path(kRateFileName));
    ASSERT_EQ(lines.size(), 61u);
    std::istringstream last(lines.back());
    double t = 0, rate = 0, gate = 0;
    last >> t >> rate >> gate;
    EXPECT_DOUBLE_EQ(t, 30.0);
    EXPECT_GT(gate, 0.0) << "the population fired, so the gate opened";
    EXPECT_EQ(Lines(Path(kOneCurveFileName)).size(), 600u);
  }
  EXPECT_GT(spikes[0], 20.0);
  EXPECT_LT(spikes[1], 0.9 * spikes[0]) << "the volleys come further apart";
}

TEST_F(Network, SameRunForTheSameSessionAndRefusesTooManyMembers) {
  std::string files[2];
  for (auto& f : files) {
    EnsembleSession s = NetworkSession(6);
    s.ensemble.ThrRenewal = true;
    BatchHost host;
    NetworkSink sink;
    RunNetwork(s, s.ensemble, s.synapse, host, sink, EnsembleModel::ConductanceBased, false, Path(""));
    f = Read(Path(kRateFileName));
  }
  EXPECT_EQ(files[0], files[1]);

  EnsembleSession s = NetworkSession(kMaxNetworkMembers);
  BatchHost host;
  NetworkSink sink;
  EXPECT_THROW(RunNetwork(s, s.ensemble, s.synapse, host, sink, EnsembleModel::ConductanceBased, true, Path("")),
               RangeError);
}

// The bins a run reports are the lines of its file, all of them in a full run
// and those up to the stop in a stopped one.
TEST_F(Network, ReportsTheBinsItWrote) {
  class StopAtTime final : public Host {
   public:
    bool StopRequested() const override { return t >= 0.012; }
    bool Confirm(const std::string&) override { return true; }
    double t = 0.0;
  };
  class TimeSink final : public NetworkSink {
   public:
    explicit TimeSink(StopAtTime& host) : host_(host) {}
    void Time(double t) override { host_.t = t; }
    StopAtTime& host_;
  };
  for (bool stop : {false, true}) {
    EnsembleSession s = NetworkSession(4);
    StopAtTime stopping;
    BatchHost never;
    TimeSink sink(stopping);
    Host& host = stop ? static_cast<Host&>(stopping) : never;
    const NetworkResult r = RunNetwork(s, s.ensemble, s.synapse, host, sink, EnsembleModel::ConductanceBased, true,
                                       Path(""));
    EXPECT_EQ(r.stopped, stop);
    const auto lines = Lines(Path(kRateFileName));
    EXPECT_EQ(static_cast<std::size_t>(r.bins), lines.size()) << (stop ? "stopped" : "full");
    if (stop) {
      EXPECT_GE(r.bins, 20) << "12 ms of 0.5 ms bins";
      EXPECT_LT(r.bins, 61);
    } else {
      EXPECT_EQ(r.bins, 61);
    }
  }
}

// The window's "dt, ms" is read again at every step.
class DoublesTheStep final : public NetworkSink {
 public:
  double StepLength(double dt) override { return ++steps == 100 ? 2.0 * dt : dt; }
  int steps = 0;
};

TEST_F(Network, AChangedStepTakesEffectFromTheNextStep) {
  EnsembleSession s = NetworkSession(2);
  s.ensemble.t_end = 10.0;
  BatchHost host;
  DoublesTheStep sink;
  RunNetwork(s, s.ensemble, s.synapse, host, sink, EnsembleModel::ConductanceBased, true, Path(""));
  const auto curve = Lines(Path(kOneCurveFileName));
  ASSERT_EQ(curve.size(), 150u) << "100 steps of 0.05 ms, then 50 of 0.1 ms";
  EXPECT_EQ(curve[100].substr(0, 9), "    5.100");
}

}  // namespace
}  // namespace membrix
