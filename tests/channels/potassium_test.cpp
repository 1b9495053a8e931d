#include "channels/potassium.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string_view>
#include <typeinfo>

#include "neuron/cond_based_neuron.h"
#include "params/model_defaults.h"

namespace membrix {
namespace {

// FRT at 36 °C (F = 96485 C/mol, R = 8.314 J/(mol·K), T = 309 K), per mV.
constexpr double kF = 96485.0 / 8.314 / 309.0 / 1000.0;

// The classic squid-axon coefficients of the parametric K channel, voltage from -60 mV.
NeuronProperties ClassicK() {
  NeuronProperties np;
  np.a1K = 0.01;
  np.a2K = 10;
  np.a3K = 10;
  np.b1K = 0.125;
  np.b2K = 0;
  np.b3K = 80;
  np.Tr_Na = -60;
  return np;
}

// ---- Kinetics against values computed by hand from the published formulas ----

using GateFn = GateRates (*)(double v);

struct RateCase {
  const char* gate;
  GateFn rates;
  double v, inf, tau;
};

// The hand values were computed, with the bounded exponential, from these
// parameters: the classic K coefficients, Tr_Na = -63 mV for the Destexhe K
// channel, KThreshShift = 5 mV, TempFactor = 2 where the kinetics take one,
// tauKM2 = 333 and f = kF.
void ExpectRates(const RateCase* begin, const RateCase* end) {
  for (const RateCase* c = begin; c != end; ++c) {
    const GateRates r = c->rates(c->v);
    EXPECT_NEAR(r.inf, c->inf, 1e-12 * c->inf + 1e-15) << c->gate << " at " << c->v << " mV";
    EXPECT_NEAR(r.tau, c->tau, 1e-12 * c->tau) << c->gate << " at " << c->v << " mV";
  }
}

template <std::size_t N>
void ExpectRates(const RateCase (&cases)[N]) {
  ExpectRates(cases, cases + N);
}

GateRates RarizaN(double v) { return TRarizaK::Rates(v, ClassicK()); }
GateRates DestexheN(double v) { return TDestexheK::Rates(v, -63.0); }
GateRates LyleKN(double v) { return TLyleK::RatesN(v, kF); }
GateRates LyleKY(double v) { return TLyleK::RatesY(v, kF); }
GateRates MigliN(double v) { return TMigliK::Rates(v, 5.0); }
GateRates ChowN(double v) { return TChowK::Rates(v, 5.0, 2.0); }
GateRates ShuN(double v) { return TShuK::Rates(v, 2.0); }
GateRates BazhN(double v) { return TBazhK::Rates(v, 2.0); }
GateRates LyleKAN(double v) { return TLyleKA::RatesN(v, kF); }
GateRates LyleKAL(double v) { return TLyleKA::RatesL(v, kF); }
GateRates LyleKMN(double v) { return TLyleKM::RatesN(v, kF, 333.0, 2.0); }
GateRates LyleKDX(double v) { return TLyleKD::RatesX(v, kF); }
GateRates LyleKDY(double v) { return TLyleKD::RatesY(v, kF); }
GateRates LyleHN(double v) { return TLyleH::Rates(v, kF); }

// Voltages include the points where a rate is 0/0 as written (its limit is
// used), and where the time-constant floors of the Migliore and White schemes act.
TEST(PotassiumRates, DelayedRectifiers) {
  const RateCase cases[] = {
      // With the classic coefficients at -60 mV: alpha = 0.1/(e - 1), beta = 0.125.
      {"TRarizaK n", RarizaN, -60.0, 0.31767691406069742, 5.4585846875144206},
      {"TRarizaK n", RarizaN, -50.0, 0.47548378767952965, 4.7548378767952961},
      {"TRarizaK n", RarizaN, 0.0, 0.89501801763225164, 1.7779748673324378},
      {"TDestexheK n", DestexheN, -60.0, 0.060434034678635951, 1.5774504921296335},
      {"TDestexheK n", DestexheN, -48.0, 0.26611295156952641, 1.6632059473095402},
      {"TDestexheK n", DestexheN, 0.0, 0.92037085670676055, 0.59915919345802915},
      {"TLyleK n", LyleKN, -60.0, 0.0020315739245749067, 2.4998517456663154},
      {"TLyleK y", LyleKY, -60.0, 0.42544594508206723, 300},
      {"TLyleK n", LyleKN, -5.0, 0.5, 3.7411764705882353},
      {"TLyleK y", LyleKY, -5.0, 0.08579506946472959, 300},
      {"TLyleK n", LyleKN, 20.0, 0.94357575135538585, 1.3830141033546766},
      {"TLyleK y", LyleKY, 20.0, 0.035399405401481072, 300},
      {"TMigliK n", MigliN, -120.0, 2.5551103063085534e-07, 2},
      {"TMigliK n", MigliN, -40.0, 0.001692254377379708, 8.7611687725366654},
      {"TMigliK n", MigliN, 20.0, 0.55477923510721483, 23.637583972201927},
      {"TCumK n", TCumK::Rates, -60.0, 0.078061032964746813, 2.0819749837253729},
      {"TCumK n", TCumK::Rates, -14.273, 0.50471966395198187, 80.051317675199158},
      {"TCumK n", TCumK::Rates, 10.0, 0.79240761510003754, 30.692717889553116},  // beta below exp(-20): 0
      {"TChowK n", ChowN, -60.0, 0.077629462556488379, 1.2443755959354477},
      {"TChowK n", ChowN, 0.0, 0.55601389054461992, 1.1723705374435114},
      {"TChowK n", ChowN, 60.0, 0.94906852974705647, 0.69398610945538008},
      {"TNaundorfK n", TNaundorfK::Rates, -60.0, 0.12020867291964876, 1.152499545235157},
      {"TNaundorfK n", TNaundorfK::Rates, -34.0, 0.47548378767952965, 0.95096757535905929},
      {"TNaundorfK n", TNaundorfK::Rates, 0.0, 0.82985143824361385, 0.47185681304008525},
      {"TWhiteK n", TWhiteK::Rates, -80.0, 2.7607649503158527e-06, 0.24},
      {"TWhiteK n", TWhiteK::Rates, -60.0, 0.00015071035805969135, 51.823287523474299},
      {"TWhiteK n", TWhiteK::Rates, -30.0, 0.057324175898868734, 0.40288278759580348},
      {"TShuK n", ShuN, -60.0, 0.0007906538330645918, 2.938618472893026},
      {"TShuK n", ShuN, 25.0, 0.90909090909090906, 2.5252525252525251},
      {"TShuK n", ShuN, 0.0, 0.38338794345867955, 5.7827326219545245},
      {"TBazhK n", BazhN, -60.0, 0.0010093741527646826, 3.0159712814974604},
      {"TBazhK n", BazhN, 22.8, 0.90909090909090906, 2.5252525252525251},
      {"TBazhK n", BazhN, 0.0, 0.44256754545327875, 5.6269265351029967},
  };
  ExpectRates(cases);
}

TEST(PotassiumRates, ATypeMTypeDTypeAndH) {
  const RateCase cases[] = {
      {"TLyleKA n", LyleKAN, -80.0, 0.016282813996582796, 7.6467470616757076},
      {"TLyleKA l", LyleKAL, -80.0, 0.97048233425513974, 2.7379416436215052},
      {"TLyleKA n", LyleKAN, -41.0, 0.5, 7.25},
      {"TLyleKA l", LyleKAL, -41.0, 0.28876928042576194, 19.780767989355951},
      {"TLyleKA n", LyleKAN, 0.0, 0.98676474617628773, 1.3158744437599688},
      {"TLyleKA l", LyleKAL, 0.0, 0.0039863530080085441, 26.900341174799784},
      {"TCumKA n", TCumKA::RatesN, -70.0, 0.18242552380635635, 7.4398645531541909},
      {"TCumKA l", TCumKA::RatesL, -70.0, 0.84739133515736886, 24.585842092104492},
      {"TCumKA n", TCumKA::RatesN, -30.0, 0.48215044559386533, 5.2636103215169694},
      {"TCumKA l", TCumKA::RatesL, -30.0, 0.017986209962091559, 110.5},
      {"TCumKA n", TCumKA::RatesN, 0.0, 0.7310585786300049, 3.1469656432164568},
      {"TCumKA l", TCumKA::RatesL, 0.0, 0.00025202901290818225, 43.703994534466062},
      {"TDestexheKM n", TDestexheKM::Rates, -60.0, 0.034445195666211174, 310.36986955585922},
      {"TDestexheKM n", TDestexheKM::Rates, -30.0, 0.5, 555.55555555555554},
      {"TDestexheKM n", TDestexheKM::Rates, 0.0, 0.96555480433378882, 310.36986955585922},
      {"TLyleKM n", LyleKMN, -70.0, 0.0035630985031545803, 25.426703851954287},
      {"TLyleKM z", TLyleKM::RatesZ, -70.0, 0.99752737684336534, 1000},
      {"TLyleKM n", LyleKMN, -45.0, 0.5, 91.25},
      {"TLyleKM z", TLyleKM::RatesZ, -45.0, 0.7310585786300049, 1000},
      {"TLyleKM n", LyleKMN, 0.0, 0.99996054851881666, 8.3793546153488787},
      {"TLyleKM z", TLyleKM::RatesZ, 0.0, 0.00033535013046647811, 1000},
      {"TLyleKD x", LyleKDX, -80.0, 0.12837442042376965, 1},
      {"TLyleKD y", LyleKDY, -80.0, 0.65864194536586218, 3293.209726829311},
      {"TLyleKD x", LyleKDX, -40.0, 0.93030834042316579, 1},
      {"TLyleKD y", LyleKDY, -40.0, 0.043171012876837576, 215.8550643841879},
      {"TCumKD x", TCumKD::RatesX, -70.0, 0.11189531423446138, 7.4398645531541909},
      {"TCumKD y", TCumKD::RatesY, -70.0, 0.9586263489399246, 7500},
      {"TCumKD x", TCumKD::RatesX, -20.0, 0.79157884369303821, 4.3763678480900365},
      {"TCumKD y", TCumKD::RatesY, -20.0, 0.017986209962091559, 7500},
      {"TLyleH n", LyleHN, -110.0, 0.711230719574238, 180},
      {"TLyleH n", LyleHN, -70.0, 0.10878677129214454, 180},
  };
  ExpectRates(cases);
}

// Every gate stays a fraction with a positive, finite time constant far outside
// the physiological range (the exponentials saturate instead of overflowing), is
// continuous through the 0/0 points of its rates, and the bounded schemes keep
// their bounds.
TEST(PotassiumRates, FiniteAndBoundedOverTheWholeVoltageRange) {
  const struct {
    const char* gate;
    GateFn rates;
  } gates[] = {{"TRarizaK n", RarizaN},       {"TDestexheK n", DestexheN},
               {"TLyleK n", LyleKN},          {"TLyleK y", LyleKY},
               {"TMigliK n", MigliN},         {"TCumK n", TCumK::Rates},
               {"TChowK n", ChowN},           {"TNaundorfK n", TNaundorfK::Rates},
               {"TWhiteK n", TWhiteK::Rates}, {"TShuK n", ShuN},
               {"TBazhK n", BazhN},           {"TLyleKA n", LyleKAN},
               {"TLyleKA l", LyleKAL},        {"TCumKA n", TCumKA::RatesN},
               {"TCumKA l", TCumKA::RatesL},  {"TDestexheKM n", TDestexheKM::Rates},
               {"TLyleKM n", LyleKMN},        {"TLyleKM z", TLyleKM::RatesZ},
               {"TLyleKD x", LyleKDX},        {"TLyleKD y", LyleKDY},
               {"TCumKD x", TCumKD::RatesX},  {"TCumKD y", TCumKD::RatesY},
               {"TLyleH n", LyleHN}};
  for (const auto& g : gates) {
    for (double v = -3000.0; v <= 3000.0; v += 0.5) {
      const GateRates r = g.rates(v);
      ASSERT_TRUE(std::isfinite(r.inf) && std::isfinite(r.tau)) << g.gate << " at " << v << " mV";
      ASSERT_GE(r.inf, 0.0) << g.gate << " at " << v << " mV";
      ASSERT_LE(r.inf, 1.0) << g.gate << " at " << v << " mV";
      ASSERT_GT(r.tau, 0.0) << g.gate << " at " << v << " mV";
    }
  }
  for (double v = -3000.0; v <= 3000.0; v += 0.5) {
    EXPECT_GE(MigliN(v).tau, 2.0) << v;
    EXPECT_GE(TWhiteK::Rates(v).tau, 0.24) << v;
    EXPECT_GE(LyleKAL(v).tau, 2.0) << v;
  }
  // The rates written as plain quotients meet their limits smoothly.
  const struct {
    GateFn rates;
    double v0;
  } quotients[] = {{TCumK::Rates, -14.273}, {TNaundorfK::Rates, -34.0}};
  for (auto q : quotients) {
    const GateRates at = q.rates(q.v0);
    EXPECT_NEAR(q.rates(q.v0 - 1e-7).tau, at.tau, 1e-6 * at.tau) << q.v0;
    EXPECT_NEAR(q.rates(q.v0 + 1e-7).tau, at.tau, 1e-6 * at.tau) << q.v0;
  }
  // A-type inactivation and the H gate open where the membrane is hyperpolarised.
  EXPECT_NEAR(LyleKAL(-200.0).inf, 1.0, 1e-6);
  EXPECT_NEAR(LyleKAL(60.0).inf, 0.0, 1e-3);
  EXPECT_NEAR(LyleHN(-250.0).inf, 1.0, 1e-4);
  EXPECT_NEAR(LyleHN(0.0).inf, 0.0, 1e-3);
}

// ---- The channels inside a neuron --------------------------------------------

// Kinetics read from the neuron's record, v in mV.
using RecordGateFn = GateRates (*)(const NeuronProperties& np, double v);

struct ChannelCase {
  const char* name;
  const char* family;  // a family whose neuron carries the class
  Slot slot;
  double NeuronVariables::*x1;
  double NeuronVariables::*x2;  // nullptr: a single gate
  RecordGateFn rates1;
  RecordGateFn rates2;
  double NeuronProperties::*g;
  double NeuronProperties::*E;
  std::int32_t NeuronProperties::*block;
  double Tref;          // °C of the temperature factor Init writes; 0: none
  double openFraction;  // Conductance(0.5, 0.8, 0) with TempFactor = 2, by hand
};

using NV_ = NeuronVariables;
using NP_ = NeuronProperties;

const ChannelCase kChannels[] = {
    {"TRarizaK", "Rariza", Slot::K, &NV_::nn, nullptr,
     [](const NP_& np, double v) { return TRarizaK::Rates(v, np); }, nullptr, &NP_::gK, &NP_::VK,
     &NP_::IfBlockK, 0, 0.0625},
    {"TDestexheK", "Destexhe", Slot::K, &NV_::nn, nullptr,
     [](const NP_& np, double v) { return TDestexheK::Rates(v, np.Tr_Na); }, nullptr, &NP_::gK, &NP_::VK,
     &NP_::IfBlockK, 0, 0.0625},
    {"TLyleK", "Lyle", Slot::K, &NV_::nn, &NV_::yK,
     [](const NP_& np, double v) { return TLyleK::RatesN(v, np.FRT); },
     [](const NP_& np, double v) { return TLyleK::RatesY(v, np.FRT); }, &NP_::gK, &NP_::VKn, &NP_::IfBlockK,
     0, 0.4},
    {"TMigliK", "Migliore", Slot::K, &NV_::nn, nullptr,
     [](const NP_& np, double v) { return TMigliK::Rates(v, np.KThreshShift); }, nullptr, &NP_::gK, &NP_::VKn,
     &NP_::IfBlockK, 0, 0.5},
    {"TCumK", "Cummins", Slot::K, &NV_::nn, nullptr, [](const NP_&, double v) { return TCumK::Rates(v); },
     nullptr, &NP_::gK, &NP_::VKn, &NP_::IfBlockK, 0, 0.5},
    {"TChowK", "Chow", Slot::K, &NV_::nn, nullptr,
     [](const NP_& np, double v) { return TChowK::Rates(v, np.KThreshShift, np.TempFactor); }, nullptr,
     &NP_::gK, &NP_::VK, &NP_::IfBlockK, 36, 0.125},
    {"TNaundorfK", "Naundorf", Slot::K, &NV_::nn, nullptr,
     [](const NP_&, double v) { return TNaundorfK::Rates(v); }, nullptr, &NP_::gK, &NP_::VK, &NP_::IfBlockK,
     0, 0.0625},
    {"TWhiteK", "White", Slot::K, &NV_::nn, nullptr, [](const NP_&, double v) { return TWhiteK::Rates(v); },
     nullptr, &NP_::gK, &NP_::VKn, &NP_::IfBlockK, 0, 0.5},
    {"TShuK", "Shu", Slot::K, &NV_::nn, nullptr,
     [](const NP_& np, double v) { return TShuK::Rates(v, np.TempFactor); }, nullptr, &NP_::gK, &NP_::VK,
     &NP_::IfBlockK, 23, 1.0},
    {"TBazhK", "Bazhenov", Slot::K, &NV_::nn, nullptr,
     [](const NP_& np, double v) { return TBazhK::Rates(v, np.TempFactor); }, nullptr, &NP_::gK, &NP_::VK,
     &NP_::IfBlockK, 23, 1.0},
    {"TLyleKA", "Lyle", Slot::KA, &NV_::nA, &NV_::lA,
     [](const NP_& np, double v) { return TLyleKA::RatesN(v, np.FRT); },
     [](const NP_& np, double v) { return TLyleKA::RatesL(v, np.FRT); }, &NP_::gKA, &NP_::VK, &NP_::IfBlockKA,
     0, 0.032},
    {"TCumKA", "Cummins", Slot::KA, &NV_::nA, &NV_::lA,
     [](const NP_&, double v) { return TCumKA::RatesN(v); },
     [](const NP_&, double v) { return TCumKA::RatesL(v); }, &NP_::gKA, &NP_::VK, &NP_::IfBlockKA, 0, 0.1},
    {"TDestexheKM", "Destexhe", Slot::KM, &NV_::nM, nullptr,
     [](const NP_&, double v) { return TDestexheKM::Rates(v); }, nullptr, &NP_::gKM, &NP_::VKM,
     &NP_::IfBlockKM, 0, 0.5},
    {"TLyleKM", "Lyle", Slot::KM, &NV_::nM, &NV_::zM,
     [](const NP_& np, double v) { return TLyleKM::RatesN(v, np.FRT, np.tauKM2, np.TempFactor); },
     [](const NP_&, double v) { return TLyleKM::RatesZ(v); }, &NP_::gKM, &NP_::VKM, &NP_::IfBlockKM, 23, 0.4},
    {"TLyleKD", "Lyle", Slot::KD, &NV_::xD, &NV_::yD,
     [](const NP_& np, double v) { return TLyleKD::RatesX(v, np.FRT); },
     [](const NP_& np, double v) { return TLyleKD::RatesY(v, np.FRT); }, &NP_::gKD, &NP_::VKD,
     &NP_::IfBlockKD, 0, 0.0256},
    {"TCumKD", "Cummins", Slot::KD, &NV_::xD, &NV_::yD,
     [](const NP_&, double v) { return TCumKD::RatesX(v); },
     [](const NP_&, double v) { return TCumKD::RatesY(v); }, &NP_::gKD, &NP_::VK, &NP_::IfBlockKD, 0, 0.1},
    {"TLyleH", "Lyle", Slot::H, &NV_::nH, nullptr,
     [](const NP_& np, double v) { return TLyleH::Rates(v, np.FRT); }, nullptr, &NP_::gH, &NP_::VH,
     &NP_::IfBlockH, 0, 0.5},
};

// A record in which every potassium-type current has a conductance and a
// reversal potential of its own, so that a channel taking the wrong one shows.
NeuronProperties Record(const char* family) {
  NeuronProperties np = ClassicK();
  np.HH_type = family;
  np.HH_order = "1-point";
  np.FRT = kF;
  np.Temp = 300.0;
  np.TempFactor = 1.7;
  np.tauKM2 = 333.0;
  np.KThreshShift = 5.0;
  np.gK = 1.5;
  np.gKA = 2.5;
  np.gKM = 3.5;
  np.gKD = 4.5;
  np.gH = 5.5;
  np.VK = -0.090;
  np.VKn = -0.085;
  np.VKM = -0.080;
  np.VKD = -0.075;
  np.VH = -0.030;
  return np;
}

struct NeuronFixture {
  explicit NeuronFixture(const NeuronProperties& np) : neuron(np, clock.View()) { neuron.NP = np; }
  StandaloneClock clock;
  TCondBasedNrn neuron;
};

double Gate(const NeuronVariables& nv, double NeuronVariables::*x) { return x ? nv.*x : 0.0; }

TEST(PotassiumChannels, InitPutsGatesAtSteadyStateAndWritesTheTemperatureFactor) {
  for (const ChannelCase& c : kChannels) {
    NeuronFixture f(Record(c.family));
    TCondBasedNrn& n = f.neuron;
    n.NV.V = -0.055;
    n.NV.yK = 0.123;  // the K slot's second gate, kept by the one-gate K classes
    n.Channel(c.slot).Init();
    const double expectedFactor = c.Tref > 0 ? TemperatureFactor(300.0, c.Tref) : 1.7;
    EXPECT_DOUBLE_EQ(n.NP.TempFactor, expectedFactor) << c.name;
    EXPECT_DOUBLE_EQ(n.NV.*c.x1, c.rates1(n.NP, -55.0).inf) << c.name;
    if (c.x2) {
      EXPECT_DOUBLE_EQ(n.NV.*c.x2, c.rates2(n.NP, -55.0).inf) << c.name;
    } else if (c.slot == Slot::K) {
      EXPECT_EQ(n.NV.yK, 0.123) << c.name;
    }
  }
}

TEST(PotassiumChannels, OpenFractionCarriesBlockAndTemperatureFactors) {
  for (const ChannelCase& c : kChannels) {
    NeuronFixture f(Record(c.family));
    TCondBasedNrn& n = f.neuron;
    n.NP.TempFactor = 2.0;
    EXPECT_NEAR(n.Channel(c.slot).Conductance(0.5, 0.8, 0.0), c.openFraction, 1e-15) << c.name;
    n.NP.*c.block = 1;
    EXPECT_EQ(n.Channel(c.slot).Conductance(0.5, 0.8, 0.0), 0.0) << c.name;
  }
}

// From steady state at -60 mV the membrane jumps to -20 mV: every gate relaxes
// one step toward its new steady state, and the current is the open fraction of
// the new gates times g times the driving force against the class's own
// reversal. A blocked channel carries no current while its gates move the same.
TEST(PotassiumChannels, StepRelaxesGatesAndReturnsTheCurrent) {
  for (const ChannelCase& c : kChannels) {
    for (int blocked : {0, 1}) {
      NeuronFixture f(Record(c.family));
      TCondBasedNrn& n = f.neuron;
      n.NP.*c.block = blocked;
      n.NV.V = -0.060;
      TChannel& ch = n.Channel(c.slot);
      ch.Init();
      const double x1 = n.NV.*c.x1;
      const double x2 = Gate(n.NV, c.x2);
      n.NV.V = -0.020;
      const double I = ch.Step();

      const double factor = 1000.0 * f.clock.dt;
      const GateRates r1 = c.rates1(n.NP, -20.0);
      EXPECT_NEAR(n.NV.*c.x1, x1 + (1.0 - std::exp(-factor / r1.tau)) * (r1.inf - x1), 1e-14) << c.name;
      if (c.x2) {
        const GateRates r2 = c.rates2(n.NP, -20.0);
        EXPECT_NEAR(n.NV.*c.x2, x2 + (1.0 - std::exp(-factor / r2.tau)) * (r2.inf - x2), 1e-14) << c.name;
      }
      EXPECT_NE(n.NV.*c.x1, x1) << c.name << ": the gate did not move";
      if (blocked) {
        EXPECT_EQ(I, 0.0) << c.name;
      } else {
        const double open = ch.Conductance(n.NV.*c.x1, Gate(n.NV, c.x2), 0.0);
        EXPECT_GT(open, 0.0) << c.name;
        EXPECT_NEAR(I, open * n.NP.*c.g * (-0.020 - n.NP.*c.E), 1e-15) << c.name;
      }
    }
  }
}

// In a neuron with an active dendrite the M current sits in the dendrite: its
// gates and its driving force follow VatE, elsewhere the soma voltage.
TEST(PotassiumChannels, LyleKMFollowsTheDendriteOnlyWithActiveDendrite) {
  const struct {
    const char* geometry;
    double vGate;  // mV the gates should follow
  } cases[] = {{"2-p-ActiveDend", -30.0}, {"2-points", -70.0}, {"1-point", -70.0}};
  for (auto c : cases) {
    NeuronProperties np = Record("Lyle");
    np.HH_order = c.geometry;
    NeuronFixture f(np);
    TCondBasedNrn& n = f.neuron;
    n.NV.V = -0.070;
    n.NV.VatE = -0.030;
    TChannel& ch = n.Channel(Slot::KM);
    ch.Init();
    const double f23 = TemperatureFactor(300.0, 23.0);
    EXPECT_DOUBLE_EQ(n.NV.nM, TLyleKM::RatesN(c.vGate, kF, 333.0, f23).inf) << c.geometry;
    EXPECT_DOUBLE_EQ(n.NV.zM, TLyleKM::RatesZ(c.vGate).inf) << c.geometry;
    const double I = ch.Step();
    const double expected = f23 * n.NV.nM * n.NV.nM * n.NV.zM * 3.5 * (c.vGate / 1000.0 - (-0.080));
    EXPECT_NEAR(I, expected, 1e-15) << c.geometry;
  }
}

TEST(PotassiumChannels, EachFamilyCarriesItsClasses) {
  const std::type_info& none = typeid(TNullChannel);
  const struct {
    const char* family;
    const std::type_info* K;
    const std::type_info* KA;
    const std::type_info* KM;
    const std::type_info* KD;
    const std::type_info* H;
  } cases[] = {
      {"Rariza", &typeid(TRarizaK), &none, &none, &none, &none},
      {"Destexhe", &typeid(TDestexheK), &typeid(TLyleKA), &typeid(TDestexheKM), &none, &none},
      {"Lyle", &typeid(TLyleK), &typeid(TLyleKA), &typeid(TLyleKM), &typeid(TLyleKD), &typeid(TLyleH)},
      {"Migliore", &typeid(TMigliK), &typeid(TLyleKA), &typeid(TLyleKM), &typeid(TLyleKD), &typeid(TLyleH)},
      {"Cummins", &typeid(TCumK), &typeid(TCumKA), &none, &typeid(TCumKD), &none},
      {"Chow", &typeid(TChowK), &typeid(TLyleKA), &typeid(TLyleKM), &none, &none},
      {"Naundorf", &typeid(TNaundorfK), &none, &none, &none, &none},
      {"White", &typeid(TWhiteK), &none, &none, &none, &none},
      {"White2", &none, &none, &none, &none, &none},
      {"Shu", &typeid(TShuK), &none, &typeid(TLyleKM), &none, &none},
      {"Bazhenov", &typeid(TBazhK), &typeid(TLyleKA), &typeid(TLyleKM), &typeid(TLyleKD), &typeid(TLyleH)},
      {"Passive", &none, &none, &typeid(TLyleKM), &none, &none},
  };
  for (auto c : cases) {
    NeuronFixture f(Record(c.family));
    const TCondBasedNrn& n = f.neuron;
    EXPECT_EQ(typeid(n.Channel(Slot::K)), *c.K) << c.family;
    EXPECT_EQ(typeid(n.Channel(Slot::KA)), *c.KA) << c.family;
    EXPECT_EQ(typeid(n.Channel(Slot::KM)), *c.KM) << c.family;
    EXPECT_EQ(typeid(n.Channel(Slot::KD)), *c.KD) << c.family;
    EXPECT_EQ(typeid(n.Channel(Slot::H)), *c.H) << c.family;
  }
}

// The factor is shared: in a Chow model the Chow K channel writes the 36 °C value
// and the M channel, initialised after it, the 23 °C value that the run uses.
TEST(PotassiumChannels, ChowModelRunsWithTheFactorWrittenLast) {
  NeuronProperties np;
  np.HH_type = "Chow";
  np.HH_order = "1-point";
  double Vus = 0.0;
  SetDefaults(np, Vus);
  np.If_I_V_or_g = 1;  // held at rest: no search for the resting state
  NeuronFixture f(np);
  f.neuron.InitState();
  EXPECT_DOUBLE_EQ(f.neuron.NP.TempFactor, TemperatureFactor(np.Temp, 23.0));
}

}  // namespace
}  // namespace membrix
