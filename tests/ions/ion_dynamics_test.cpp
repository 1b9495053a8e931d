#include "ions/ion_dynamics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "neuron/neuron.h"
#include "neuron/neuron_test_support.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "run/clamp_run.h"
#include "run/session.h"

namespace membrix {
namespace {

IonInputs On() {
  IonInputs in;
  in.IonDynamics = 1;
  return in;
}

// A record with distinct reversal potentials, so that every offset shows.
NeuronProperties Record(const std::string& family = "Passive") {
  NeuronProperties np = testing::PassiveRecord();
  np.HH_type = family;
  np.gL = 0.05;
  np.Vrest = -0.065;
  np.VL = -0.060, np.VLd = -0.062;
  np.VK = -0.090, np.VKn = -0.091, np.VKM = -0.092, np.VKD = -0.093, np.VAHP = -0.095;
  np.VNa = 0.050;
  return np;
}

TEST(IonDynamics, NernstPotentialsAtTheInitialConcentrations) {
  NeuronProperties np = Record();
  TIons ions;
  ions.Setup(np, On());
  EXPECT_NEAR(ions.EK * 1000.0, -105.1, 0.05);
  EXPECT_NEAR(ions.ENa * 1000.0, 67.5, 0.05);
  EXPECT_NEAR(ions.ECl * 1000.0, -86.8, 0.05);
  // The leak reversal weighs them by the leak each ion carries (0.6 K, 0.3 Na, 0.1 Cl).
  EXPECT_NEAR(ions.EL, 0.6 * ions.EK + 0.3 * ions.ENa + 0.1 * ions.ECl, 1e-15);

  // Concentrations driven to zero or below keep every potential finite, and a
  // cell without a leak keeps a defined leak reversal.
  const struct {
    const char* what;
    double Nai, Ki, Cli, gL;
  } cases[] = {{"no Na inside", 0.0, 129.34, 5.0, 0.05},
               {"negative K inside", 10.0, -1.0, 5.0, 0.05},
               {"no Cl inside", 10.0, 129.34, 0.0, 0.05},
               {"no leak", 10.0, 129.34, 5.0, 0.0}};
  for (const auto& c : cases) {
    NeuronProperties r = Record();
    r.gL = c.gL;
    TIons t;
    t.Setup(r, On());
    t.Nai = c.Nai, t.Ki = c.Ki, t.Cli = c.Cli;
    t.UpdateNernst();
    EXPECT_TRUE(std::isfinite(t.ENa) && std::isfinite(t.EK) && std::isfinite(t.ECl) && std::isfinite(t.EL))
        << c.what;
  }
}

TEST(IonDynamics, PumpRateOfEachTypeAgainstHandComputedValues) {
  // Values worked out from the pump formulas independently of the program.
  const struct {
    int type;
    double V, alpha, dV, Nai, Ko, expected;
  } cases[] = {
      {0, -0.065, 10, 10, 10, 2.5, 0.03125},
      {0, 0.02, 10, 10, 200, 100, 0.8222130622548255},
      {0, -0.03, 30, 5, 25, 4.0, 0.03556519767581432},
      {1, -0.065, 10, 10, 10, 2.5, 0.13447071068499755},
      {1, 0.02, 10, 10, 200, 100, 1.0},
      {1, -0.03, 30, 5, 25, 4.0, 0.09888955677281173},
      {2, -0.065, 10, 10, 10, 2.5, 0.8338983498993073},
      {2, 0.02, 10, 10, 200, 100, 4.886695997729202},
      {2, -0.03, 30, 5, 25, 4.0, 1.3294986234173223},
      {3, -0.065, 10, 10, 10, 2.5, 0.17829452251597305},
      {3, 0.02, 10, 10, 200, 100, 0.991165527502331},
      {3, -0.03, 30, 5, 25, 4.0, 0.30340495147789137},
      {4, -0.065, 10, 10, 10, 2.5, 0.0},
      {-1, -0.065, 10, 10, 10, 2.5, 0.0},
  };
  for (const auto& c : cases) {
    TIons ions;  // Nao 125.9, Ki 129.34 mM
    ions.PumpType = c.type;
    ions.Nai = c.Nai;
    ions.Ko = c.Ko;
    EXPECT_NEAR(ions.PumpRate(c.V, c.alpha, c.dV), c.expected, 1e-13 * (1.0 + c.expected))
        << "type " << c.type << " V " << c.V << " Nai " << c.Nai << " Ko " << c.Ko;
  }
}

TEST(IonDynamics, OnlyDobretsovStimersDependsOnVoltage) {
  const struct {
    int type;
    double low, high;  // rate at -200 mV and at +100 mV relative to +20 mV
  } cases[] = {{0, 1.0, 1.0}, {1, 1.0, 1.0}, {3, 0.25, 1.0}};
  for (const auto& c : cases) {
    TIons ions;
    ions.PumpType = c.type;
    ions.Nai = 200, ions.Ko = 100;
    const double max = ions.PumpRate(1.0, 10, 10);  // far above -64.6 mV
    EXPECT_NEAR(ions.PumpRate(-0.2, 10, 10) / max, c.low, 1e-6) << "type " << c.type;
    EXPECT_NEAR(ions.PumpRate(0.1, 10, 10) / max, c.high, 1e-4) << "type " << c.type;
  }
}

TEST(IonDynamics, OffLeavesTheNeuronUntouched) {
  NeuronProperties np = Record("Bazhenov");
  const NeuronProperties before = np;
  NeuronVariables nv;
  nv.V = -0.02, nv.INa = -1.0, nv.IKsum = 0.5;
  IonInputs in;  // "Ion Dynamics" cleared, everything else busy
  in.NaK2 = 5, in.KCC2 = 1, in.NKCC1 = 1, in.IfVolume = 1, in.VL_Item = 1;
  TIons ions;
  ions.Setup(np, in);
  for (int i = 0; i < 10; ++i) ions.Advance(np, nv, 5e-5);
  EXPECT_EQ(ions.IonDynamics, 0);
  EXPECT_EQ(ions.Nai, TIons{}.Nai);
  for (double NeuronProperties::*f : {&NeuronProperties::gL, &NeuronProperties::VL, &NeuronProperties::VLd,
                                      &NeuronProperties::gLd, &NeuronProperties::VK, &NeuronProperties::VNa,
                                      &NeuronProperties::VAHP, &NeuronProperties::Ipump,
                                      &NeuronProperties::IpumpDend, &NeuronProperties::ro, &NeuronProperties::l}) {
    EXPECT_EQ(np.*f, before.*f);
  }
}

TEST(IonDynamics, BazhenovLeakIsRewrittenAtSetup) {
  for (double gL : {0.02, 0.05}) {
    NeuronProperties np = Record("Bazhenov");
    np.gL = gL;
    TIons ions;
    ions.Setup(np, On());
    EXPECT_DOUBLE_EQ(np.gL, 0.064) << "gL " << gL;  // the somatic leak, whatever gL was
    EXPECT_DOUBLE_EQ(np.gLd, gL);
    EXPECT_DOUBLE_EQ(np.l, 3.3 * gL);
    EXPECT_DOUBLE_EQ(np.ro, 165.0 * gL / 0.064);
    EXPECT_DOUBLE_EQ(np.VLd, ions.EL);
    EXPECT_DOUBLE_EQ(np.VL, (0.042 * ions.EK + 0.022 * ions.ENa) / 0.064);
    EXPECT_DOUBLE_EQ(np.Ipump, ions.IpumpRest / 1000.0);
    EXPECT_DOUBLE_EQ(ions.dVLoff, np.VL - ions.EL);  // offsets taken after the rewrite
  }
  NeuronProperties other = Record();
  TIons ions;
  ions.Setup(other, On());
  EXPECT_EQ(other.gL, 0.05);
  EXPECT_EQ(other.Ipump, 0.0);
}

// One step at rest, then concentrations moved by hand and one more step: the
// reversal potentials each rule gives.
TEST(IonDynamics, ReversalPotentialsFollowTheConcentrationsByVLItem) {
  for (int item : {0, 1, 2}) {
    NeuronProperties np = Record();
    IonInputs in = On();
    in.VL_Item = item;
    in.gamma = 0.0;  // concentrations move only by hand
    TIons ions;
    ions.Setup(np, in);
    const TIons atSetup = ions;
    NeuronVariables nv;
    nv.V = np.Vrest;
    ions.Advance(np, nv, 5e-5);
    EXPECT_EQ(np.Ipump, 0.0) << "item " << item;  // the pump current fed back starts at zero

    ions.Nai = 20.0, ions.Ki = 120.0;
    ions.Advance(np, nv, 5e-5);
    const double EK = ions.EK, ENa = ions.ENa, EL = ions.EL;
    ASSERT_GT(ENa, atSetup.ENa - 0.1);  // sanity: the potentials moved
    ASSERT_NE(ENa, atSetup.ENa);
    EXPECT_DOUBLE_EQ(np.Ipump, (ions.PumpCurrent(np.Vrest) - ions.IpumpRest) / 1000.0);
    EXPECT_EQ(np.IpumpDend, np.Ipump);
    switch (item) {
      case 0:
      case 2:
        EXPECT_NEAR(np.VK, EK + (-0.090 - atSetup.EK), 1e-15);
        EXPECT_NEAR(np.VKD, EK + (-0.093 - atSetup.EK), 1e-15);
        EXPECT_NEAR(np.VAHP, EK + (-0.095 - atSetup.EK), 1e-15);
        EXPECT_NEAR(np.VNa, ENa + (0.050 - atSetup.ENa), 1e-15);
        if (item == 0) {
          EXPECT_EQ(np.VL, -0.060);
        } else {
          EXPECT_NEAR(np.VL, EL + (-0.060 - atSetup.EL), 1e-15);
          EXPECT_NEAR(np.VLd, EL + (-0.062 - atSetup.EL), 1e-15);
        }
        break;
      case 1:  // the offsets are dropped: every K-type reversal is EK itself
        for (double v : {np.VK, np.VKn, np.VKM, np.VKD, np.VAHP}) EXPECT_EQ(v, EK);
        EXPECT_EQ(np.VNa, ENa);
        EXPECT_EQ(np.VL, EL);
        EXPECT_EQ(np.VLd, EL);
        EXPECT_DOUBLE_EQ(np.gL, 0.05);
        break;
    }
  }
}

// With the pump and the cotransporters off, no Na or K in the leak and the
// volume fixed, the concentrations change by exactly the charge the neuron's
// channels carry: gamma times the integrated Na (transient, resurgent and
// persistent) and K currents.
TEST(IonDynamics, ConcentrationsIntegrateTheChannelCurrents) {
  Session s;
  ApplyProgramStart(s);
  SelectModelFamily(s, "Destexhe");
  std::unique_ptr<TNeuron> nrn = CreateNeuron(s.NP0, s.View());
  nrn->InitState();
  IonInputs in = On();
  in.NaK1 = in.NaK2 = 0.0;
  in.gL_K_ratio = in.gL_Na_ratio = 0.0;
  TIons ions;
  ions.Setup(nrn->NP, in);
  const double h = 1000.0 * s.run.dt;
  double naCharge = 0.0, kCharge = 0.0;  // muA/cm^2 * ms
  const double Iext = 300.0 / (nrn->NP.Square * 1e9);  // 300 pA, a spike and a depolarised plateau
  for (int n = 1; n <= 4000; ++n) {
    s.run.t = n * s.run.dt;
    naCharge += h * TIons::NaChannelCurrent(nrn->NV);
    kCharge += h * 1000.0 * nrn->NV.IKsum;
    ions.Advance(nrn->NP, nrn->NV, s.run.dt);
    nrn->Step(0, 0, 0, 0, 0, Iext, 0);
  }
  ASSERT_GT(ions.Nai, 11.0);  // the depolarised cell loads Na
  EXPECT_NEAR(ions.Nai - 10.0, -in.gamma * naCharge, 1e-12 * (1.0 + std::abs(ions.Nai)));
  EXPECT_NEAR(ions.Ki - 129.34, -in.gamma * kCharge, 1e-11 * ions.Ki);
  EXPECT_EQ(ions.Vol, 1.0);
}

TEST(IonDynamics, VolumeShrinksUnderCotransportWhenSwitchedOn) {
  for (int ifVolume : {0, 1}) {
    NeuronProperties np = Record();
    IonInputs in = On();
    in.IfVolume = ifVolume;
    in.NKCC1 = 0.5;
    TIons ions;
    ions.Setup(np, in);
    NeuronVariables nv;
    nv.V = np.Vrest;
    for (int i = 0; i < 200; ++i) ions.Advance(np, nv, 5e-5);
    if (ifVolume == 0) {
      EXPECT_EQ(ions.Vol, 1.0);
    } else {
      EXPECT_LT(ions.Vol, 1.0);
      EXPECT_GT(ions.Vol, 0.99);
    }
  }
}

TEST(IonDynamics, IonFileLine) {
  Session s;
  s.run.t = 0.0125;
  s.NV0.V = -0.0652;
  TIons ions;
  ions.IonDynamics = 1;
  ions.I_Na_K_pump = 1.23456;
  ions.Nai = 10.5;
  ions.ENa = 0.0661;
  ions.Ki = 129.0;
  ions.EK = -0.1049;
  std::string line;
  ions.WriteLine(s, line);
  EXPECT_EQ(line, "  12.500  -65.200      1.235  10.500  66.100 129.000    -0.105 \n");
  ions.IonDynamics = 0;
  line.clear();
  ions.WriteLine(s, line);
  EXPECT_EQ(line, "");
}

TEST(IonDynamics, PumpCharacteristicsSweepNaiKoAndVoltage) {
  Session s;
  ApplyProgramStart(s);
  s.ionInputs.NaK2 = 4.0;
  s.ionInputs.PumpType = 0;
  const PumpCharacteristics pc = PlotPumpCharacteristics(s);
  EXPECT_EQ(s.ionInputs.IonDynamics, 1);
  const struct {
    const PumpCurve* c;
    std::size_t n;
    double first, last;
  } cases[] = {{&pc.ofNai, 100, 1, 100}, {&pc.ofKo, 100, 0.5, 50}, {&pc.ofV, 101, -100, 0}};
  for (const auto& c : cases) {
    ASSERT_EQ(c.c->x.size(), c.n);
    ASSERT_EQ(c.c->alpha1.size(), c.n);
    ASSERT_EQ(c.c->alpha2.size(), c.n);
    EXPECT_DOUBLE_EQ(c.c->x.front(), c.first);
    EXPECT_DOUBLE_EQ(c.c->x.back(), c.last);
  }
  // Bazhenov-Kager at Ko = 100 mM: NaK / ((1 + 2.5/100)^2 (1 + alpha/Nai)^3).
  const double k = 1.025 * 1.025;
  EXPECT_DOUBLE_EQ(pc.ofNai.alpha1[9], 10.0 / (k * 8.0));               // Nai 10, alpha 10
  EXPECT_DOUBLE_EQ(pc.ofNai.alpha2[29], 4.0 / (k * 8.0));               // Nai 30, alpha 30
  EXPECT_DOUBLE_EQ(pc.ofV.alpha1.front(), pc.ofV.alpha1.back());        // no voltage dependence
}

// A sustained current step with ion dynamics on: Na loads the cell, the pump
// current grows with it and feeds back as an outward current.
TEST(IonDynamics, ClampRunLoadsSodiumAndDrivesThePump) {
  Session s;
  ApplyProgramStart(s);
  SelectModelFamily(s, "Destexhe");
  s.ionInputs = On();
  s.stim.Iind = 300.0;  // pA
  SetRunLength(s.run, 0.3);
  s.stim.t_Iind = 0.3;
  s.stim.t_IindShift = 0.0;
  BatchHost host;
  NullRunViewSink views;
  RunClamp(s, host, views);
  EXPECT_EQ(s.Ions.IonDynamics, 1);
  EXPECT_GT(s.Ions.Nai, 10.5);
  EXPECT_GT(s.Ions.I_Na_K_pump, s.Ions.IpumpRest);
}

TEST(IonDynamics, RunWithIonDynamicsOffIsUnchanged) {
  auto finalV = [](IonInputs in) {
    Session s;
    ApplyProgramStart(s);
    SelectModelFamily(s, "Destexhe");
    s.ionInputs = in;
    SetRunLength(s.run, 0.05);
    BatchHost host;
    NullRunViewSink views;
    RunClamp(s, host, views);
    return std::vector<double>{s.NV0.V, s.NV0.nn, s.NP0.VK, s.NP0.Ipump};
  };
  IonInputs busy;  // off, with every other input changed
  busy.NaK1 = 50, busy.NaK2 = 5, busy.KCC2 = 1, busy.NKCC1 = 1, busy.IfVolume = 1, busy.VL_Item = 1;
  busy.PumpType = 2;
  EXPECT_EQ(finalV(IonInputs{}), finalV(busy));
}

}  // namespace
}  // namespace membrix
