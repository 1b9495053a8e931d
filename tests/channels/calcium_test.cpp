#include "channels/calcium.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <typeinfo>
#include <vector>

#include "channels/afterpotential.h"
#include "channels/channel_test_support.h"
#include "channels/persistent_sodium.h"

namespace membrix {
namespace {

using testing::FamilyRecord;
using testing::RelaxedOver;
using testing::SlotNeuron;

void ExpectRelNear(double actual, double expected, double rel, const char* what) {
  EXPECT_NEAR(actual, expected, rel * std::abs(expected) + 1e-300) << what;
}

// Single gates of the multi-gate kinetics.
GateRates DestexheCaHm(double v) { return TDestexheCaH::Rates(v).m; }
GateRates DestexheCaHh(double v) { return TDestexheCaH::Rates(v).h; }
GateRates CumCaHm(double v) { return TCumCaH::Rates(v).m; }
GateRates CumCaHh(double v) { return TCumCaH::Rates(v).h; }
GateRates CumCaHk(double v) { return TCumCaH::Rates(v).k; }
GateRates DestexheCaTm(double v) { return TDestexheCaT::Rates(v).m; }
GateRates DestexheCaTh(double v) { return TDestexheCaT::Rates(v).h; }
GateRates CumCaTm(double v) { return TCumCaT::Rates(v).m; }
GateRates CumCaTh(double v) { return TCumCaT::Rates(v).h; }

// Expected values computed by hand (python3) from the published formulas.
TEST(CalciumKinetics, SteadyStatesAndTimeConstants) {
  const struct {
    const char* gate;
    GateRates (*rates)(double);
    double x, inf, tau;
  } cases[] = {
      {"DestexheCaH m", DestexheCaHm, -70.0, 4.111870866602843e-05, 1.4275389265640404},
      // The activation rate's singular voltage: the quotient's limit, 0.055*3.8 per ms.
      {"DestexheCaH m", DestexheCaHm, -27.0, 0.7891790093327248, 3.7759761212092093},
      {"DestexheCaH m", DestexheCaHm, 10.0, 0.9968974708432417, 0.4898469716620837},
      {"DestexheCaH h", DestexheCaHh, -70.0, 0.6412202882565632, 448.7405806542286},
      {"DestexheCaH h", DestexheCaHh, 10.0, 0.05887550530762176, 204.07692847091502},
      {"CumCaH m", CumCaHm, -60.0, 0.00013789379201631485, 1.132219941181825},
      {"CumCaH m", CumCaHm, 10.0, 0.9987289837369187, 0.5625239414906926},
      {"CumCaH h", CumCaHh, -60.0, 0.8320183851339245, 13.226169202521616},
      {"CumCaH h", CumCaHh, 10.0, 0.23147521650098238, 7.759764745148225},
      {"CumCaH k", CumCaHk, -60.0, 0.8816111055210616, 241.26790985826244},
      {"CumCaH k", CumCaHk, -20.0, 0.15568802678338883, 241.26790985826244},
      // Depolarised, k does not close below 0.2 of its second term.
      {"CumCaH k", CumCaHk, 10.0, 0.17020774616301357, 108.96991915258079},
      {"WhiteCa m", &TWhiteCa::Rates, -60.0, 0.007224138563296871, 0.0},
      {"WhiteCa m", &TWhiteCa::Rates, 0.0, 0.9867143005507057, 0.0},
      {"DestexheCaT m", DestexheCaTm, -90.0, 0.004856443401312274, 10.735217580677045},
      {"DestexheCaT m", DestexheCaTm, -50.0, 0.755660261534403, 6.538918675651977},
      // Below -80 mV the recovery branch, at -80 mV and above the other one.
      {"DestexheCaT h", DestexheCaTh, -90.0, 0.9046505351008906, 287.33841304800023},
      {"DestexheCaT h", DestexheCaTh, -80.0, 0.43782349911420193, 278.5878415206564},
      {"DestexheCaT h", DestexheCaTh, -50.0, 0.0004305570813246149, 42.391916095149895},
      {"CumCaT m", CumCaTm, -70.0, 0.05827123647333871, 24.26333021743106},
      {"CumCaT m", CumCaTm, -40.0, 0.9194414864293489, 5.140864837193252},
      {"CumCaT h", CumCaTh, -70.0, 0.5825702064623147, 84.3606615853162},
      {"CumCaT h", CumCaTh, -40.0, 0.009315959345066686, 58.32038082096293},
      // The K(Ca) gate at a Ca concentration (mM): closed without Ca, nearly open at 1 mM.
      {"DestexheKCa n", &TDestexheKCa::Rates, 0.0, 0.0, 500.0},
      {"DestexheKCa n", &TDestexheKCa::Rates, 1e-4, 0.009900990099009901, 495.049504950495},
      {"DestexheKCa n", &TDestexheKCa::Rates, 1.0, 2000.0 / (2000.0 + 0.002), 0.0004999995000005},
  };
  for (const auto& c : cases) {
    const GateRates r = c.rates(c.x);
    SCOPED_TRACE(::testing::Message() << c.gate << " at " << c.x);
    ExpectRelNear(r.inf, c.inf, 1e-12, "steady state");
    ExpectRelNear(r.tau, c.tau, 1e-12, "tau");
  }
  // Around the singular voltage the activation rate stays continuous.
  EXPECT_NEAR(TDestexheCaH::Rates(-27.0 + 1e-7).m.tau, 3.7759761212092093, 1e-6);
  EXPECT_NEAR(TDestexheCaH::Rates(-27.0 - 1e-7).m.tau, 3.7759761212092093, 1e-6);
}

using Kinetics = std::array<GateRates, 3>;
using NV_ = NeuronVariables;
using NP_ = NeuronProperties;

struct VoltageGatedCase {
  const char* name;
  const char* family;
  Slot slot;
  std::array<double NV_::*, 3> gates;  // nullptr past the channel's last gate
  Kinetics (*rates)(double v);
  double NP_::*g;
  std::int32_t NP_::*block;
  double openAt357;  // Conductance(0.3, 0.5, 0.7)
  double E;          // reversal (V), with VCa = 0.1
};

Kinetics DestexheCaHGates(double v) {
  const auto r = TDestexheCaH::Rates(v);
  return {r.m, r.h, {}};
}
Kinetics CumCaHGates(double v) {
  const auto r = TCumCaH::Rates(v);
  return {r.m, r.h, r.k};
}
Kinetics WhiteCaGates(double v) { return {TWhiteCa::Rates(v), {}, {}}; }
Kinetics DestexheCaTGates(double v) {
  const auto r = TDestexheCaT::Rates(v);
  return {r.m, r.h, {}};
}
Kinetics CumCaTGates(double v) {
  const auto r = TCumCaT::Rates(v);
  return {r.m, r.h, {}};
}

// clang-format off
const VoltageGatedCase kVoltageGated[] = {
    {"TDestexheCaH", "Destexhe", Slot::CaH, {&NV_::mCaH, &NV_::hCaH, nullptr}, DestexheCaHGates,
     &NP_::gCaH, &NP_::IfBlockCaH, 0.3 * 0.3 * 0.5, 0.12},
    {"TCumCaH", "Cummins", Slot::CaH, {&NV_::mCaH, &NV_::hCaH, &NV_::kCaH}, CumCaHGates,
     &NP_::gCaH, &NP_::IfBlockCaH, 0.3 * 0.5 * 0.7, 0.12},
    {"TWhiteCa", "White", Slot::CaH, {&NV_::mCaH, nullptr, nullptr}, WhiteCaGates,
     &NP_::gCaH, &NP_::IfBlockCaH, 0.3, 0.1},
    {"TDestexheCaT", "Destexhe", Slot::CaT, {&NV_::mCaT, &NV_::hCaT, nullptr}, DestexheCaTGates,
     &NP_::gCaT, &NP_::IfBlockCaT, 0.3 * 0.3 * 0.5, 0.12},
    {"TCumCaT", "Cummins", Slot::CaT, {&NV_::mCaT, &NV_::hCaT, nullptr}, CumCaTGates,
     &NP_::gCaT, &NP_::IfBlockCaT, 0.3 * 0.5, 0.12},
};
// clang-format on

// Init puts each gate at its steady state; a step from -60 to -20 mV relaxes each
// gate with the kinetics at -20 mV (the White gate jumps) and drives g*open*(V - E).
TEST(CalciumChannels, InitThenStepRelaxEachGateAndDriveTheCurrent) {
  for (const auto& c : kVoltageGated) {
    SCOPED_TRACE(c.name);
    NeuronProperties np = FamilyRecord(c.family);
    np.*c.g = 2.0;
    np.VCa = 0.1;
    SlotNeuron sn(np);
    TChannel& ch = sn.At(c.slot, -60.0);
    EXPECT_NEAR(ch.Conductance(0.3, 0.5, 0.7), c.openAt357, 1e-15);

    ch.Init();
    const Kinetics atRest = c.rates(-60.0);
    for (int i = 0; i < 3; ++i) {
      if (c.gates[i]) {
        EXPECT_DOUBLE_EQ(sn.NV().*c.gates[i], atRest[i].inf) << "gate " << i;
      }
    }

    sn.At(c.slot, -20.0);
    const double I = ch.Step();
    const Kinetics atStep = c.rates(-20.0);
    double x[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < 3; ++i) {
      if (!c.gates[i]) continue;
      x[i] = sn.NV().*c.gates[i];
      EXPECT_NEAR(x[i], RelaxedOver(sn.dt(), atRest[i].inf, atStep[i].inf, atStep[i].tau), 1e-12)
          << "gate " << i;
    }
    EXPECT_NEAR(I, 2.0 * ch.Conductance(x[0], x[1], x[2]) * (-0.02 - c.E), 1e-14);
    EXPECT_LT(I, 0.0);  // inward below the Ca reversal
  }
}

TEST(CalciumChannels, BlockedChannelCarriesNothingWhileItsGatesMove) {
  struct Case {
    const char* name;
    const char* family;
    Slot slot;
    double NV_::*gate;
    std::int32_t NP_::*block;
  };
  std::vector<Case> cases;
  for (const auto& c : kVoltageGated) cases.push_back({c.name, c.family, c.slot, c.gates[0], c.block});
  cases.push_back({"TDestexheKCa", "Destexhe", Slot::KCa, &NV_::nKCa, &NP_::IfBlockKCa});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NeuronProperties np = FamilyRecord(c.family);
    np.gCaH = np.gCaT = np.gKCa = 2.0;
    np.*c.block = 1;
    SlotNeuron sn(np);
    sn.NV().Ca = 0.0;
    TChannel& ch = sn.At(c.slot, -60.0);
    ch.Init();
    const double before = sn.NV().*c.gate;
    sn.NV().Ca = 1e-3;  // moves the K(Ca) gate; the Ca channels move with the voltage
    EXPECT_EQ(sn.At(c.slot, -20.0).Step(), 0.0);
    EXPECT_EQ(ch.Conductance(1.0, 1.0, 1.0), 0.0);
    EXPECT_GT(sn.NV().*c.gate, before);
  }
}

TEST(DestexheKCa, GatedByCaAloneAndReversesAtVKPlusdVAHP) {
  NeuronProperties np = FamilyRecord("Destexhe");
  np.gKCa = 1.5;
  np.VK = -0.09;
  np.dVAHP = -0.005;
  SlotNeuron sn(np);
  sn.NV().Ca = 1e-4;
  TChannel& ch = sn.At(Slot::KCa, -60.0);
  ch.Init();
  const double n = 0.009900990099009901;
  EXPECT_NEAR(sn.NV().nKCa, n, 1e-15);
  // A jump of the voltage leaves the gate at its steady state.
  const double I = sn.At(Slot::KCa, 0.0).Step();
  EXPECT_NEAR(sn.NV().nKCa, n, 1e-15);
  EXPECT_NEAR(I, n * n * 1.5 * (0.0 + 0.09 + 0.005), 1e-15);
}

// A Destexhe neuron with the high-threshold Ca channel only (no CaT), resting at
// -30 mV where that channel carries a steady inward current.
NeuronProperties CaPoolRecord() {
  NeuronProperties np = FamilyRecord("Destexhe");
  np.Na_type = "";
  np.gCaH = 1.0;
  np.gCaT = 0.0;
  np.gKCa = 1.5;
  np.Vrest = -0.03;
  np.Ca_rest = 0.00024;
  np.Ca_depth = 1e-4;
  np.tauCa = 0.005;
  np.F_Faraday = 96485;
  np.VK = -0.09;
  np.dVAHP = 0.0;
  np.IfSet_VL_or_Vrest = 2;  // the leak balances the channels; V stays at Vrest
  return np;
}

TEST(CalciumPool, StartsWhereTheRestingCaCurrentHoldsIt) {
  SlotNeuron sn(CaPoolRecord());
  sn.nrn().InitState();
  // Ca_rest - tauCa*ICaH*1000/(2*F*Ca_depth), ICaH = gCaH*m^2*h*(Vrest - 0.12) at -30 mV;
  // the pool stays there through the steps of the rest search.
  const double caStart = 0.003958607639345511;
  EXPECT_NEAR(sn.NV().Ca, caStart, 1e-9 * caStart);
  EXPECT_NEAR(sn.NV().nKCa, 0.9400140646945244, 1e-9);  // the K(Ca) gate starts at that Ca
}

TEST(CalciumPool, KCaFollowsThePoolUpdatedInTheSameStep) {
  SlotNeuron sn(CaPoolRecord());
  sn.nrn().InitState();
  sn.NP().If_I_V_or_g = 1;               // voltage clamp from here on
  sn.nrn().Step(0, 0, 0, 0, 0, 0, 0.1);  // the channels still see -30 mV; V is then held at +100 mV
  const double ca0 = sn.NV().Ca;
  const double n0 = sn.NV().nKCa;
  sn.nrn().Step(0, 0, 0, 0, 0, 0, 0.1);
  const double ca = sn.NV().Ca;
  EXPECT_LT(ca, 0.99 * ca0);  // near the Ca reversal the current fades and the pool drains

  const double alpha = 2000.0 * ca * ca;
  const double expected = RelaxedOver(sn.dt(), n0, alpha / (alpha + 0.002), 1.0 / (alpha + 0.002));
  EXPECT_NEAR(sn.NV().nKCa - n0, expected - n0, 1e-9 * std::abs(expected - n0));
  EXPECT_NEAR(sn.NV().IKCa, sn.NV().nKCa * sn.NV().nKCa * 1.5 * (0.1 + 0.09), 1e-14);
}

// The ADP, AHP, CaH, CaT, KCa and NaP slots of every family hold the family's classes.
TEST(FamilySlots, CalciumAndAfterpotentialChannelsOfEachFamily) {
  const std::type_info& none = typeid(TNullChannel);
  const std::type_info& adp = typeid(TADP);
  const std::type_info& ahp = typeid(TAHP);
  const std::type_info& nap = typeid(TVervaekeNaP);
  const std::type_info& caH = typeid(TDestexheCaH);
  const std::type_info& caT = typeid(TDestexheCaT);
  const std::type_info& kCa = typeid(TDestexheKCa);
  const Slot slots[] = {Slot::ADP, Slot::AHP, Slot::CaH, Slot::CaT, Slot::KCa, Slot::NaP};
  const struct {
    const char* family;
    const std::type_info* classes[6];
  } cases[] = {
      {"Rariza", {&adp, &ahp, &none, &none, &none, &nap}},
      {"Destexhe", {&adp, &ahp, &caH, &caT, &kCa, &nap}},
      {"Lyle", {&adp, &ahp, &caH, &caT, &kCa, &nap}},
      {"Migliore", {&adp, &ahp, &caH, &caT, &kCa, &nap}},
      {"Cummins", {&adp, &ahp, &typeid(TCumCaH), &typeid(TCumCaT), &none, &none}},
      {"Chow", {&none, &ahp, &none, &none, &none, &nap}},
      {"Naundorf", {&none, &ahp, &none, &none, &none, &none}},
      {"White", {&none, &typeid(TWhiteAHP), &typeid(TWhiteCa), &none, &none, &nap}},
      {"White2", {&none, &none, &none, &none, &none, &none}},
      {"Shu", {&none, &ahp, &none, &none, &none, &none}},
      {"Bazhenov", {&adp, &ahp, &caH, &caT, &kCa, &nap}},
      {"Passive", {&adp, &ahp, &none, &none, &none, &none}},
  };
  for (const auto& c : cases) {
    SlotNeuron sn(FamilyRecord(c.family));
    for (int i = 0; i < 6; ++i) {
      const TChannel& ch = sn.nrn().Channel(slots[i]);
      EXPECT_TRUE(typeid(ch) == *c.classes[i]) << c.family << " " << SlotName(slots[i]);
    }
  }
}

}  // namespace
}  // namespace membrix
