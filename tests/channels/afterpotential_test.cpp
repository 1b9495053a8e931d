#include "channels/afterpotential.h"

#include <gtest/gtest.h>

#include <cmath>

#include "channels/channel_test_support.h"

namespace membrix {
namespace {

using testing::FamilyRecord;
using testing::RelaxedOver;
using testing::SlotNeuron;

// Single gates at a fixed temperature factor (AHP, 1 or 2.3) or tADP (ADP, 10 or 2 ms).
GateRates AHPw(double v) { return TAHP::Rates(v, 1.0).w; }
GateRates AHPwWarm(double v) { return TAHP::Rates(v, 2.3).w; }
GateRates AHPlWarm(double v) { return TAHP::Rates(v, 2.3).l; }
GateRates AHPl(double v) { return TAHP::Rates(v, 1.0).l; }
GateRates ADPw(double v) { return TADP::Rates(v, 0.01); }
GateRates ADPwFast(double v) { return TADP::Rates(v, 0.002); }

// Expected values computed by hand (python3) from the published formulas.
TEST(AfterpotentialKinetics, SteadyStatesAndTimeConstants) {
  const struct {
    const char* gate;
    GateRates (*rates)(double);
    double x, inf, tau;
  } cases[] = {
      {"AHP w", AHPw, -60.0, 0.0019267346633274757, 450.87606251560925},
      {"AHP w", AHPw, 0.0, 0.9998415637808975, 104.36254878794253},
      // The temperature factor shortens the time constant of w only.
      {"AHP w", AHPwWarm, -35.0, 0.5, 202.22446916076848},
      {"AHP l", AHPlWarm, -60.0, 0.9820137900379085, 1000.0},
      {"AHP l", AHPl, -35.0, 0.2689414213699951, 1000.0},
      {"AHP l", AHPl, 0.0, 0.0003353501304664781, 1000.0},
      {"ADP w", ADPw, -60.0, 0.14804719803168948, 10.0},
      {"ADP w", ADPw, -25.0, 0.5, 10.0},
      {"ADP w", ADPwFast, 0.0, 0.7772998611746911, 2.0},
      // The White AHP gate against its Ca measure: practically a step at 0.018.
      {"WhiteAHP w", &TWhiteAHP::Rates, 0.017, 2.0611536181902037e-09, 70.0},
      {"WhiteAHP w", &TWhiteAHP::Rates, 0.018, 0.5, 70.0},
      {"WhiteAHP w", &TWhiteAHP::Rates, 0.019, 1.0, 70.0},
  };
  for (const auto& c : cases) {
    const GateRates r = c.rates(c.x);
    SCOPED_TRACE(::testing::Message() << c.gate << " at " << c.x);
    EXPECT_NEAR(r.inf, c.inf, 1e-12 * c.inf);
    EXPECT_NEAR(r.tau, c.tau, 1e-12 * c.tau);
  }
  // -0.12*gCaH*mCaH*(v - 1000*VCa): positive while the Ca current is inward.
  EXPECT_NEAR(TWhiteAHP::CaDrive(0.025, 0.5, -60.0, 0.12), 0.27, 1e-15);
}

TEST(AHP, InitWritesTheTemperatureFactorThatScalesConductanceAndTimeConstant) {
  const struct { double Temp, TempFactor; } cases[] = {{296.0, 1.0}, {309.0, 2.952882641412121}};
  for (auto c : cases) {
    SCOPED_TRACE(::testing::Message() << "Temp " << c.Temp);
    NeuronProperties np = FamilyRecord("Lyle");
    np.Temp = c.Temp;
    np.TempFactor = 0.0;
    SlotNeuron sn(np);
    TChannel& ch = sn.At(Slot::AHP, -60.0);
    ch.Init();
    EXPECT_NEAR(sn.NP().TempFactor, c.TempFactor, 1e-12);
    EXPECT_NEAR(sn.NV().wAHP, 0.0019267346633274757, 1e-15);
    EXPECT_NEAR(sn.NV().lAHP, 0.9820137900379085, 1e-15);
    EXPECT_NEAR(ch.Conductance(0.5, 0.4, 0.0), c.TempFactor * 0.2, 1e-12);

    sn.At(Slot::AHP, -35.0).Step();
    const double tauW = 2000.0 / 4.3 / c.TempFactor;  // 2000/(3.3 + 1) ms at -35 mV
    EXPECT_NEAR(sn.NV().wAHP, RelaxedOver(sn.dt(), 0.0019267346633274757, 0.5, tauW), 1e-13);
    EXPECT_NEAR(sn.NV().lAHP, RelaxedOver(sn.dt(), 0.9820137900379085, 0.2689414213699951, 1000.0), 1e-13);
  }
}

// With the soma at -60 mV and the dendrite at -35 mV the AHP channel of the
// active dendrite works at -35 mV, in the other geometries at -60 mV.
TEST(AHP, FollowsTheDendriteInTheActiveDendriteGeometry) {
  const struct {
    const char* HH_order;
    double u, wInf, lInf;
  } cases[] = {{"2-p-ActiveDend", -0.035, 0.5, 0.2689414213699951},
               {"2-points", -0.060, 0.0019267346633274757, 0.9820137900379085}};
  for (auto c : cases) {
    SCOPED_TRACE(c.HH_order);
    NeuronProperties np = FamilyRecord("Lyle");
    np.HH_order = c.HH_order;
    np.Temp = 296.0;
    np.gAHP = 0.6;
    np.VAHP = -0.08;
    SlotNeuron sn(np);
    sn.NV().V = -0.060;
    sn.NV().VatE = -0.035;
    TChannel& ch = sn.nrn().Channel(Slot::AHP);
    ch.Init();
    EXPECT_NEAR(sn.NV().wAHP, c.wInf, 1e-15);
    EXPECT_NEAR(sn.NV().lAHP, c.lInf, 1e-15);
    const double I = ch.Step();  // at its steady state: the gates stay
    EXPECT_NEAR(sn.NV().wAHP, c.wInf, 1e-15);
    EXPECT_NEAR(I, c.wInf * c.lInf * 0.6 * (c.u + 0.08), 1e-15);
  }
}

// Forward Euler with the factor 1000*dt/tau and no limit: a step longer than tau
// overshoots the steady state.
TEST(ForwardEulerGates, AdvanceByTheUnboundedFactor) {
  const struct {
    const char* name;
    const char* family;
    Slot slot;
    double dt, tADP, mCaH, w0, w;
  } cases[] = {
      // ADP at -25 mV, where w∞ = 0.5.
      {"ADP, factor 0.002", "Lyle", Slot::ADP, 2e-5, 0.01, 0.0, 0.0, 0.001},
      {"ADP, factor 2 overshoots", "Lyle", Slot::ADP, 0.02, 0.01, 0.0, 0.0, 1.0},
      // A time constant of zero (tADP cleared) is an instantaneous gate, not a division by zero.
      {"ADP, tADP 0", "Lyle", Slot::ADP, 1e-4, 0.0, 0.0, 0.2, 0.5},
      // White AHP at -25 mV with gCaH 0.025 and VCa 0.12: mCaH 0.5 gives c = 0.2175 (w∞ = 1),
      // mCaH 0 gives c = 0 (w∞ = 1/(1 + e^20)).
      {"White AHP, factor 2 overshoots", "White", Slot::AHP, 0.14, 0.01, 0.5, 0.0, 2.0},
      {"White AHP, factor 0.1 closes", "White", Slot::AHP, 0.007, 0.01, 0.0, 0.5,
       0.5 + 0.1 * (2.0611536181902037e-09 - 0.5)},
  };
  for (auto c : cases) {
    SCOPED_TRACE(c.name);
    NeuronProperties np = FamilyRecord(c.family);
    np.tADP = c.tADP;
    np.gCaH = 0.025;
    np.VCa = 0.12;
    np.gADP = 0.3;
    np.VADP = 0.12;
    np.gAHP = 0.18;
    np.VK = -0.095;
    SlotNeuron sn(np, c.dt);
    sn.NV().mCaH = c.mCaH;  // as the Ca channel left it
    sn.NV().wADP = sn.NV().wAHP = c.w0;
    const double I = sn.At(c.slot, -25.0).Step();
    const double w = c.slot == Slot::ADP ? sn.NV().wADP : sn.NV().wAHP;
    EXPECT_NEAR(w, c.w, 1e-12);
    const double expectedI = c.slot == Slot::ADP ? w * 0.3 * (-0.025 - 0.12) : w * 0.18 * (-0.025 + 0.095);
    EXPECT_NEAR(I, expectedI, 1e-14);
  }
}

TEST(ForwardEulerGates, InitSetsTheSteadyState) {
  NeuronProperties np = FamilyRecord("White");
  np.gCaH = 0.025;
  np.VCa = 0.12;
  SlotNeuron sn(np);
  sn.NV().mCaH = 0.5;
  sn.At(Slot::AHP, -25.0).Init();
  EXPECT_EQ(sn.NV().wAHP, 1.0);  // c = 0.2175, far above the step
  sn.NV().mCaH = 0.0;
  sn.At(Slot::AHP, -25.0).Init();
  EXPECT_NEAR(sn.NV().wAHP, 2.0611536181902037e-09, 1e-20);

  NeuronProperties lyle = FamilyRecord("Lyle");
  SlotNeuron adp(lyle);
  adp.At(Slot::ADP, -60.0).Init();
  EXPECT_NEAR(adp.NV().wADP, 0.14804719803168948, 1e-15);
}

TEST(AfterpotentialChannels, BlockedChannelCarriesNothingWhileItsGatesMove) {
  const struct {
    const char* name;
    const char* family;
    Slot slot;
    std::int32_t NeuronProperties::*block;
    double NeuronVariables::*gate;
  } cases[] = {
      {"TAHP", "Lyle", Slot::AHP, &NeuronProperties::IfBlockAHP, &NeuronVariables::wAHP},
      {"TWhiteAHP", "White", Slot::AHP, &NeuronProperties::IfBlockAHP, &NeuronVariables::wAHP},
      {"TADP", "Lyle", Slot::ADP, &NeuronProperties::IfBlockADP, &NeuronVariables::wADP},
  };
  for (auto c : cases) {
    SCOPED_TRACE(c.name);
    NeuronProperties np = FamilyRecord(c.family);
    np.gAHP = np.gADP = np.gCaH = 1.0;
    np.VCa = 0.12;
    np.*c.block = 1;
    SlotNeuron sn(np);
    sn.NV().mCaH = 0.0;
    TChannel& ch = sn.At(c.slot, -60.0);
    ch.Init();
    const double before = sn.NV().*c.gate;
    sn.NV().mCaH = 1.0;  // opens the White AHP gate; the others follow the voltage
    EXPECT_EQ(sn.At(c.slot, 0.0).Step(), 0.0);
    EXPECT_EQ(ch.Conductance(1.0, 1.0, 1.0), 0.0);
    EXPECT_GT(sn.NV().*c.gate, before);
  }
}

}  // namespace
}  // namespace membrix
