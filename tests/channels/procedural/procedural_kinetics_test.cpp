// The procedural channel library where its formulas are its own: what it
// ignores that the classes use, its Ca pool and Nernst reversal, the Bst and AHP
// gates, the start at rest, the conductance sum and the Lyle Na scheme.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "channels/calcium.h"
#include "channels/multistate_schemes.h"
#include "channels/potassium.h"
#include "channels/procedural/hh_canal.h"
#include "channels/procedural/hh_chow.h"
#include "channels/procedural/hh_lyle.h"
#include "channels/procedural/hh_migli.h"
#include "channels/procedural/procedural_test_support.h"
#include "run/session.h"

namespace membrix {
namespace {

using Gate = double NeuronVariables::*;
using NV = NeuronVariables;

// ---- What the procedural formulas leave out ------------------------------------

TEST(ProceduralKinetics, IgnoresWhatItsFormulasDoNotHave) {
  struct Case {
    const char* name;
    const char* family;
    std::function<double(Session&, ProceduralGlobals&)> current;
    std::vector<Gate> gates;
    std::function<void(Session&)> change;  // applied to one of two otherwise equal sessions
  };
  auto na = [](Session& s, ProceduralGlobals& g) { return ProcINa(s, g); };
  auto k = [](Session& s, ProceduralGlobals&) { return ProcIK(s); };
  auto km = [](Session& s, ProceduralGlobals&) { return ProcIKM(s); };
  auto nar = [](Session& s, ProceduralGlobals&) { return ProcINaR(s); };
  // The currents without a block factor, summed with weights that keep them apart.
  auto unblockable = [](Session& s, ProceduralGlobals& g) {
    testing::StepAllCurrents(s, g);
    const NV& nv = s.NV0;
    return nv.IKD + 2 * nv.IH + 4 * nv.ICaH + 8 * nv.ICaT + 16 * nv.IKCa + 32 * nv.IAHP + 64 * nv.INaP;
  };
  const Case cases[] = {
      {"Rariza K keeps its own numbers",
       "Rariza",
       k,
       {&NV::nn},
       [](Session& s) {
         s.NP0.a1K = 0.05;
         s.NP0.b1K = 0.5;
         s.NP0.b3K = 20.0;
       }},
      {"parametric Na has no slow inactivation",
       "Destexhe",
       na,
       {&NV::mm, &NV::hh, &NV::ii},
       [](Session& s) { s.NP0.If_Slow_Na_inactivation = 1 - s.NP0.If_Slow_Na_inactivation; }},
      {"Migliore Na has no slow-inactivation switch",
       "Migliore",
       na,
       {&NV::mm, &NV::hh, &NV::ii},
       [](Session& s) { s.NP0.If_Slow_Na_inactivation = 1 - s.NP0.If_Slow_Na_inactivation; }},
      {"Migliore K has no K shift", "Migliore", k, {&NV::nn}, [](Session& s) { s.NP0.KThreshShift = 10.0; }},
      {"Chow K has no K shift and no temperature factor",
       "Chow",
       k,
       {&NV::nn},
       [](Session& s) {
         s.NP0.KThreshShift = 10.0;
         s.NP0.Temp = 296.0;
         s.NP0.TempFactor = 3.0;
       }},
      {"Chow Na has no slow inactivation and no temperature factor",
       "Chow",
       na,
       {&NV::mm, &NV::hh, &NV::ii},
       [](Session& s) {
         s.NP0.If_Slow_Na_inactivation = 1;
         s.NP0.Temp = 296.0;
         s.NP0.TempFactor = 3.0;
       }},
      {"Lyle KM has a fixed rate scale and no temperature factor",
       "Lyle",
       km,
       {&NV::nM},
       [](Session& s) {
         s.NP0.tauKM2 = 10.0;
         s.NP0.TempFactor = 3.0;
       }},
      {"Lyle KM sees the soma with an active dendrite",
       "Lyle",
       km,
       {&NV::nM},
       [](Session& s) {
         s.NP0.HH_order = "2-p-ActiveDend";
         s.NV0.VatE = -0.09;
       }},
      {"LyleMS NaR is unshifted and blocked with the Na current",
       "Lyle",
       nar,
       {&NV::mmR, &NV::hhR},
       [](Session& s) {
         s.NP0.NaThreshShift = 5.0;
         s.NP0.IfBlockNaR = 1;
       }},
      {"KD, H, Ca, KCa, AHP and NaP have no block factor",
       "Lyle",
       unblockable,
       {&NV::xD, &NV::nKCa, &NV::mNaP},
       [](Session& s) {
         NeuronProperties& np = s.NP0;
         np.IfBlockKD = np.IfBlockH = np.IfBlockCaH = np.IfBlockCaT = np.IfBlockKCa = np.IfBlockAHP = 1;
         np.IfBlockNaP = 1;
       }},
  };
  for (const Case& c : cases) {
    Session a;
    testing::UseFamily(a, c.family);
    NeuronProperties& np = a.NP0;
    np.gNaR = np.gCaH = np.gCaT = np.gKCa = np.gNaP = 1.0;
    np.gH = 0.1;
    a.NV0.V = a.NV0.VatE = -0.065;
    ProceduralGlobals ga;
    ProcInitGates(a, ga);
    Session b;
    b.NP0 = a.NP0;
    b.NV0 = a.NV0;
    b.run.dt = a.run.dt;
    ProceduralGlobals gb = ga;
    c.change(b);

    a.NV0.V = b.NV0.V = -0.02;  // a depolarisation moves every gate
    for (int step = 1; step <= 200; ++step) {
      const double expected = c.current(a, ga);
      ASSERT_NE(expected, 0.0) << c.name;
      ASSERT_DOUBLE_EQ(c.current(b, gb), expected) << c.name << ", step " << step;
      for (Gate gate : c.gates) ASSERT_DOUBLE_EQ(b.NV0.*gate, a.NV0.*gate) << c.name << ", step " << step;
    }
  }
}

TEST(ProceduralKinetics, RarizaKIsTheClassicSquidAxonCurrent) {
  Session s;
  testing::UseFamily(s, "Rariza");  // the classic coefficients a1K ... b3K
  for (double v : {-90.0, -60.0, -50.0, -20.0, 30.0}) {
    const GateRates classic = TRarizaK::Rates(v, s.NP0);
    const GateRates fixed = RarizaKRates(v, s.NP0.Tr_Na);
    EXPECT_DOUBLE_EQ(fixed.inf, classic.inf) << v << " mV";
    EXPECT_DOUBLE_EQ(fixed.tau, classic.tau) << v << " mV";
  }
}

TEST(ProceduralKinetics, NaThreshShiftMovesOnlyTheActivation) {
  const struct {
    const char* name;
    SodiumRates (*rates)(double v, double NaThreshShift);
  } cases[] = {{"Migliore", MiglioreNaRates}, {"Chow", ChowNaRates}};
  for (const auto& c : cases) {
    for (double v : {-70.0, -45.0, -20.0}) {
      const SodiumRates shifted = c.rates(v, 5.0);
      const SodiumRates plain = c.rates(v, 0.0);
      EXPECT_DOUBLE_EQ(shifted.m.inf, c.rates(v - 5.0, 0.0).m.inf) << c.name << " at " << v << " mV";
      EXPECT_DOUBLE_EQ(shifted.m.tau, c.rates(v - 5.0, 0.0).m.tau) << c.name << " at " << v << " mV";
      EXPECT_EQ(shifted.h.inf, plain.h.inf) << c.name << " at " << v << " mV";
      EXPECT_EQ(shifted.h.tau, plain.h.tau) << c.name << " at " << v << " mV";
      EXPECT_EQ(shifted.s.inf, plain.s.inf) << c.name << " at " << v << " mV";
    }
  }
  // The Chow activation is half open at -26 mV with 0.17 per mV, twice as steep
  // as the Chow Na channel's.
  EXPECT_NEAR(ChowNaRates(-16.0, 0.0).m.inf, 1.0 / (1.0 + std::exp(-1.7)), 1e-15);
}

TEST(ProceduralKinetics, MiglioreSlowInactivationEntersOnlyTheConductanceSum) {
  Session s;
  testing::UseFamily(s, "Migliore");
  s.NV0.V = -0.04;
  ProceduralGlobals g;
  ProcInitGates(s, g);
  Session other;
  other.NP0 = s.NP0;
  other.NV0 = s.NV0;
  other.NV0.ii = s.NV0.ii / 2.0;
  ProceduralGlobals otherG = g;
  EXPECT_DOUBLE_EQ(ProcINa(other, otherG), ProcINa(s, g));
  ProcConductanceSum(s);
  ProcConductanceSum(other);
  const NeuronVariables& nv = s.NV0;
  const double naTerm = s.NP0.gNa * nv.mm * nv.mm * nv.mm * nv.hh;
  EXPECT_NEAR(s.NV0.gSum - other.NV0.gSum, naTerm * (nv.ii - other.NV0.ii), 1e-12);
  EXPECT_GT(naTerm, 1e-3);
}

TEST(ProceduralKinetics, DestexheCaTInactivationKeepsOneBranchBelowMinus80mV) {
  // Below -80 mV the class recovers with exp((v + 467)/66.6); the procedural
  // form keeps exp(-(v + 22)/10.5) + 28 (about 680 ms at -90 mV, not 287 ms).
  Session s;
  testing::UseFamily(s, "Destexhe");
  s.run.dt = 1e-3;
  s.NV0.V = -0.09;
  s.NV0.hCaT = 0.0;
  ProcICaT(s);
  const double hInf = 1.0 / (1.0 + std::exp((-90.0 + 81.0) / 4.0));
  const double tau = std::exp(68.0 / 10.5) + 28.0;
  EXPECT_NEAR(s.NV0.hCaT, hInf * (1.0 - std::exp(-1.0 / tau)), 1e-12);
  EXPECT_NEAR(TDestexheCaT::Rates(-90.0).h.tau, std::exp(377.0 / 66.6), 1e-9);
}

// ---- Ca pool and Nernst reversal ------------------------------------------------

TEST(ProceduralCalcium, PoolGainsTheIonsTheCurrentCarriesIn) {
  Session s;
  testing::UseFamily(s, "Destexhe");
  const NeuronProperties& np = s.NP0;
  s.run.dt = 1e-5;
  s.NV0.Ca = np.Ca_rest;
  const double I = -0.01;  // mA/cm², inward
  ProcUpdateCa(s, I);
  // Charge (C/cm²) over 2F gives mol/cm²; over the shell depth mol/cm³; 1 mol/cm³ is 10⁶ mM.
  const double molPerCm3 = -I * 1e-3 * s.run.dt / (2.0 * np.F_Faraday) / np.Ca_depth;
  EXPECT_NEAR(s.NV0.Ca - np.Ca_rest, molPerCm3 * 1e6, 1e-15);
}

TEST(ProceduralCalcium, RestingPoolBalancesTheHighThresholdCurrent) {
  for (const char* family : {"Destexhe", "Cummins"}) {
    Session s;
    testing::UseFamily(s, family);
    s.NP0.gCaH = 1.0;
    s.NV0.V = -0.02;  // where the high-threshold current is large
    ProceduralGlobals g;
    ProcInitGates(s, g);
    const double atRest = s.NV0.Ca;
    EXPECT_GT(atRest, 1.5 * s.NP0.Ca_rest) << family;
    // The same current that set the pool keeps it where it is.
    Session probe;
    probe.NP0 = s.NP0;
    probe.NV0 = s.NV0;
    probe.NV0.Ca = s.NP0.Ca_rest;
    const double ICaH = ProcICaH(probe);  // gates at rest; the reversal at Ca_rest
    ProcUpdateCa(s, ICaH);
    EXPECT_NEAR(s.NV0.Ca, atRest, 1e-12 * atRest) << family;
  }
}

TEST(ProceduralCalcium, NernstReversalFollowsCaAboveRest) {
  Session s;
  testing::UseFamily(s, "Destexhe");  // 36 °C, 2 mM outside, 0.24 µM at rest
  const NeuronProperties& np = s.NP0;
  const double atRest = ECaNernst(np, np.Ca_rest);
  EXPECT_NEAR(atRest, 0.120, 0.001);  // the fixed reversal of the Ca channel classes
  EXPECT_DOUBLE_EQ(ECaNernst(np, np.Ca_rest / 10.0), atRest);
  const double perDecade = np.R_gas * np.Temp / (2.0 * np.F_Faraday) * std::log(10.0);
  EXPECT_NEAR(atRest - ECaNernst(np, 10.0 * np.Ca_rest), perDecade, 1e-12);

  // The Destexhe CaH current vanishes at the reversal of the present Ca.
  s.NP0.gCaH = 1.0;
  s.NV0.Ca = 50.0 * np.Ca_rest;
  s.NV0.mCaH = s.NV0.hCaH = 0.5;
  s.NV0.V = ECaNernst(np, s.NV0.Ca);
  s.run.dt = 1e-9;  // the gates hardly move
  EXPECT_NEAR(ProcICaH(s), 0.0, 1e-15);
}

// ---- Bst, AHP, KCa ---------------------------------------------------------------

TEST(ProceduralKinetics, BstGateIsKickedAtSpikesAndDecaysWith100ms) {
  Session s;
  testing::UseFamily(s, "Lyle");
  s.NP0.gBst = 2.0;
  s.run.dt = 5e-5;
  s.NV0.V = -0.05;
  ProceduralGlobals g;
  s.NV0.SpikePhase = 2;
  const double kicked = ProcIBst(s, g);
  EXPECT_EQ(g.tau1, 100.0);
  EXPECT_NEAR(s.NV0.mBst, 100.0 * (1.0 - std::exp(-0.05 / 100.0)), 1e-12);
  EXPECT_NEAR(kicked, 2.0 * s.NV0.mBst / (s.NV0.mBst + 1.0) * (s.NV0.V - s.NP0.VK), 1e-15);

  s.NV0.SpikePhase = 0;
  const double m0 = s.NV0.mBst;
  for (int i = 0; i < 2000; ++i) ProcIBst(s, g);  // 100 ms
  EXPECT_NEAR(s.NV0.mBst, m0 * std::exp(-1.0), 1e-9 * m0);

  // The conductance saturates at gBst however often the gate is kicked.
  g.tau1 = 1e6;
  s.NV0.SpikePhase = 2;
  for (int i = 0; i < 200; ++i) ProcIBst(s, g);
  s.NV0.SpikePhase = 0;
  const double I = ProcIBst(s, g);
  EXPECT_LT(I, 2.0 * (s.NV0.V - s.NP0.VK));
  EXPECT_GT(I, 0.999 * 2.0 * (s.NV0.V - s.NP0.VK));
}

TEST(ProceduralKinetics, AHPGateTakesForwardEulerSteps) {
  Session s;
  testing::UseFamily(s, "Lyle");
  s.NV0.V = 0.04;  // tau_w about 14 ms here
  const GateRates r = AHPRates(40.0);
  s.NV0.wAHP = 0.0;
  s.run.dt = 0.03;  // longer than tau_w: the step overshoots the steady state
  ProcIAHP(s);
  EXPECT_NEAR(s.NV0.wAHP, 30.0 / r.tau * r.inf, 1e-12);
  EXPECT_GT(s.NV0.wAHP, r.inf);
}

TEST(ProceduralKinetics, KCaGateRelaxesTowardCaThenTowardVoltage) {
  Session s;
  testing::UseFamily(s, "Destexhe");
  s.run.dt = 1e-4;
  s.NV0.V = -0.035;  // the voltage target is 1/2 here
  s.NV0.Ca = 0.0;    // the Ca target is 0
  s.NV0.nKCa = 0.3;
  const double I = ProcIKCa(s);
  const double tauCa = 1.0 / 0.002;
  const double afterCa = 0.3 * std::exp(-0.1 / tauCa);
  const double tauV = 200.0 / (std::exp(20.0 / 30.0) + std::exp(-20.0 / 30.0));
  const double expected = afterCa + (1.0 - std::exp(-0.1 / tauV)) * (0.5 - afterCa);
  EXPECT_NEAR(s.NV0.nKCa, expected, 1e-12);
  EXPECT_NEAR(I, s.NP0.gKCa * expected * (s.NV0.V - s.NP0.VK), 1e-14);  // first power, VK
}

// ---- Start at rest ------------------------------------------------------------------

TEST(ProcInitGates, LeavesTheNamedGatesStillAtTheSameVoltage) {
  const std::vector<Gate> named = {&NV::mm,  &NV::hh,  &NV::ii,   &NV::nn,   &NV::yK,   &NV::nA,
                                   &NV::lA,  &NV::nM,  &NV::mCaH, &NV::hCaH, &NV::mCaT, &NV::hCaT,
                                   &NV::mmR, &NV::hhR, &NV::wAHP, &NV::mNaP, &NV::mBst};
  const struct {
    const char* family;
    std::vector<Gate> extra;
  } families[] = {{"Rariza", {}},   {"Destexhe", {}},
                  {"Migliore", {}}, {"Cummins", {&NV::xD, &NV::yD, &NV::kCaH}},
                  {"Chow", {}},     {"Lyle", {&NV::xD, &NV::yD, &NV::nH}}};
  for (const auto& f : families) {
    for (double vmV : {-70.0, -45.0}) {
      Session s;
      testing::UseFamily(s, f.family);
      s.NV0.V = vmV / 1000.0;
      ProceduralGlobals g;
      ProcInitGates(s, g);
      const NeuronVariables before = s.NV0;
      const LyleOccupancies P = g.ProcLyleP;
      testing::StepAllCurrents(s, g);
      std::vector<Gate> gates = named;
      gates.insert(gates.end(), f.extra.begin(), f.extra.end());
      for (Gate gate : gates) {
        EXPECT_NEAR(s.NV0.*gate, before.*gate, 1e-12) << f.family << " at " << vmV << " mV";
      }
      for (int i = 1; i <= 4; ++i) EXPECT_NEAR(g.ProcLyleP[i], P[i], 1e-12) << f.family << ", state " << i;
      // Its two relaxations have different targets.
      EXPECT_NE(s.NV0.nKCa, before.nKCa) << f.family;
    }
  }
}

TEST(ProcInitGates, StartsTheCaPoolAndTheCommonGates) {
  Session s;
  testing::UseFamily(s, "Migliore");
  s.NV0.V = -0.06;
  s.NV0.mBst = 0.7;
  s.NV0.xD = s.NV0.nH = 0.42;  // not named for this family
  ProceduralGlobals g;
  ProcInitGates(s, g);
  const double Ca = s.NV0.Ca;
  EXPECT_NEAR(s.NV0.nKCa, 2e6 * Ca * Ca / (2e6 * Ca * Ca + 2.0), 1e-15);
  EXPECT_NEAR(s.NV0.wAHP, AHPRates(-60.0).inf, 1e-15);
  EXPECT_EQ(s.NV0.mBst, 0.0);
  EXPECT_EQ(s.NV0.xD, 0.42);
  EXPECT_EQ(s.NV0.nH, 0.42);

  // A family without procedural Na and K starts them closed.
  Session other;
  testing::UseFamily(other, "Naundorf");
  other.NV0.mm = other.NV0.hh = other.NV0.nn = other.NV0.mmR = other.NV0.hhR = 0.5;
  ProcInitGates(other, g);
  EXPECT_EQ(other.NV0.mm + other.NV0.hh + other.NV0.nn + other.NV0.mmR + other.NV0.hhR, 0.0);
  EXPECT_EQ(ProcINa(other, g), 0.0);
  EXPECT_EQ(ProcIK(other), 0.0);
}

// ---- Conductance sum -------------------------------------------------------------------

TEST(ProcConductanceSum, TermsByFamily) {
  // Every gate at x and every maximal conductance 1: each term is a power of x.
  const double x = 0.5;
  const auto p = [x](int n) { return std::pow(x, n); };
  const double common = p(2) + p(1) + x / (x + 1.0) + p(3);  // KCa (squared), AHP, Bst, NaP
  const struct {
    const char* family;
    const char* NaR_type;
    bool blocked;
    double expected;
  } cases[] = {
      // NaR, Na, K, KA, KM, KD, CaH, CaT, H, then the common terms
      {"Rariza", "Rariza", false, p(4) + p(4) + p(4) + p(2) + p(1) + p(4) + p(3) + p(3) + p(1) + common},
      {"Chow", "Chow", false, p(4) + p(4) + p(4) + p(2) + p(1) + p(4) + p(3) + p(3) + p(1) + common},
      {"Migliore", "Migliore", false, p(4) + p(5) + p(1) + p(2) + p(1) + p(4) + p(3) + p(3) + p(1) + common},
      {"Cummins", "Cummins", false, p(2) + p(4) + p(1) + p(4) + p(1) + p(4) + p(3) + p(2) + p(1) + common},
      {"Lyle", "Lyle", false, p(5) + p(1) + p(2) + p(7) + p(2) + p(8) + p(3) + p(3) + p(1) + common},
      {"Lyle", "Cummins", false, p(2) + p(1) + p(2) + p(7) + p(2) + p(8) + p(3) + p(3) + p(1) + common},
      // The blocks silence NaR, Na, K, KA and KM only.
      {"Lyle", "Lyle", true, p(8) + p(3) + p(3) + p(1) + common},
      {"Passive", "Rariza", false, 0.0},
  };
  for (const auto& c : cases) {
    Session s;
    NeuronProperties& np = s.NP0;
    np.HH_type = c.family;
    np.NaR_type = c.NaR_type;
    np.gNaR = np.gNa = np.gK = np.gKA = np.gKM = np.gKD = np.gCaH = np.gCaT = np.gH = 1.0;
    np.gKCa = np.gAHP = np.gBst = np.gNaP = 1.0;
    const int block = c.blocked ? 1 : 0;
    np.IfBlockNaR = np.IfBlockNa = np.IfBlockK = np.IfBlockKA = np.IfBlockKM = block;
    np.IfBlockKD = np.IfBlockCaH = np.IfBlockCaT = np.IfBlockH = np.IfBlockKCa = block;
    np.IfBlockAHP = np.IfBlockNaP = block;
    NeuronVariables& nv = s.NV0;
    for (double* gate : {&nv.mmR,  &nv.hhR, &nv.mm,   &nv.hh,   &nv.ii,   &nv.nn,   &nv.yK,   &nv.nA,
                         &nv.lA,   &nv.nM,  &nv.xD,   &nv.yD,   &nv.mCaH, &nv.hCaH, &nv.kCaH, &nv.mCaT,
                         &nv.hCaT, &nv.nH,  &nv.nKCa, &nv.wAHP, &nv.mBst, &nv.mNaP}) {
      *gate = x;
    }
    ProcConductanceSum(s);
    EXPECT_NEAR(nv.gSum, c.expected, 1e-14) << c.family << " with NaR " << c.NaR_type;
  }
  Session lif;
  lif.NP0.HH_type = "Lyle";
  lif.NP0.LIF_model = 1;
  lif.NP0.gK = lif.NV0.nn = 1.0;
  ProcConductanceSum(lif);
  EXPECT_EQ(lif.NV0.gSum, 0.0);
}

// ---- Lyle Na scheme -----------------------------------------------------------------------

TEST(ProceduralLyleNa, StepsStateAfterStateByExplicitEuler) {
  Session s;
  testing::UseFamily(s, "Lyle");
  s.NP0.NaThreshShift = 3.0;
  s.run.dt = 2e-5;
  s.NV0.V = -0.08;
  ProceduralGlobals g;
  ProcInitGates(s, g);
  const LyleOccupancies P = g.ProcLyleP;
  s.NV0.V = -0.03;
  const double INa = ProcINa(s, g);

  Transitions K;
  BuildLyleTransitions(LyleScheme::Lyle4, -30.0 - 3.0, 0.0, K);
  const double h = 1000.0 * s.run.dt;
  const double P1 = P[1] + h * (K[2][1] * P[2] + K[3][1] * P[3] + K[4][1] * P[4]) -
                    h * (K[1][2] + K[1][3] + K[1][4]) * P[1];
  // State 2 already sees the new state 1.
  const double P2 =
      P[2] + h * (K[1][2] * P1 + K[3][2] * P[3] + K[4][2] * P[4]) - h * (K[2][1] + K[2][3] + K[2][4]) * P[2];
  EXPECT_NEAR(g.ProcLyleP[1], P1, 1e-15);
  EXPECT_NEAR(g.ProcLyleP[2], P2, 1e-15);
  EXPECT_DOUBLE_EQ(g.ProcLyleP[1] + g.ProcLyleP[2] + g.ProcLyleP[3] + g.ProcLyleP[4], 1.0);
  EXPECT_EQ(s.NV0.mm, g.ProcLyleP[1]);
  EXPECT_EQ(s.NV0.hh, 1.0);
  EXPECT_NEAR(INa, P1 * s.NP0.gNa * (-0.03 - s.NP0.VNa), 1e-15);
}

TEST(ProceduralLyleNa, LongStepsKeepTheOccupanciesAProbabilityVector) {
  // With 0.3 ms steps the open state could lose more than it holds in one step;
  // the occupancies must stay between 0 and 1 through spikes and rest alike.
  Session s;
  testing::UseFamily(s, "Lyle");
  s.run.dt = 3e-4;
  s.NV0.V = -0.07;
  ProceduralGlobals g;
  ProcInitGates(s, g);
  for (int step = 1; step <= 600; ++step) {
    s.NV0.V = (step / 20) % 2 == 0 ? 0.02 : -0.08;
    ProcINa(s, g);
    double sum = 0.0;
    for (int i = 1; i <= 4; ++i) {
      ASSERT_GE(g.ProcLyleP[i], -1e-12) << "step " << step << ", state " << i;
      ASSERT_LE(g.ProcLyleP[i], 1.0 + 1e-12) << "step " << step << ", state " << i;
      sum += g.ProcLyleP[i];
    }
    ASSERT_NEAR(sum, 1.0, 1e-12) << "step " << step;
  }
}

}  // namespace
}  // namespace membrix
