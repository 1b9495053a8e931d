#include "channels/sodium_test_support.h"
#include "channels/sodium.h"

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
constexpr double kFRT309 = 96485.0 / 8.314 / 309.0 / 1000.0;

// A record whose Na slot holds the scheme of Na_type: the classic squid-axon
// coefficients for the parametric form, slow inactivation on, a known
// temperature factor and F/RT.
NeuronProperties SodiumRecord(std::string_view Na_type) {
  NeuronProperties np = testing::PassiveRecord();
  np.Na_type = std::string(Na_type);
  np.gNa = 2.5;
  np.VNa = 0.05;
  np.Temp = 300.0;
  np.TempFactor = 2.0;
  np.FRT = kFRT309;
  np.If_Slow_Na_inactivation = 1;
  np.KJ_NaCooperativity = 10.0;
  np.Tr_Na = -60.0;
  np.NaThreshShift = 0.0;
  np.a1Na = 0.1, np.a2Na = 25, np.a3Na = 10, np.a4Na = 1;
  np.b1Na = 4, np.b2Na = 0, np.b3Na = 18, np.b4Na = 0;
  np.c1Na = 0.07, np.c2Na = 0, np.c3Na = 20, np.c4Na = 0;
  np.d1Na = 1, np.d2Na = 30, np.d3Na = 10, np.d4Na = -1;
  return np;
}

// The neuron as the factory leaves it, with the record copied in.
std::unique_ptr<TCondBasedNrn> MakeNeuron(const NeuronProperties& np, const StandaloneClock& clock) {
  auto neuron = std::make_unique<TCondBasedNrn>(np, clock.View());
  neuron->NP = np;
  neuron->NV.wAHP = 0.1;  // no cooperative shift in the Naundorf scheme
  return neuron;
}

SodiumRates RatesOf(std::string_view type, double v, const NeuronProperties& np) {
  if (type == "Rariza") return TRarizaNa::Rates(v, np);
  if (type == "Migliore") return TMigliNa::Rates(v, np);
  if (type == "Cummins") return TCumNa::Rates(v, np);
  if (type == "Chow") return TChowNa::Rates(v, np);
  if (type == "Fleid") return TFleidNa::Rates(v, np);
  if (type == "Shu") return TShuNa::Rates(v, np);
  if (type == "Bazhenov") return TBazhNa::Rates(v, np);
  if (type == "LyleMS") return TLyleMSNa::Rates(v, np);
  if (type == "Naundorf") return TNaundorfNa::Rates(v, 0.0, np);
  if (type == "White") return TWhiteNa::Rates(v, np);
  if (type == "White2") return TWhite2Na::Rates(v, np);
  ADD_FAILURE() << "no scheme " << type;
  return {};
}

// How each scheme turns its gates into an open fraction.
struct NaScheme {
  const char* type;
  int pm, ph, ps;      // gate powers; ps = 0: no slow inactivation
  bool tempScaled;     // the conductance carries TempFactor
  bool blockable;      // IfBlockNa silences it
  bool mInfInCurrent;  // the current opens with m∞ rather than the relaxed mm
};

constexpr NaScheme kSchemes[] = {
    {"Rariza", 3, 1, 1, false, true, false},  {"Migliore", 3, 1, 1, false, true, false},
    {"Cummins", 3, 1, 1, false, true, false}, {"Chow", 3, 1, 3, true, true, false},
    {"Fleid", 3, 1, 1, false, true, false},   {"Shu", 3, 1, 0, true, true, false},
    {"Bazhenov", 3, 1, 0, true, true, false}, {"LyleMS", 1, 2, 0, false, true, false},
    {"Naundorf", 3, 1, 0, false, true, true}, {"White", 1, 1, 0, false, true, false},
    {"White2", 1, 3, 0, false, false, false},
};

double OpenFraction(const NaScheme& c, double m, double h, double s, double TempFactor) {
  return std::pow(m, c.pm) * std::pow(h, c.ph) * std::pow(s, c.ps) * (c.tempScaled ? TempFactor : 1.0);
}

double ExpectedRelaxed(double x0, GateRates r, double dt) {
  const double f = r.tau > 0 ? 1.0 - std::exp(-1000.0 * dt / r.tau) : 1.0;
  return x0 + f * (r.inf - x0);
}

void ExpectRelClose(double actual, double expected, const std::string& what) {
  EXPECT_NEAR(actual, expected, 1e-9 * std::abs(expected) + 1e-15) << what;
}

TEST(SodiumKinetics, SteadyStatesAndTimeConstantsMatchTheFormulas) {
  // Computed by hand from the published forms, with the exponential bounded to
  // [-20, 20] as the kinetics bound it (the last rows of several schemes lie
  // where it saturates); the parametric form with the squid-axon coefficients,
  // Tr_Na = -60 mV and a 3 mV threshold shift; the temperature-scaled schemes
  // at TempFactor 2. Order: m∞, τm, h∞, τh, s∞, τs (ms).
  const struct {
    const char* type;
    double v;
    double expected[6];
  } cases[] = {
      {"Rariza", -65, {0.0198551726427, 0.157112410281, 0.754079665823, 8.3896833463,
                       0.927945856381, 129.87012987}},
      {"Rariza", -40, {0.295592378921, 0.452825698147, 0.0873843709654, 3.39336210981,
                       0.444671944738, 129.87012987}},
      {"Rariza", 10, {0.977819716136, 0.229323034635, 0.00214790930037, 1.01612838926,
                      0.00308603376681, 129.87012987}},
      {"Migliore", -70, {0.0123171070556, 0.099179898161, 0.993307149076, 1.99999953778,
                         0.998763688422, 1206.30810664}},
      {"Migliore", -35, {0.616977432599, 0.154644809109, 0.02297736991, 1.66383979075, 0.500005064995, 10}},
      {"Migliore", 5, {0.997605764245, 0.0353529436821, 1.06770287004e-06, 0.5, 0.500000001031, 10}},
      {"Cummins", -70, {0.00239594449012, 0.141654894567, 0.855422249534, 6.91011161611,
                        0.999999997939, 25.0099999485}},
      {"Cummins", -45, {0.316820763218, 0.807379045954, 0.0223619691935, 3.52004521588,
                        0.965554804334, 25.009986671}},
      {"Cummins", 0, {0.999834316109, 0.121056621185, 1.03845262201e-06, 0.598637809704,
                      2.06115361819e-09, 24.7198170889}},
      {"Chow", -70, {0.0287484959265, 0, 0.984632294435, 0.123287869782, 0.999876605424, 50}},
      {"Chow", -40, {0.246011283551, 0, 0.564636291803, 0.288693632847, 0.00247262315663, 50}},
      {"Chow", 10, {0.946848863602, 0, 0.00194606098509, 0.29997087955, 2.06115361819e-09, 50}},
      {"Fleid", -70, {0.00362498022842, 0.267178831458, 0.634547160894, 1.94530712456,
                      0.972912024636, 802.030374769}},
      {"Fleid", -50, {0.165719250883, 0.581752522288, 0.153246153877, 1.78226863706,
                      0.720265138456, 1156.48311119}},
      {"Fleid", 0, {0.999771495271, 0.137285179849, 0.000827874646118, 0.269895992881,
                    0.0200490109561, 170.437042518}},
      {"Shu", -65, {0.030078114147, 0.141790487573, 0.420046953918, 14.1101544789, kNone, kNone}},
      {"Shu", -40, {0.524483113092, 0.238259564361, 0.0126816218793, 2.62445719675, kNone, kNone}},
      {"Shu", 10, {0.999283823857, 0.0571332796531, 4.03962424758e-06, 0.378781528877, kNone, kNone}},
      {"Bazhenov", -70, {0.00979272158973, 0.0881304045027, 0.918291349635, 6.77790780835, kNone, kNone}},
      {"Bazhenov", -45, {0.137229134793, 0.155095583075, 0.166185928926, 6.82753761683, kNone, kNone}},
      {"Bazhenov", 10, {0.986246513892, 0.0758288811282, 2.79834036156e-05, 0.416647677543, kNone, kNone}},
      {"LyleMS", -70, {3.1406962303e-08, 0.5, 0.999960548519, 4.7731710756, kNone, kNone}},
      {"LyleMS", -50, {0.0950546888563, 0.977634872666, 4.14409647991e-06, 2, kNone, kNone}},
      {"LyleMS", -40, {0.99482117568, 0.5, 5.29892423396e-11, 2, kNone, kNone}},
      {"Naundorf", -70, {0.0153915675794, 0.141230614047, 0.896193170434, 1.40526068606, kNone, kNone}},
      {"Naundorf", -40, {0.36921678032, 0.479037557786, 0.109488395307, 0.769422850665, kNone, kNone}},
      {"Naundorf", 10, {0.982326251587, 0.215869687258, 0.00238269908936, 0.20398695399, kNone, kNone}},
      {"White", -70, {1.67014218481e-05, 0, 0.999979600913, 84.3056871837, kNone, kNone}},
      {"White", -40, {0.00669285092428, 0, 0.991837428847, 1.4300623662, kNone, kNone}},
      {"White", 10, {0.993307149076, 0, 0.00548629889945, 0.240054860277, kNone, kNone}},
      {"White2", -70, {4.53978687024e-05, 0, 0.999876605424, 200, kNone, kNone}},
      {"White2", -45, {0.02297736991, 0, 0.0293122307514, 200, kNone, kNone}},
      {"White2", 0, {0.999447221363, 0, 2.06115361819e-09, 200, kNone, kNone}},
  };
  for (const auto& c : cases) {
    NeuronProperties np = SodiumRecord(c.type);
    if (std::string_view(c.type) == "Rariza") np.NaThreshShift = 3.0;
    const SodiumRates r = RatesOf(c.type, c.v, np);
    const double actual[6] = {r.m.inf, r.m.tau, r.h.inf, r.h.tau, r.s.inf, r.s.tau};
    const char* names[6] = {"m_inf", "tau_m", "h_inf", "tau_h", "s_inf", "tau_s"};
    for (int i = 0; i < 6; ++i) {
      if (std::isnan(c.expected[i])) continue;
      ExpectRelClose(actual[i], c.expected[i],
                     std::string(c.type) + " " + names[i] + " at " + std::to_string(c.v));
    }
  }
}

TEST(SodiumKinetics, GatesStayFiniteAndInRangeAtEveryVoltage) {
  // The grid passes through every singular voltage of the linear-exponential
  // rates (and the Naundorf activation at u = 0) and out to where the bounded
  // exponential saturates.
  for (const NaScheme& scheme : kSchemes) {
    const NeuronProperties np = SodiumRecord(scheme.type);
    for (double v = -200.0; v <= 200.0; v += 0.25) {
      const SodiumRates r = RatesOf(scheme.type, v, np);
      ASSERT_TRUE(testing::GatesInRange(r)) << scheme.type << " at " << v;
      if (std::string_view(scheme.type) == "Migliore") {
        ASSERT_GE(r.m.tau, 0.02) << v;
        ASSERT_GE(r.h.tau, 0.5) << v;
        ASSERT_GE(r.s.tau, 10.0) << v;
      }
      if (std::string_view(scheme.type) == "LyleMS") {
        ASSERT_GE(r.m.tau, 0.5) << v;
        ASSERT_GE(r.h.tau, 2.0) << v;
      }
    }
  }
}

TEST(SodiumKinetics, SingularVoltagesTakeTheLimitOfTheRate) {
  // Where a rate is 0/0 the value joins its neighbours smoothly.
  const struct {
    const char* type;
    double v;
  } cases[] = {{"Rariza", -35.0},   {"Migliore", -30.0}, {"Migliore", -45.0}, {"Fleid", -40.0},
               {"Shu", -38.0},      {"Shu", -45.0},      {"Shu", -70.0},      {"Bazhenov", -25.0},
               {"Bazhenov", -40.0}, {"Bazhenov", -65.0}, {"Naundorf", -35.0}};
  const double d = 1e-4;
  for (const auto& c : cases) {
    const NeuronProperties np = SodiumRecord(c.type);
    const SodiumRates at = RatesOf(c.type, c.v, np);
    const SodiumRates below = RatesOf(c.type, c.v - d, np);
    const SodiumRates above = RatesOf(c.type, c.v + d, np);
    const double a[4] = {at.m.inf, at.m.tau, at.h.inf, at.h.tau};
    const double b[4] = {below.m.inf, below.m.tau, below.h.inf, below.h.tau};
    const double u[4] = {above.m.inf, above.m.tau, above.h.inf, above.h.tau};
    for (int i = 0; i < 4; ++i) {
      EXPECT_NEAR(a[i], 0.5 * (b[i] + u[i]), 1e-6 * (1.0 + std::abs(a[i])))
          << c.type << " at " << c.v << " #" << i;
    }
  }
}

TEST(SodiumKinetics, ThresholdShiftMovesActivationAndWhereStatedInactivation) {
  // +5 mV of NaThreshShift moves the activation curve by +5 mV in every
  // scheme; the parametric, Cummins and White schemes leave the inactivations
  // where they were, the others move them too.
  const double v = -52.0;
  for (const NaScheme& scheme : kSchemes) {
    const std::string_view type = scheme.type;
    const bool inactivationStays = type == "Rariza" || type == "Cummins" || type == "White";
    NeuronProperties plain = SodiumRecord(type);
    NeuronProperties shifted = plain;
    shifted.NaThreshShift = 5.0;
    const SodiumRates s = RatesOf(type, v + 5.0, shifted);
    const SodiumRates same = RatesOf(type, v + 5.0, plain);
    const SodiumRates moved = RatesOf(type, v, plain);
    EXPECT_DOUBLE_EQ(s.m.inf, moved.m.inf) << type;
    EXPECT_DOUBLE_EQ(s.m.tau, moved.m.tau) << type;
    const SodiumRates& inact = inactivationStays ? same : moved;
    EXPECT_DOUBLE_EQ(s.h.inf, inact.h.inf) << type;
    EXPECT_DOUBLE_EQ(s.h.tau, inact.h.tau) << type;
    EXPECT_DOUBLE_EQ(s.s.inf, inact.s.inf) << type;
    EXPECT_DOUBLE_EQ(s.s.tau, inact.s.tau) << type;
  }
}

TEST(SodiumKinetics, SlowInactivationSwitchesOffToOne) {
  // Switched off, s∞ is 1 at every voltage while τs is still the scheme's;
  // the Cummins scheme keeps its slow inactivation regardless.
  for (const char* type : {"Rariza", "Migliore", "Chow", "Fleid", "Cummins"}) {
    NeuronProperties on = SodiumRecord(type);
    NeuronProperties off = on;
    off.If_Slow_Na_inactivation = 0;
    for (double v : {-70.0, -20.0, 20.0}) {
      const SodiumRates a = RatesOf(type, v, on);
      const SodiumRates b = RatesOf(type, v, off);
      EXPECT_EQ(b.s.inf, std::string_view(type) == "Cummins" ? a.s.inf : 1.0) << type << " at " << v;
      EXPECT_EQ(b.s.tau, a.s.tau) << type << " at " << v;
      EXPECT_LT(a.s.inf, 1.0) << type << " at " << v;  // on, it does inactivate
    }
  }
}

TEST(SodiumChannel, InitSetsSteadyStatesAndStepRelaxesEachGateFromItsOwnValue) {
  StandaloneClock clock;
  for (const NaScheme& scheme : kSchemes) {
    SCOPED_TRACE(scheme.type);
    auto neuron = MakeNeuron(SodiumRecord(scheme.type), clock);
    TChannel& ch = neuron->Channel(Slot::Na);
    NeuronVariables& nv = neuron->NV;
    nv.V = -0.055;
    nv.ii = 0.123;  // left alone by the schemes without slow inactivation
    ch.Init();
    const SodiumRates rest = RatesOf(scheme.type, -55.0, neuron->NP);
    EXPECT_DOUBLE_EQ(nv.mm, rest.m.inf);
    EXPECT_DOUBLE_EQ(nv.hh, rest.h.inf);
    EXPECT_DOUBLE_EQ(nv.ii, scheme.ps ? rest.s.inf : 0.123);

    // At the same voltage nothing moves.
    ch.Step();
    EXPECT_NEAR(nv.mm, rest.m.inf, 1e-14);
    EXPECT_NEAR(nv.hh, rest.h.inf, 1e-14);
    EXPECT_NEAR(nv.ii, scheme.ps ? rest.s.inf : 0.123, 1e-14);

    // A step to -30 mV from gates off their steady states.
    const double m0 = 0.3, h0 = 0.6, s0 = scheme.ps ? 0.8 : 0.123;
    nv.mm = m0, nv.hh = h0, nv.ii = s0;
    nv.V = -0.030;
    const double I = ch.Step();
    const SodiumRates r = RatesOf(scheme.type, -30.0, neuron->NP);
    const double m1 = ExpectedRelaxed(m0, r.m, clock.dt);
    const double h1 = ExpectedRelaxed(h0, r.h, clock.dt);
    const double s1 = scheme.ps ? ExpectedRelaxed(s0, r.s, clock.dt) : s0;
    EXPECT_NEAR(nv.mm, m1, 1e-12);
    EXPECT_NEAR(nv.hh, h1, 1e-12);
    EXPECT_NEAR(nv.ii, s1, 1e-12);
    const double tf = neuron->NP.TempFactor;
    const double mOpen = scheme.mInfInCurrent ? r.m.inf : m1;
    EXPECT_NEAR(I, OpenFraction(scheme, mOpen, h1, s1, tf) * 2.5 * (-0.030 - 0.05), 1e-12);
    EXPECT_NEAR(ch.Conductance(nv.mm, nv.hh, nv.ii), OpenFraction(scheme, nv.mm, nv.hh, nv.ii, tf), 1e-12);
  }
}

TEST(SodiumChannel, BlockSilencesTheCurrentWhileTheGatesMove) {
  StandaloneClock clock;
  for (const NaScheme& scheme : kSchemes) {
    SCOPED_TRACE(scheme.type);
    NeuronProperties np = SodiumRecord(scheme.type);
    auto open = MakeNeuron(np, clock);
    np.IfBlockNa = 1;
    auto blocked = MakeNeuron(np, clock);
    for (auto* n : {open.get(), blocked.get()}) {
      n->NV.V = -0.065;
      n->Channel(Slot::Na).Init();
      n->NV.V = -0.020;
    }
    const double mRest = blocked->NV.mm, hRest = blocked->NV.hh;
    const double Iopen = open->Channel(Slot::Na).Step();
    const double Iblocked = blocked->Channel(Slot::Na).Step();
    const NeuronVariables& nv = blocked->NV;
    EXPECT_NE(nv.mm, mRest);
    EXPECT_NE(nv.hh, hRest);
    EXPECT_EQ(nv.mm, open->NV.mm);
    EXPECT_EQ(nv.hh, open->NV.hh);
    EXPECT_NE(Iopen, 0.0);
    const double g = blocked->Channel(Slot::Na).Conductance(nv.mm, nv.hh, nv.ii);
    if (scheme.blockable) {
      EXPECT_EQ(Iblocked, 0.0);
      EXPECT_EQ(g, 0.0);
    } else {  // the White2 current has no block factor
      EXPECT_EQ(Iblocked, Iopen);
      EXPECT_GT(g, 0.0);
    }
  }
}

TEST(SodiumChannel, InitWritesTheTemperatureFactorOfItsReference) {
  // Temp 300 K: 2.3^((300 - 273 - Tref)/10); -1 marks a factor left alone.
  const double at36 = std::pow(2.3, -0.9), at23 = std::pow(2.3, 0.4);
  const struct {
    const char* type;
    double expected;
  } cases[] = {{"Chow", at36},   {"Fleid", at23},  {"Shu", at23},   {"Bazhenov", at23},
               {"Rariza", -1},   {"Migliore", -1}, {"Cummins", -1}, {"LyleMS", -1},
               {"Naundorf", -1}, {"White", -1},    {"White2", -1}};
  StandaloneClock clock;
  for (const auto& c : cases) {
    NeuronProperties np = SodiumRecord(c.type);
    np.TempFactor = -1.0;
    auto neuron = MakeNeuron(np, clock);
    neuron->NV.V = -0.06;
    neuron->Channel(Slot::Na).Init();
    EXPECT_NEAR(neuron->NP.TempFactor, c.expected, 1e-12) << c.type;
  }
}

TEST(SodiumChannel, NaundorfActivationFollowsTheAhpGate) {
  // c = (0.1 - wAHP)·KJ_NaCooperativity shifts the activation the current
  // sees; Init takes no shift.
  StandaloneClock clock;
  const struct {
    double wAHP, KJ, c;
  } cases[] = {{0.1, 10.0, 0.0}, {0.1, 1000.0, 0.0}, {0.0, 10.0, 1.0}, {0.5, 10.0, -4.0}, {0.0, 0.0, 0.0}};
  for (auto c : cases) {
    NeuronProperties np = SodiumRecord("Naundorf");
    np.KJ_NaCooperativity = c.KJ;
    auto neuron = MakeNeuron(np, clock);
    NeuronVariables& nv = neuron->NV;
    nv.V = -0.05;
    neuron->Channel(Slot::Na).Init();
    EXPECT_DOUBLE_EQ(nv.mm, TNaundorfNa::Rates(-50.0, 0.0, np).m.inf);
    nv.wAHP = c.wAHP;
    const double h0 = nv.hh, m0 = nv.mm;
    const double I = neuron->Channel(Slot::Na).Step();
    const SodiumRates r = TNaundorfNa::Rates(-50.0, c.c, np);
    EXPECT_NEAR(nv.mm, ExpectedRelaxed(m0, r.m, clock.dt), 1e-14) << "wAHP " << c.wAHP << " KJ " << c.KJ;
    EXPECT_NEAR(I, std::pow(r.m.inf, 3) * h0 * 2.5 * (-0.05 - 0.05), 1e-14)
        << "wAHP " << c.wAHP << " KJ " << c.KJ;
  }
  // The shift moves the activation curve: a positive c opens it at a lower voltage.
  const NeuronProperties np = SodiumRecord("Naundorf");
  EXPECT_DOUBLE_EQ(TNaundorfNa::Rates(-50.0, 1.0, np).m.inf, TNaundorfNa::Rates(-49.0, 0.0, np).m.inf);
}

TEST(SodiumCatalogue, NaTypeSelectsItsScheme) {
  const struct {
    const char* Na_type;
    const std::type_info& cls;
  } cases[] = {
      {"Rariza", typeid(TRarizaNa)}, {"Migliore", typeid(TMigliNa)}, {"Cummins", typeid(TCumNa)},
      {"Chow", typeid(TChowNa)},     {"Fleid", typeid(TFleidNa)},    {"Shu", typeid(TShuNa)},
      {"Bazhenov", typeid(TBazhNa)}, {"LyleMS", typeid(TLyleMSNa)},  {"Naundorf", typeid(TNaundorfNa)},
      {"White", typeid(TWhiteNa)},   {"White2", typeid(TWhite2Na)},  {"rariza", typeid(TNullChannel)}};
  StandaloneClock clock;
  for (const auto& c : cases) {
    auto neuron = MakeNeuron(SodiumRecord(c.Na_type), clock);
    const TChannel& ch = neuron->Channel(Slot::Na);
    EXPECT_EQ(typeid(ch), c.cls) << c.Na_type;
  }
  // The White2 family carries its own Na current whatever Na_type says.
  NeuronProperties np = SodiumRecord("Chow");
  np.HH_type = "White2";
  auto white2 = MakeNeuron(np, clock);
  const TChannel& ch = white2->Channel(Slot::Na);
  EXPECT_EQ(typeid(ch), typeid(TWhite2Na));
}

}  // namespace
}  // namespace membrix
