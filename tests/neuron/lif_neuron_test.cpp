#include "neuron/lif_neuron.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "neuron/neuron_test_support.h"
#include "run/clamp_run.h"
#include "run/session.h"

namespace membrix {
namespace {

// A plain leaky integrate-and-fire neuron with a fixed threshold 15 mV above
// rest and a 2 ms absolute refractory period.
NeuronProperties LIFRecord() {
  NeuronProperties np = testing::PassiveRecord();
  np.LIF_model = 1;
  np.FixThr = 0.015;
  np.dThr_dts = 0.0;
  np.ThrShift = 0.0;
  np.Vreset = -0.070;
  np.tau_abs = 0.002;
  np.EIF_deltaT = 0.0;
  np.EIF_VT = -0.050;
  return np;
}

struct LIFFixture {
  explicit LIFFixture(const NeuronProperties& np) : neuron(clock.View()) {
    neuron.NP = np;
    neuron.InitState();
  }
  // One step with the injected current density Iext; true when it marked a spike.
  bool Step(double Iext) {
    clock.t += clock.dt;
    neuron.Step(0, 0, 0, 0, 0, Iext, 0);
    return neuron.NV.SpikePhase == 2;
  }
  // Steps until a spike is marked; false if none comes within the time limit.
  bool StepToSpike(double Iext, double limit = 0.5) {
    while (clock.t < limit) {
      if (Step(Iext)) return true;
    }
    return false;
  }
  StandaloneClock clock;
  TLIFNrn neuron;
};

constexpr double kDrive = 0.002;  // mA/cm²: settles 42 mV above rest, well beyond threshold

TEST(LIFNeuron, InitStatePutsTheLeakAtRest) {
  NeuronProperties np = LIFRecord();
  np.IfSet_VL_or_Vrest = 1;
  np.VL = -0.080;
  np.IfSet_gL_or_tau = 2;
  LIFFixture f(np);
  EXPECT_DOUBLE_EQ(f.neuron.NP.VL, np.Vrest);
  EXPECT_DOUBLE_EQ(f.neuron.NP.gL, np.Cm / np.tau_m);
  EXPECT_DOUBLE_EQ(f.neuron.NV.V, np.Vrest);
  EXPECT_DOUBLE_EQ(f.neuron.NV.tLastSpike, -888.0);

  np.IfSet_gL_or_tau = 1;
  np.gL = 0.1;
  LIFFixture g(np);
  EXPECT_DOUBLE_EQ(g.neuron.NP.tau_m, np.Cm / 0.1);
}

TEST(LIFNeuron, WithoutTheExponentialItIsThePlainLeakyNeuron) {
  NeuronProperties np = LIFRecord();
  np.EIF_dw = 0.0;
  np.EIF_a = 0.5;
  np.EIF_tauw = 0.05;
  LIFFixture plain(np);
  np.EIF_dw = 0.01;  // w still grows at every spike, but does not act
  LIFFixture adapting(np);
  plain.Step(kDrive);
  adapting.Step(kDrive);
  const NeuronVariables& nv = plain.neuron.NV;
  EXPECT_DOUBLE_EQ(nv.Iion, -(nv.Vprev - np.Vrest) * plain.neuron.NP.gL + kDrive);
  EXPECT_DOUBLE_EQ(nv.V, nv.Vprev + plain.clock.dt * nv.Iion / np.Cm);
  int spikes = 0;
  while (plain.clock.t < 0.1) {
    const bool a = plain.Step(kDrive);
    const bool b = adapting.Step(kDrive);
    ASSERT_EQ(a, b) << "t = " << plain.clock.t;
    ASSERT_DOUBLE_EQ(plain.neuron.NV.V, adapting.neuron.NV.V) << "t = " << plain.clock.t;
    spikes += a ? 1 : 0;
  }
  ASSERT_GE(spikes, 3);
  EXPECT_NEAR(adapting.neuron.NV.wEIF, 0.01 * spikes, 1e-12);
}

TEST(LIFNeuron, AdaptationIsFrozenBetweenSpikesWithoutItsTimeConstant) {
  NeuronProperties np = LIFRecord();
  np.EIF_deltaT = 0.002;
  np.EIF_tauw = 0.0;
  np.EIF_a = 1.0;  // would pull w at once if w moved
  np.EIF_dw = 0.0003;
  LIFFixture f(np);
  for (int i = 0; i < 20; ++i) f.Step(kDrive);
  EXPECT_EQ(f.neuron.NV.wEIF, 0.0);
  ASSERT_TRUE(f.StepToSpike(kDrive));
  EXPECT_DOUBLE_EQ(f.neuron.NV.wEIF, 0.0003);
  for (int i = 0; i < 20; ++i) f.Step(kDrive);
  EXPECT_DOUBLE_EQ(f.neuron.NV.wEIF, 0.0003);
}

TEST(LIFNeuron, MarksTheSpikeOneStepAfterTheCrossingAndStaysRefractory) {
  LIFFixture f(LIFRecord());
  const NeuronVariables& nv = f.neuron.NV;
  const NeuronProperties& np = f.neuron.NP;
  while (f.clock.t < 0.5 && nv.V <= np.Vrest + nv.VThr) ASSERT_FALSE(f.Step(kDrive));
  const double crossing = f.clock.t;
  EXPECT_DOUBLE_EQ(nv.V, np.Vrest + nv.VThr + 0.001);  // held just above the threshold
  ASSERT_TRUE(f.Step(kDrive));
  const double tSpike = f.clock.t;
  EXPECT_NEAR(tSpike, crossing + f.clock.dt, 1e-12);
  EXPECT_DOUBLE_EQ(nv.tLastSpike, tSpike);
  EXPECT_DOUBLE_EQ(nv.V, np.Vreset);  // the marking step is not integrated
  EXPECT_DOUBLE_EQ(nv.VThrDyn, np.Vthr_AP);

  // Within the absolute refractory period V and dV/dt are frozen, and the
  // threshold of a voltage that does not rise rules out a second spike.
  while (f.clock.t + f.clock.dt < tSpike + np.tau_abs - f.clock.dt / 2) {
    ASSERT_FALSE(f.Step(kDrive));
    EXPECT_DOUBLE_EQ(nv.V, np.Vreset);
    EXPECT_DOUBLE_EQ(nv.dVdt, 0.0);
    EXPECT_DOUBLE_EQ(nv.VThr, 0.1);
  }
  f.Step(kDrive);
  f.Step(kDrive);
  EXPECT_GT(nv.V, np.Vreset);
}

TEST(LIFNeuron, IntervalsCountFromTheStartAndThenBetweenSpikes) {
  LIFFixture f(LIFRecord());
  ASSERT_TRUE(f.StepToSpike(kDrive));
  const double first = f.clock.t;
  EXPECT_DOUBLE_EQ(f.neuron.NV.ISI, first);
  ASSERT_TRUE(f.StepToSpike(kDrive));
  EXPECT_NEAR(f.neuron.NV.ISI, f.clock.t - first, 1e-12);
  EXPECT_GT(f.neuron.NV.ISI, f.neuron.NP.tau_abs);
}

TEST(LIFNeuron, ExponentialCurrentIsBoundedAndSpikeDependentTermsWaitForASpike) {
  NeuronProperties np = LIFRecord();
  np.EIF_deltaT = 0.002;
  np.EIF_tauw = 0.1;
  np.EIF_a = 0.01;
  LIFFixture plain(np);
  np.EIF_SpikeDependent = 1;
  LIFFixture dependent(np);
  // Before the first spike the spike-dependent leak and threshold are the plain ones.
  for (int i = 0; i < 100; ++i) {
    plain.Step(kDrive);
    dependent.Step(kDrive);
    ASSERT_EQ(plain.neuron.NV.SpikePhase, 0);
    ASSERT_DOUBLE_EQ(plain.neuron.NV.V, dependent.neuron.NV.V) << "step " << i;
  }
  // After a spike the leak and the threshold voltage relax back to their values.
  ASSERT_TRUE(dependent.StepToSpike(kDrive));
  for (int i = 0; i < 60; ++i) ASSERT_FALSE(dependent.Step(kDrive));  // 3 ms: past the refractory period
  {
    const NeuronVariables& nv = dependent.neuron.NV;
    const NeuronProperties& p = dependent.neuron.NP;
    const double r = (dependent.clock.t - nv.tLastSpike) * 1000.0;
    const double VL = p.VL + 0.0498 * std::exp(-r / 32.8) - 0.0427 * std::exp(-r / 42.9);
    const double gL = p.gL * (1.0 + 50.0 * p.tau_m * std::exp(-r / 20.0));
    const double VT = p.EIF_VT + 0.0184 * std::exp(-r / 14.0);
    const double expected = std::exp((nv.Vprev - VT) / p.EIF_deltaT) * gL * p.EIF_deltaT - nv.wEIF -
                            (nv.Vprev - VL) * gL + kDrive;
    EXPECT_NEAR(nv.Iion, expected, 1e-12);
  }

  // Far above VT the exponential saturates at e^20·gL·deltaT. The threshold is
  // put out of reach so that the step is not a spike.
  plain.neuron.NV.V = np.EIF_VT + 1.0;
  plain.neuron.NV.dVdt = 1.0;
  plain.neuron.NV.wEIF = 0.0;
  plain.neuron.NP.EIF_tauw = 0.0;
  plain.neuron.NP.FixThr = 2.0;
  plain.Step(0.0);
  const NeuronProperties& p = plain.neuron.NP;
  const double V = np.EIF_VT + 1.0;
  EXPECT_NEAR(plain.neuron.NV.Iion, std::exp(20.0) * p.gL * p.EIF_deltaT - (V - p.VL) * p.gL,
              1e-9 * std::exp(20.0) * p.gL * p.EIF_deltaT);
}

TEST(LIFNeuron, ParameterWindowPresets) {
  NeuronProperties np = LIFRecord();
  np.Cm = 0.001;
  np.Square = 2e-5;
  np.Vrest = -0.064;
  NeuronProperties brette = np;
  SetBretteDefaults(brette);
  EXPECT_EQ(brette.EIF_SpikeDependent, 0);
  EXPECT_DOUBLE_EQ(brette.Square, 2e-5);
  EXPECT_DOUBLE_EQ(brette.Vrest, -0.064);
  EXPECT_DOUBLE_EQ(brette.EIF_VT, -0.0504);
  EXPECT_DOUBLE_EQ(brette.FixThr, 0.08);
  EXPECT_DOUBLE_EQ(brette.EIF_deltaT, 0.002);
  EXPECT_DOUBLE_EQ(brette.EIF_tauw, 0.144);
  EXPECT_NEAR(brette.EIF_a * brette.Square * 1e9, 4e3, 1e-9);    // 4 nS, as pA per V
  EXPECT_NEAR(brette.EIF_dw * brette.Square * 1e9, 80.5, 1e-9);  // 0.0805 nA, in pA

  NeuronProperties badel = np;
  badel.EIF_a = badel.EIF_dw = badel.EIF_tauw = 1.0;
  SetBadelDefaults(badel);
  EXPECT_EQ(badel.EIF_SpikeDependent, 1);
  EXPECT_NEAR(badel.Square, 2.6e-4, 1e-15);  // 260 pF at 1 muF/cm²
  EXPECT_DOUBLE_EQ(badel.Vrest, -0.057);
  EXPECT_DOUBLE_EQ(badel.tau_m, 0.0172);
  EXPECT_DOUBLE_EQ(badel.EIF_VT, -0.042);
  EXPECT_DOUBLE_EQ(badel.FixThr, 0.08);
  EXPECT_DOUBLE_EQ(badel.EIF_deltaT, 0.00151);
  EXPECT_EQ(badel.EIF_tauw, 0.0);
  EXPECT_EQ(badel.EIF_a, 0.0);
  EXPECT_EQ(badel.EIF_dw, 0.0);

  // Without a membrane area (or capacitance) the whole-cell values cannot be
  // turned into densities; the record stays as it was.
  NeuronProperties noArea = np;
  noArea.Square = 0.0;
  EXPECT_THROW(SetBretteDefaults(noArea), RangeError);
  EXPECT_EQ(noArea.EIF_tauw, np.EIF_tauw);
  NeuronProperties noCapacitance = np;
  noCapacitance.Cm = 0.0;
  EXPECT_THROW(SetBadelDefaults(noCapacitance), RangeError);
  EXPECT_EQ(noCapacitance.Square, np.Square);
}

// Records the times of the spikes a run marks.
class SpikeRecorder final : public RunViewSink {
 public:
  void Spike(double tSpike) override { spikes.push_back(tSpike); }
  std::vector<double> spikes;
};

TEST(LIFNeuron, FiresRegularlyInAClampRun) {
  Session s;
  s.NP0 = LIFRecord();
  s.stim.Iind = kDrive * s.NP0.Square * 1e9;  // pA
  s.stim.t_IindShift = 0.0;
  s.stim.t_Iind = 1.0;
  s.stim.uu = s.stim.ss = 0.0;
  SetRunLength(s.run, 0.2);
  BatchHost host;
  SpikeRecorder views;
  RunClamp(s, host, views);
  ASSERT_GE(views.spikes.size(), 5u);
  EXPECT_EQ(s.spikes.nSpikes, static_cast<int>(views.spikes.size()));
  // A constant current: every interval after the first is the same, to a step.
  const double interval = views.spikes[2] - views.spikes[1];
  for (std::size_t k = 2; k < views.spikes.size(); ++k) {
    EXPECT_NEAR(views.spikes[k] - views.spikes[k - 1], interval, 1.01 * s.run.dt) << "spike " << k;
  }
  EXPECT_NEAR(s.spikes.ISI[0], interval, 1.01 * s.run.dt);
}

}  // namespace
}  // namespace membrix
