#include "channels/sodium_test_support.h"
#include "channels/resurgent_sodium.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string_view>
#include <typeinfo>

#include "neuron/cond_based_neuron.h"
#include "neuron/neuron_test_support.h"

namespace membrix {
namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();  // the scheme has no such gate

// A record whose NaR slot holds the scheme of NaR_type, with the resurgent
// coefficients for the parametric form (the Cummins set for the Cummins
// form), distinct Na and NaR reversals, a known temperature factor and F/RT.
NeuronProperties ResurgentRecord(std::string_view NaR_type) {
  NeuronProperties np = testing::PassiveRecord();
  np.Na_type = "none";
  np.NaR_type = std::string(NaR_type);
  np.gNaR = 1.5;
  np.VNa = 0.05;
  np.VNaR = 0.031;
  np.Temp = 300.0;
  np.TempFactor = 2.0;
  np.FRT = 96485.0 / 8.314 / 309.0 / 1000.0;
  np.If_Slow_Na_inactivation = 1;
  np.If_Slow_NaR_inactivation = 1;
  np.NaThreshShift = 0.0;
  if (NaR_type == "Cummins") {
    np.Tr_NaR = 0.0;
    np.a1NaR = 1.032, np.a2NaR = -6.99, np.a3NaR = 14.87, np.a4NaR = -1;
    np.b1NaR = 5.79, np.b2NaR = -130.4, np.b3NaR = -22.9, np.b4NaR = -1;
    np.c1NaR = 0.06435, np.c2NaR = -73.26, np.c3NaR = -3.72, np.c4NaR = -1;
    np.d1NaR = 0.135, np.d2NaR = -10.28, np.d3NaR = 9.093, np.d4NaR = -1;
  } else {
    np.Tr_NaR = -60.0;
    np.a1NaR = 0.043, np.a2NaR = 30, np.a3NaR = 3.85, np.a4NaR = 1;
    np.b1NaR = 0.52, np.b2NaR = 0, np.b3NaR = 65, np.b4NaR = 0;
    np.c1NaR = 0.042, np.c2NaR = 0, np.c3NaR = 8.6, np.c4NaR = 0;
    np.d1NaR = 0.5, np.d2NaR = 65, np.d3NaR = 12, np.d4NaR = -1;
  }
  return np;
}

std::unique_ptr<TCondBasedNrn> MakeNeuron(const NeuronProperties& np, const StandaloneClock& clock) {
  auto neuron = std::make_unique<TCondBasedNrn>(np, clock.View());
  neuron->NP = np;
  return neuron;
}

SodiumRates RatesOf(std::string_view type, double v, const NeuronProperties& np) {
  if (type == "Rariza") return TRarizaNaR::Rates(v, np);
  if (type == "Cummins") return TCumNaR::Rates(v, np);
  if (type == "Migliore") return TMigliNaR::Rates(v, np);
  if (type == "Chow") return TChowNaR::Rates(v, np);
  if (type == "Shu") return TShuNaR::Rates(v, np);
  if (type == "Bazhenov") return TBazhNaR::Rates(v, np);
  if (type == "LyleMS") return TLyleMSNaR::Rates(v, np);
  ADD_FAILURE() << "no scheme " << type;
  return {};
}

struct NaRScheme {
  const char* type;
  int pm, ph, ps;       // gate powers; ps = 0: no slow inactivation
  bool tempScaled;      // the conductance carries TempFactor
  bool reversesAtVNaR;  // else at VNa
};

constexpr NaRScheme kSchemes[] = {
    {"Rariza", 3, 1, 0, false, true},  {"Cummins", 1, 1, 0, false, true}, {"Migliore", 3, 1, 1, false, false},
    {"Chow", 3, 1, 3, false, false},   {"Shu", 3, 1, 0, false, false},    {"Bazhenov", 3, 1, 0, true, false},
    {"LyleMS", 2, 3, 0, false, false},
};

double ExpectedRelaxed(double x0, GateRates r, double dt) {
  const double f = r.tau > 0 ? 1.0 - std::exp(-1000.0 * dt / r.tau) : 1.0;
  return x0 + f * (r.inf - x0);
}

TEST(ResurgentSodiumKinetics, SteadyStatesAndTimeConstantsMatchTheFormulas) {
  // Computed by hand from the published forms with the exponential bounded to
  // [-20, 20] as the kinetics bound it; temperature-scaled schemes at
  // TempFactor 2. Order: m∞, τm, h∞, τh, s∞, τs (ms).
  const struct {
    const char* type;
    double v;
    double expected[6];
  } cases[] = {
      {"Rariza", -70, {8.72038355739e-05, 1.64870990433, 0.992880556512, 7.39016494964, kNone, kNone}},
      {"Rariza", -40, {0.0829922514754, 2.39882592131, 0.263224798886, 64.1305078866, kNone, kNone}},
      {"Rariza", 0, {0.86200678616, 0.667946379002, 0.000197286561449, 5.03280049295, kNone, kNone}},
      {"Cummins", -70, {0.0366247581881, 2.4922929107, 0.990085198301, 52.3445313485, kNone, kNone}},
      {"Cummins", -40, {0.479776159664, 4.74497880067, 0.00169881870331, 201.660850796, kNone, kNone}},
      {"Cummins", 0, {0.970331967383, 1.52785541388, 1.7657487275e-09, 9.79895460022, kNone, kNone}},
      {"Migliore", -60, {0.0476303227369, 0.126022080271, 0.924141819979, 3.33272808337,
                         0.865529289315, 1500}},
      {"Migliore", -20, {0.928247244761, 0.0870983429985, 0.000552778636924, 0.666666615309,
                         0.500000002801, 10}},
      {"Migliore", 20, {0.999701256799, 0.0249684392264, 2.51099909269e-08, 0.5, 0.500000001031, 10}},
      {"Chow", -70, {0.0287484959265, 0, 0.984632294435, 0.246575739565, 0.999999168472, 100}},
      {"Chow", -45, {0.179461519407, 0, 0.713000162752, 0.560035178655, 0.817574476194, 100}},
      {"Chow", 0, {0.888944033289, 0, 0.00710377372439, 0.59980667694, 2.06115361819e-09, 100}},
      {"Shu", -60, {0.059572975056, 0.164926474365, 0.244339738466, 15.1032049294, kNone, kNone}},
      {"Shu", -30, {0.821505708253, 0.192143595815, 0.00255347863259, 1.31931482138, kNone, kNone}},
      {"Shu", 20, {0.999828274133, 0.0473463539634, 8.0513258627e-07, 0.320512093486, kNone, kNone}},
      {"Bazhenov", -60, {0.0291656625168, 0.109557975433, 0.691352849519, 14.1101544789, kNone, kNone}},
      {"Bazhenov", -30, {0.457147776448, 0.186603954302, 0.0174252166816, 1.79950016814, kNone, kNone}},
      {"Bazhenov", 20, {0.995430288959, 0.0603616075965, 5.57744500406e-06, 0.347220081094, kNone, kNone}},
      {"LyleMS", -70, {0.000299732727637, 5, 1, 3, kNone, kNone}},
      {"LyleMS", -40, {0.205534890264, 5, 0.0564242486446, 39.6005134037, kNone, kNone}},
      {"LyleMS", -20, {0.959097084457, 5, 2.7697753886e-11, 3, kNone, kNone}},
  };
  for (const auto& c : cases) {
    const SodiumRates r = RatesOf(c.type, c.v, ResurgentRecord(c.type));
    const double actual[6] = {r.m.inf, r.m.tau, r.h.inf, r.h.tau, r.s.inf, r.s.tau};
    const char* names[6] = {"m_inf", "tau_m", "h_inf", "tau_h", "s_inf", "tau_s"};
    for (int i = 0; i < 6; ++i) {
      if (std::isnan(c.expected[i])) continue;
      EXPECT_NEAR(actual[i], c.expected[i], 1e-9 * std::abs(c.expected[i]) + 1e-15)
          << c.type << " " << names[i] << " at " << c.v;
    }
  }
}

TEST(ResurgentSodiumKinetics, GatesStayFiniteAndInRangeAtEveryVoltage) {
  for (const NaRScheme& scheme : kSchemes) {
    const NeuronProperties np = ResurgentRecord(scheme.type);
    for (double v = -200.0; v <= 200.0; v += 0.25) {
      const SodiumRates r = RatesOf(scheme.type, v, np);
      ASSERT_TRUE(testing::GatesInRange(r)) << scheme.type << " at " << v;
      if (std::string_view(scheme.type) == "LyleMS") {
        ASSERT_GE(r.m.tau, 5.0) << v;
        ASSERT_GE(r.h.tau, 3.0) << v;
      }
    }
  }
  // The 0/0 points of the linear-exponential rates join their neighbours.
  const struct {
    const char* type;
    double v;
  } singular[] = {{"Rariza", -30.0}, {"Migliore", -30.0}, {"Migliore", -45.0}, {"Shu", -38.0},
                  {"Shu", -70.0},    {"Bazhenov", -25.0}, {"Bazhenov", -65.0}};
  for (const auto& c : singular) {
    const NeuronProperties np = ResurgentRecord(c.type);
    const SodiumRates at = RatesOf(c.type, c.v, np);
    const SodiumRates below = RatesOf(c.type, c.v - 1e-4, np);
    const SodiumRates above = RatesOf(c.type, c.v + 1e-4, np);
    EXPECT_NEAR(at.m.inf, 0.5 * (below.m.inf + above.m.inf), 1e-6) << c.type << " at " << c.v;
    EXPECT_NEAR(at.m.tau, 0.5 * (below.m.tau + above.m.tau), 1e-6 * (1 + at.m.tau))
        << c.type << " at " << c.v;
    EXPECT_NEAR(at.h.tau, 0.5 * (below.h.tau + above.h.tau), 1e-6 * (1 + at.h.tau))
        << c.type << " at " << c.v;
  }
}

TEST(ResurgentSodiumKinetics, OnlyTheLyleSchemeFollowsTheNaThresholdShift) {
  const double v = -47.0;
  for (const NaRScheme& scheme : kSchemes) {
    NeuronProperties plain = ResurgentRecord(scheme.type);
    NeuronProperties shifted = plain;
    shifted.NaThreshShift = 5.0;
    const bool follows = std::string_view(scheme.type) == "LyleMS";
    const SodiumRates s = RatesOf(scheme.type, v + 5.0, shifted);
    const SodiumRates e = RatesOf(scheme.type, follows ? v : v + 5.0, plain);
    EXPECT_DOUBLE_EQ(s.m.inf, e.m.inf) << scheme.type;
    EXPECT_DOUBLE_EQ(s.h.inf, e.h.inf) << scheme.type;
    EXPECT_DOUBLE_EQ(s.h.tau, e.h.tau) << scheme.type;
    EXPECT_DOUBLE_EQ(s.s.inf, e.s.inf) << scheme.type;
  }
}

TEST(ResurgentSodiumKinetics, SlowInactivationFollowsItsOwnSwitch) {
  // The Migliore scheme follows If_Slow_NaR_inactivation, the Chow scheme the
  // Na slot's If_Slow_Na_inactivation; switched off, s∞ is 1 and τs unchanged.
  const struct {
    const char* type;
    int naSwitch, naRSwitch;
    bool off;
  } cases[] = {{"Migliore", 1, 1, false}, {"Migliore", 0, 1, false}, {"Migliore", 1, 0, true},
               {"Chow", 1, 1, false},     {"Chow", 1, 0, false},     {"Chow", 0, 1, true}};
  const double v = -30.0;
  for (auto c : cases) {
    NeuronProperties np = ResurgentRecord(c.type);
    const SodiumRates on = RatesOf(c.type, v, np);
    np.If_Slow_Na_inactivation = c.naSwitch;
    np.If_Slow_NaR_inactivation = c.naRSwitch;
    const SodiumRates r = RatesOf(c.type, v, np);
    EXPECT_EQ(r.s.inf, c.off ? 1.0 : on.s.inf) << c.type << " " << c.naSwitch << c.naRSwitch;
    EXPECT_EQ(r.s.tau, on.s.tau) << c.type;
    EXPECT_LT(on.s.inf, 1.0) << c.type;
  }
}

TEST(ResurgentSodiumChannel, InitSetsSteadyStatesAndStepRelaxesOnlyTheNaRGates) {
  StandaloneClock clock;
  for (const NaRScheme& scheme : kSchemes) {
    SCOPED_TRACE(scheme.type);
    auto neuron = MakeNeuron(ResurgentRecord(scheme.type), clock);
    TChannel& ch = neuron->Channel(Slot::NaR);
    NeuronVariables& nv = neuron->NV;
    nv.mm = 0.11, nv.hh = 0.22, nv.ii = 0.33;  // the Na slot's gates are not this channel's
    nv.iiR = 0.44;                             // left alone without slow inactivation
    nv.V = -0.060;
    ch.Init();
    const SodiumRates rest = RatesOf(scheme.type, -60.0, neuron->NP);
    EXPECT_DOUBLE_EQ(nv.mmR, rest.m.inf);
    EXPECT_DOUBLE_EQ(nv.hhR, rest.h.inf);
    EXPECT_DOUBLE_EQ(nv.iiR, scheme.ps ? rest.s.inf : 0.44);

    const double m0 = 0.3, h0 = 0.6, s0 = scheme.ps ? 0.8 : 0.44;
    nv.mmR = m0, nv.hhR = h0, nv.iiR = s0;
    nv.V = -0.025;
    const double I = ch.Step();
    const SodiumRates r = RatesOf(scheme.type, -25.0, neuron->NP);
    const double m1 = ExpectedRelaxed(m0, r.m, clock.dt);
    const double h1 = ExpectedRelaxed(h0, r.h, clock.dt);
    const double s1 = scheme.ps ? ExpectedRelaxed(s0, r.s, clock.dt) : s0;
    EXPECT_NEAR(nv.mmR, m1, 1e-12);
    EXPECT_NEAR(nv.hhR, h1, 1e-12);
    EXPECT_NEAR(nv.iiR, s1, 1e-12);
    const double open = std::pow(m1, scheme.pm) * std::pow(h1, scheme.ph) * std::pow(s1, scheme.ps) *
                        (scheme.tempScaled ? neuron->NP.TempFactor : 1.0);
    const double E = scheme.reversesAtVNaR ? 0.031 : 0.05;
    EXPECT_NEAR(I, open * 1.5 * (-0.025 - E), 1e-12);
    EXPECT_NEAR(ch.Conductance(nv.mmR, nv.hhR, nv.iiR), open, 1e-12);
    EXPECT_EQ(nv.mm, 0.11);
    EXPECT_EQ(nv.hh, 0.22);
    EXPECT_EQ(nv.ii, 0.33);
  }
}

TEST(ResurgentSodiumChannel, OnlyItsOwnBlockSilencesIt) {
  StandaloneClock clock;
  for (const NaRScheme& scheme : kSchemes) {
    SCOPED_TRACE(scheme.type);
    for (int blockNa : {0, 1}) {
      for (int blockNaR : {0, 1}) {
        NeuronProperties np = ResurgentRecord(scheme.type);
        np.IfBlockNa = blockNa;
        np.IfBlockNaR = blockNaR;
        auto neuron = MakeNeuron(np, clock);
        neuron->NV.V = -0.065;
        neuron->Channel(Slot::NaR).Init();
        const double m0 = neuron->NV.mmR;
        neuron->NV.V = -0.010;
        const double I = neuron->Channel(Slot::NaR).Step();
        const NeuronVariables& nv = neuron->NV;
        EXPECT_NE(nv.mmR, m0) << "the gates move under a block";
        const double g = neuron->Channel(Slot::NaR).Conductance(nv.mmR, nv.hhR, nv.iiR);
        if (blockNaR) {
          EXPECT_EQ(I, 0.0);
          EXPECT_EQ(g, 0.0);
        } else {
          EXPECT_LT(I, 0.0) << "inward below the reversal";
          EXPECT_GT(g, 0.0);
        }
      }
    }
  }
}

TEST(ResurgentSodiumChannel, InitWritesTheTemperatureFactorOfItsReference) {
  const double at23 = std::pow(2.3, 0.4);  // Temp 300 K
  const struct {
    const char* type;
    double expected;  // -1: left alone
  } cases[] = {{"Shu", at23},    {"Bazhenov", at23}, {"Rariza", -1}, {"Cummins", -1},
               {"Migliore", -1}, {"Chow", -1},       {"LyleMS", -1}};
  StandaloneClock clock;
  for (const auto& c : cases) {
    NeuronProperties np = ResurgentRecord(c.type);
    np.TempFactor = -1.0;
    auto neuron = MakeNeuron(np, clock);
    neuron->NV.V = -0.06;
    neuron->Channel(Slot::NaR).Init();
    EXPECT_NEAR(neuron->NP.TempFactor, c.expected, 1e-12) << c.type;
  }
}

TEST(ResurgentSodiumChannel, ParametricFormWithTheNaCoefficientsMatchesTheNaCurrent) {
  // Same coefficients, offsets and reversal, no slow inactivation and no
  // threshold shift: the NaR current is the Na current, step for step.
  NeuronProperties np = ResurgentRecord("Rariza");
  np.Na_type = "Rariza";
  np.If_Slow_Na_inactivation = 0;
  np.gNa = np.gNaR = 120.0;
  np.VNa = np.VNaR = 0.055;
  np.Tr_Na = np.Tr_NaR = -60.0;
  np.a1Na = np.a1NaR = 0.1, np.a2Na = np.a2NaR = 25, np.a3Na = np.a3NaR = 10, np.a4Na = np.a4NaR = 1;
  np.b1Na = np.b1NaR = 4, np.b2Na = np.b2NaR = 0, np.b3Na = np.b3NaR = 18, np.b4Na = np.b4NaR = 0;
  np.c1Na = np.c1NaR = 0.07, np.c2Na = np.c2NaR = 0, np.c3Na = np.c3NaR = 20, np.c4Na = np.c4NaR = 0;
  np.d1Na = np.d1NaR = 1, np.d2Na = np.d2NaR = 30, np.d3Na = np.d3NaR = 10, np.d4Na = np.d4NaR = -1;
  StandaloneClock clock;
  auto neuron = MakeNeuron(np, clock);
  neuron->NV.V = -0.060;
  neuron->Channel(Slot::Na).Init();
  neuron->Channel(Slot::NaR).Init();
  for (int i = 0; i < 400; ++i) {
    neuron->NV.V = -0.060 + 0.09 * std::sin(0.05 * i);
    const double INa = neuron->Channel(Slot::Na).Step();
    const double INaR = neuron->Channel(Slot::NaR).Step();
    ASSERT_NEAR(INaR, INa, 1e-12 * (1.0 + std::abs(INa))) << "step " << i;
  }
  EXPECT_EQ(neuron->NV.ii, 1.0);
}

TEST(ResurgentSodiumChannel, BazhenovNaAndNaRKeepTheirOwnGatesAndVoltages) {
  NeuronProperties np = ResurgentRecord("Bazhenov");
  np.Na_type = "Bazhenov";
  np.NaThreshShift = 5.0;
  StandaloneClock clock;
  auto neuron = MakeNeuron(np, clock);
  neuron->NV.V = -0.050;
  neuron->Channel(Slot::Na).Init();
  neuron->Channel(Slot::NaR).Init();
  const NeuronVariables& nv = neuron->NV;
  EXPECT_DOUBLE_EQ(nv.mm, TBazhNa::Kinetics(-55.0, neuron->NP.TempFactor).m.inf);
  EXPECT_DOUBLE_EQ(nv.mmR, TBazhNa::Kinetics(-50.0, neuron->NP.TempFactor).m.inf);
  EXPECT_GT(nv.mmR, nv.mm);
}

TEST(ResurgentSodiumCatalogue, NaRTypeSelectsItsScheme) {
  const struct {
    const char* NaR_type;
    const std::type_info& cls;
  } cases[] = {
      {"Rariza", typeid(TRarizaNaR)}, {"Cummins", typeid(TCumNaR)},       {"Migliore", typeid(TMigliNaR)},
      {"Chow", typeid(TChowNaR)},     {"Shu", typeid(TShuNaR)},           {"Bazhenov", typeid(TBazhNaR)},
      {"LyleMS", typeid(TLyleMSNaR)}, {"Naundorf", typeid(TNullChannel)}, {"", typeid(TNullChannel)}};
  StandaloneClock clock;
  for (const auto& c : cases) {
    auto neuron = MakeNeuron(ResurgentRecord(c.NaR_type), clock);
    const TChannel& ch = neuron->Channel(Slot::NaR);
    EXPECT_EQ(typeid(ch), c.cls) << c.NaR_type;
  }
}

}  // namespace
}  // namespace membrix
