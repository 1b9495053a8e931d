#include "thresholdmodel/threshold_model_step.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>

#include "channels/potassium.h"
#include "neuron/neuron_test_support.h"
#include "run/session.h"
#include "thresholdmodel/dispersion.h"
#include "thresholdmodel/threshold_spike_test.h"
#include "thresholdmodel/threshold_table.h"

namespace membrix {
namespace {

TEST(ThresholdFunction, RuleInItsOrder) {
  const struct {
    const char* name;
    const char* family;
    bool fixTicked;
    double FixThr;
    bool table;  // a table was read
    double dVdt;
    double expected;
  } cases[] = {
      {"not rising beats every setting", "Lyle", true, 0.015, true, 0.0, 0.1},
      {"the ensemble window's fixed threshold", "Lyle", true, 0.015, true, 5.0, 0.003 + 0.014},
      {"FixThr without the shift", "Lyle", false, 0.015, true, 5.0, 0.015},
      {"power law at its lowest rate", "Migliore", false, 0.0, true, 1e-6, 0.003 + ThresholdPowerLaw(1e-5)},
      {"power law", "Migliore", false, 0.0, true, 4.0, 0.003 + ThresholdPowerLaw(4.0)},
      {"Lyle reads its table", "Lyle", false, 0.0, true, 1e9, 0.003 + 0.030},
      {"Chow reads the same table", "Chow", false, 0.0, true, 1e-7, 0.003 + 0.010},
      {"no table read: the power law", "Lyle", false, 0.0, false, 4.0, 0.003 + ThresholdPowerLaw(4.0)},
  };
  for (const auto& c : cases) {
    Session s;
    s.NP0.HH_type = c.family;
    s.NP0.FixThr = c.FixThr;
    s.thresholdModel.FixThresholdTicked = c.fixTicked;
    s.thresholdModel.FixThresholdMv = 14.0;
    if (c.table) {
      s.thresholdModel.ThresholdScale = 0.001;
      s.thresholdModel.ThresholdTable.fill(30.0);
      s.thresholdModel.ThresholdTable[0] = 10.0;
    }
    EXPECT_NEAR(ThresholdFunction(s, 0.01, 0.003, c.dVdt), c.expected, 1e-12) << c.name;
  }
}

TEST(ThresholdSpikeTest, MarkLastsOneCallAndSpikesKeepTheirDistance) {
  for (const char* family : {"Lyle", "Passive"}) {
    const bool passive = std::string(family) == "Passive";
    Session s;
    NeuronProperties np;
    np.HH_type = family;
    np.dT_AP = 0.002;
    double tLastSpike = -888.0;
    std::int32_t phase = 0;
    s.run.t = 0.01;
    EXPECT_FALSE(ThresholdSpikeTest(s, np, tLastSpike, phase, -0.06, -0.05, 0.0)) << family;
    // A voltage curving up steeply is not yet a spike, unless the membrane is passive.
    EXPECT_EQ(ThresholdSpikeTest(s, np, tLastSpike, phase, -0.04, -0.05, 1000.0), passive) << family;
    if (!passive) {
      ASSERT_TRUE(ThresholdSpikeTest(s, np, tLastSpike, phase, -0.04, -0.05, 999.0));
    }
    EXPECT_EQ(phase, 2) << family;
    EXPECT_DOUBLE_EQ(tLastSpike, 0.01) << family;
    EXPECT_DOUBLE_EQ(s.spikes.ISI[0], 0.01) << family;  // the first interval is the time of the first spike

    s.run.t = 0.011;  // within dT_AP of the spike
    EXPECT_EQ(ThresholdSpikeTest(s, np, tLastSpike, phase, -0.04, -0.05, 0.0), passive) << family;
    EXPECT_EQ(phase, passive ? 2 : 0) << family;
    s.run.t = 0.015;
    ASSERT_TRUE(ThresholdSpikeTest(s, np, tLastSpike, phase, -0.04, -0.05, 0.0)) << family;
    EXPECT_NEAR(s.spikes.ISI[0], passive ? 0.004 : 0.005, 1e-12) << family;
    s.run.t = 0.016;
    EXPECT_FALSE(ThresholdSpikeTest(s, np, tLastSpike, phase, -0.06, -0.05, 0.0)) << family;
    EXPECT_EQ(phase, 0) << family;
  }
}

// A session with the threshold model of a family at rest, at step nt.
Session ModelSession(const std::string& family, const std::string& geometry = "1-point") {
  Session s;
  s.NP0 = testing::PassiveRecord(geometry);
  s.NP0.HH_type = family;
  s.NP0.ThrModel = 1;
  s.NP0.dT_AP = 0.002;
  s.NP0.Vreset = -0.07;
  s.NP0.VL = s.NP0.Vrest;
  s.NP0.FRT = s.NP0.F_Faraday / s.NP0.R_gas / s.NP0.Temp / 1000.0;
  s.NP0.n_AP = 0.6;
  s.NP0.yK_AP = 0.5;
  s.NP0.nA_AP = 0.4;
  s.NP0.lA_AP = 0.3;
  s.NP0.xD_AP = 0.2;
  s.NP0.nH_AP = 0.1;
  s.stim.Iind = 0.0;
  s.stim.uu = s.stim.ss = 0.0;
  s.run.StartState.V = s.NP0.Vrest;
  s.run.StartState.VatE = s.NP0.Vrest;
  return s;
}

void AtStep(Session& s, int nt) {
  s.run.nt = nt;
  s.run.t = nt * s.run.dt;
}

TEST(ThresholdModelStep, SpikeHoldsTheVoltageAndJumpsTheGatesOnce) {
  for (const char* family : {"Lyle", "Passive"}) {
    Session s = ModelSession(family);
    StartStateRecord& st = s.run.StartState;
    st.wAHP = 0.0;
    st.nM = 0.2;
    st.yD = 0.5;
    const double dt = s.run.dt;
    double dVdt = 3.0;
    double d2Vdt2 = 50.0;
    for (int k = 0; k * dt <= s.NP0.dT_AP; ++k) {
      AtStep(s, 100 + k);
      ThresholdModelStep(s, dVdt, d2Vdt2, k * dt);
      EXPECT_DOUBLE_EQ(st.V, std::string(family) == "Passive" ? -0.07 : -0.04) << family;
      EXPECT_DOUBLE_EQ(st.VatE, s.NP0.Vrest);
      EXPECT_EQ(dVdt, 0.0);
      EXPECT_EQ(d2Vdt2, 0.0);
      EXPECT_DOUBLE_EQ(ThresholdFunction(s, k * dt, 0.0, dVdt), 0.1);  // no spike while held
      EXPECT_DOUBLE_EQ(st.nn, 0.6);
      EXPECT_DOUBLE_EQ(st.nH, 0.1);
    }
    // The jumps come with the first step after the spike only.
    EXPECT_DOUBLE_EQ(st.wAHP, 0.0177) << family;
    EXPECT_DOUBLE_EQ(st.nM, 0.2 + 0.8 * 0.175) << family;
    EXPECT_DOUBLE_EQ(st.yD, 0.35) << family;
  }
}

TEST(ThresholdModelStep, RunStartsWithTheGatesAtTheirSteadyState) {
  Session s = ModelSession("Lyle");
  StartStateRecord& st = s.run.StartState;
  st.nn = st.yK = st.nA = st.lA = st.xD = st.yD = st.nH = st.nM = st.wAHP = 0.77;
  AtStep(s, 1);
  double dVdt = 0.0;
  double d2Vdt2 = 0.0;
  ThresholdModelStep(s, dVdt, d2Vdt2, 1.0);
  const double v = 1000.0 * s.NP0.Vrest;
  const double f = s.NP0.FRT;
  EXPECT_DOUBLE_EQ(st.nn, TLyleK::RatesN(v, f).inf);
  EXPECT_DOUBLE_EQ(st.yK, TLyleK::RatesY(v, f).inf);
  EXPECT_DOUBLE_EQ(st.lA, TLyleKA::RatesL(v, f).inf);
  EXPECT_DOUBLE_EQ(st.yD, TLyleKD::RatesY(v, f).inf);
  EXPECT_DOUBLE_EQ(st.nH, TLyleH::Rates(v, f).inf);
  EXPECT_DOUBLE_EQ(st.wAHP, 1.0 / (1.0 + std::exp(-(v + 35.0) / 10.0)));

  // A family computes only its own gates; the others start closed.
  Session m = ModelSession("Migliore");
  m.run.StartState.yK = m.run.StartState.nH = 0.77;
  AtStep(m, 1);
  ThresholdModelStep(m, dVdt, d2Vdt2, 1.0);
  EXPECT_EQ(m.run.StartState.yK, 0.0);
  EXPECT_EQ(m.run.StartState.nH, 0.0);
  EXPECT_NEAR(m.run.StartState.nn, 1.0 / (1.0 + std::exp(-0.11 * (v - 13.0))), 1e-12);

  // Later steps relax the gates instead.
  AtStep(s, 2);
  st.nH = 0.0;
  ThresholdModelStep(s, dVdt, d2Vdt2, 1.0);
  EXPECT_NEAR(st.nH, (1.0 - std::exp(-1000.0 * s.run.dt / 180.0)) * TLyleH::Rates(v, f).inf, 1e-12);
}

TEST(ThresholdModelStep, IntegratesTheMembraneOfEachGeometry) {
  for (const char* geometry : {"1-point", "2-points", "2-p-MainenSejn"}) {
    Session s = ModelSession("Passive", geometry);
    NeuronProperties& np = s.NP0;
    np.VL = np.Vrest - 0.004;
    s.stim.uu = 0.0005;
    s.stim.ss = 0.01;
    s.stim.Iind = 30.0;  // pA
    s.stim.t_IindShift = 0.0;
    s.stim.t_Iind = 1.0;
    StartStateRecord& st = s.run.StartState;
    st.V = np.Vrest + 0.003;
    st.VatE = np.Vrest + 0.001;
    AtStep(s, 5);
    double dVdt = 0.4;
    double d2Vdt2 = 0.0;
    const double V = st.V;
    const double VatE = st.VatE;
    ThresholdModelStep(s, dVdt, d2Vdt2, 0.5);

    const double injected = 30.0 / (np.Square * 1e9);
    const double Isyn = 0.0005 - 0.01 * (V - np.VK);
    const double X = injected + Isyn - np.gL * (V - np.VL);
    EXPECT_NEAR(s.NV0.Isyn, Isyn, 1e-15) << geometry;
    const std::string g = geometry;
    double expectedRate = 0.4;  // a geometry the model does not integrate keeps its state
    double expectedVatE = VatE;
    if (g == "1-point") {
      expectedRate = X / np.Cm;
    } else if (g == "2-points") {
      const double G1 = np.gL;
      const double G2 = G1 * 3.7 / 1.3;
      expectedRate = (X + G2 * (VatE - V)) / np.Cm;
      expectedVatE = VatE + s.run.dt / np.Cm * (-G1 * (VatE - np.Vrest) - (2 * G1 + G2) * (VatE - V));
    }
    EXPECT_NEAR(dVdt, expectedRate, 1e-9) << geometry;
    EXPECT_NEAR(st.V, g == "2-p-MainenSejn" ? V : V + s.run.dt * expectedRate, 1e-15) << geometry;
    EXPECT_NEAR(st.VatE, expectedVatE, 1e-15) << geometry;
    EXPECT_NEAR(d2Vdt2, (dVdt - 0.4) / s.run.dt, 1e-6) << geometry;
  }
}

TEST(Dispersion, MomentsStartAtZeroAndFollowTheLinearisedMembrane) {
  Session s;
  s.NP0.Cm = 0.001;
  s.run.dt = 5e-5;
  const double Vm = 0.01, gLeak = 0.05, m = 2.0, gE = 0.1, a = 0.03;
  for (auto [nt, flag] : {std::pair{1, 0}, std::pair{40, 2}}) {
    s.run.nt = nt;
    double S = 3.0, S2 = 4.0;
    DispersionStep(s, flag, S, S2, Vm, gLeak, m, gE, a);
    EXPECT_EQ(S, 0.0) << "nt = " << nt << ", flag = " << flag;
    EXPECT_EQ(S2, 0.0) << "nt = " << nt << ", flag = " << flag;
  }
  s.run.nt = 40;
  double S = 0.2, S2 = 0.3;
  DispersionStep(s, 0, S, S2, Vm, gLeak, m, gE, a);
  const double h = s.run.dt / s.NP0.Cm;
  const double r = -(m * (gE + a) + gLeak);
  EXPECT_NEAR(S, 0.2 + h * (r * 0.2 - a * m * Vm), 1e-15);
  EXPECT_NEAR(S2, 0.3 + h * (r * 0.3 - a * a * m * Vm), 1e-15);
  double V = Vm;
  DispersionMeanShift(s, V, a, m, S);
  EXPECT_NEAR(V, Vm - h * a * m * S, 1e-15);
}

}  // namespace
}  // namespace membrix
