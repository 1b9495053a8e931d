#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "channels/neuroml_channel.h"
#include "channels/neuroml_reader.h"
#include "channels/procedural/rariza_kinetics.h"
#include "common/error.h"

namespace membrix {
namespace {

// The squid axon's delayed rectifier, measured from rest as the built-in
// family measures it (rest at 0 mV), and a sodium channel with a gate of
// every kind.
constexpr const char* kSquidK = R"(<?xml version="1.0" encoding="UTF-8"?>
<neuroml xmlns="http://www.neuroml.org/schema/neuroml2" id="squid">
  <notes>Squid axon potassium channel, voltage from rest.</notes>
  <ionChannelHH id="k_squid" species="k" conductance="10pS">
    <gateHHrates id="n" instances="4">
      <forwardRate type="HHExpLinearRate" rate="0.1per_ms" midpoint="10mV" scale="10mV"/>
      <reverseRate type="HHExpRate" rate="125per_s" midpoint="0V" scale="-0.08V"/>
    </gateHHrates>
  </ionChannelHH>
</neuroml>
)";

NmlChannel OnlyChannel(const std::string& text) {
  const std::vector<NmlChannel> channels = ParseNeuroMLChannels(text, "test.nml");
  EXPECT_EQ(channels.size(), 1u);
  return channels.at(0);
}

TEST(NeuroMLForms, EachFormIsItsFormula) {
  using K = NmlForm::Kind;
  const double rate = 0.7, mid = -35.0, scale = 8.0;
  const struct {
    K kind;
    double (*formula)(double x);  // of x = (v - midpoint)/scale, times rate
    const char* name;
  } cases[] = {
      {K::ExpRate, [](double x) { return std::exp(x); }, "HHExpRate"},
      {K::SigmoidRate, [](double x) { return 1.0 / (1.0 + std::exp(-x)); }, "HHSigmoidRate"},
      {K::ExpLinearRate, [](double x) { return x / (1.0 - std::exp(-x)); }, "HHExpLinearRate"},
      {K::ExpVariable, [](double x) { return std::exp(x); }, "HHExpVariable"},
      {K::SigmoidVariable, [](double x) { return 1.0 / (1.0 + std::exp(-x)); }, "HHSigmoidVariable"},
      {K::ExpLinearVariable, [](double x) { return x / (1.0 - std::exp(-x)); }, "HHExpLinearVariable"},
  };
  for (const auto& c : cases) {
    NmlForm f;
    f.kind = c.kind;
    f.rate = rate;
    f.midpoint = mid;
    f.scale = scale;
    for (double v : {-80.0, -50.0, -20.0, 10.0}) {
      const double expected = rate * c.formula((v - mid) / scale);
      EXPECT_NEAR(f.At(v), expected, 1e-12 * expected) << c.name << " at " << v << " mV";
    }
  }
  // The linear-exponential form is continuous through its midpoint.
  NmlForm f;
  f.kind = K::ExpLinearRate;
  f.rate = rate;
  f.midpoint = mid;
  f.scale = scale;
  EXPECT_DOUBLE_EQ(f.At(mid), rate);
  EXPECT_NEAR(f.At(mid + 1e-4), rate * (1.0 + 1e-4 / scale / 2.0), 1e-9);
}

TEST(NeuroMLGates, TheSquidPotassiumGateIsTheBuiltInOneInAnyUnits) {
  const NmlChannel k = OnlyChannel(kSquidK);
  EXPECT_EQ(k.id, "k_squid");
  EXPECT_EQ(k.species, "k");
  EXPECT_EQ(k.line, 4);
  ASSERT_EQ(k.gates.size(), 1u);
  EXPECT_EQ(k.gates[0].instances, 4);
  for (double v : {-30.0, -5.0, 0.0, 10.0, 10.0000001, 40.0, 90.0}) {
    const GateOf<double> builtIn = RarizaKGate(v, 0.0);
    const NmlGateRates r = k.gates[0].Rates(v, 279.45);
    EXPECT_NEAR(r.inf, builtIn.inf, 1e-13) << v << " mV";
    EXPECT_NEAR(r.tau, builtIn.tau, 1e-12 * builtIn.tau) << v << " mV";
  }
  // The open fraction is the gate to its instances; the step relaxes as the
  // built-in gates relax.
  double x[1] = {0.0};
  k.Init(-10.0, 279.45, x);
  EXPECT_DOUBLE_EQ(x[0], RarizaKGate(-10.0, 0.0).inf);
  EXPECT_DOUBLE_EQ(k.OpenFraction(x), std::pow(x[0], 4));
  double y = x[0];
  k.Step(30.0, 279.45, 2e-5, x);
  RelaxGateN(y, RarizaKGate(30.0, 0.0), 2e-5);
  EXPECT_DOUBLE_EQ(x[0], y);
  double dxdt[1];
  k.Derivative(30.0, 279.45, x, dxdt);
  const GateOf<double> at30 = RarizaKGate(30.0, 0.0);
  EXPECT_NEAR(dxdt[0], 1000.0 * (at30.inf - x[0]) / at30.tau, 1e-9);
}

TEST(NeuroMLGates, EveryGateKindAndItsTemperatureScaling) {
  const NmlChannel na = OnlyChannel(R"(<neuroml>
  <ionChannel id="na" type="ionChannelHH" species="na">
    <gateHHrates id="m" instances="3">
      <q10Settings type="q10ExpTemp" q10Factor="3" experimentalTemp="6.3 degC"/>
      <forwardRate type="HHExpLinearRate" rate="1per_ms" midpoint="-40mV" scale="10mV"/>
      <reverseRate type="HHExpRate" rate="4per_ms" midpoint="-65mV" scale="-18mV"/>
    </gateHHrates>
    <gateHHtauInf id="h">
      <q10Settings type="q10Fixed" fixedQ10="2"/>
      <timeCourse type="fixedTimeCourse" tau="0.005s"/>
      <steadyState type="HHSigmoidVariable" rate="1" midpoint="-60mV" scale="-6mV"/>
    </gateHHtauInf>
    <gateHHratesInf id="s">
      <forwardRate type="HHSigmoidRate" rate="1per_ms" midpoint="-35mV" scale="10mV"/>
      <reverseRate type="HHExpRate" rate="0.07per_ms" midpoint="-65mV" scale="-20mV"/>
      <steadyState type="HHExpVariable" rate="0.5" midpoint="0mV" scale="-100mV"/>
    </gateHHratesInf>
    <gateHHratesTau id="r">
      <forwardRate type="HHSigmoidRate" rate="1per_ms" midpoint="-35mV" scale="10mV"/>
      <reverseRate type="HHExpRate" rate="0.07per_ms" midpoint="-65mV" scale="-20mV"/>
      <timeCourse type="fixedTimeCourse" tau="3ms"/>
    </gateHHratesTau>
    <gateHHInstantaneous id="b">
      <steadyState type="HHSigmoidVariable" rate="1" midpoint="-20mV" scale="5mV"/>
    </gateHHInstantaneous>
  </ionChannel>
</neuroml>)");
  ASSERT_EQ(na.gates.size(), 5u);
  const double v = -50.0, T0 = 273.15 + 6.3;
  const double am = 1.0 * (v + 40.0) / 10.0 / (1.0 - std::exp(-(v + 40.0) / 10.0));
  const double bm = 4.0 * std::exp(-(v + 65.0) / 18.0);
  const double ah = 1.0 / (1.0 + std::exp(-(v + 35.0) / 10.0)), bh = 0.07 * std::exp(-(v + 65.0) / 20.0);
  // The rates speed up by q10Factor every 10 K above the experimental
  // temperature; a fixed factor holds at any temperature.
  for (double T : {T0, T0 + 10.0, T0 + 20.0}) {
    const double q = std::pow(3.0, (T - T0) / 10.0);
    const NmlGateRates m = na.gates[0].Rates(v, T);
    EXPECT_NEAR(m.inf, am / (am + bm), 1e-13) << T;
    EXPECT_NEAR(m.tau, 1.0 / ((am + bm) * q), 1e-12) << T;
    const NmlGateRates h = na.gates[1].Rates(v, T);
    EXPECT_NEAR(h.inf, 1.0 / (1.0 + std::exp((v + 60.0) / 6.0)), 1e-13);
    EXPECT_DOUBLE_EQ(h.tau, 2.5);
  }
  const NmlGateRates s = na.gates[2].Rates(v, T0);
  EXPECT_NEAR(s.inf, 0.5 * std::exp(v / -100.0), 1e-13);
  EXPECT_NEAR(s.tau, 1.0 / (ah + bh), 1e-12);
  const NmlGateRates r = na.gates[3].Rates(v, T0);
  EXPECT_NEAR(r.inf, ah / (ah + bh), 1e-13);
  EXPECT_DOUBLE_EQ(r.tau, 3.0);
  // An instantaneous gate is its steady state at every step.
  double x[5] = {0, 0, 0, 0, 0};
  na.Step(v, T0, 1e-5, x);
  EXPECT_NEAR(x[4], 1.0 / (1.0 + std::exp(-(v + 20.0) / 5.0)), 1e-13);
}

// Files that cannot be read as channels are refused whole, with the file, the
// line and what is wrong.
TEST(NeuroMLReader, RefusesWhatItCannotReadWithFileAndLine) {
  const auto channel = [](const std::string& gateBody, const std::string& gate = "gateHHrates") {
    return "<neuroml>\n<ionChannelHH id=\"c\">\n<" + gate + " id=\"n\" instances=\"4\">\n" + gateBody + "</" + gate +
           ">\n</ionChannelHH>\n</neuroml>\n";
  };
  const std::string forward = "<forwardRate type=\"HHExpRate\" rate=\"1per_ms\" midpoint=\"0mV\" scale=\"10mV\"/>\n";
  const std::string reverse = "<reverseRate type=\"HHExpRate\" rate=\"1per_ms\" midpoint=\"0mV\" scale=\"-10mV\"/>\n";
  const struct {
    std::string text;
    int line;
    const char* expected;
  } cases[] = {
      {channel("<forwardRate type=\"HHExpRate\" rate=\"1per_ms\" midpoint=\"0mA\" scale=\"10mV\"/>\n" + reverse), 4,
       "the unit \"mA\" is not one of mV, V"},
      {channel("<forwardRate type=\"HHExpRate\" rate=\"1\" midpoint=\"0mV\" scale=\"10mV\"/>\n" + reverse), 4,
       "a unit is needed (per_ms, per_s)"},
      {channel("<forwardRate type=\"HHExpRate\" rate=\"1per_ms\" midpoint=\"-6_5mV\" scale=\"10mV\"/>\n" + reverse),
       4, "the unit \"_5mV\" is not one of mV, V"},
      {channel("<forwardRate type=\"HHExpRate\" rate=\"1per_ms\" midpoint=\"0mV\"/>\n" + reverse), 4,
       "<forwardRate> has no scale"},
      {channel(forward), 3, "gate \"n\" (<gateHHrates>) has no <reverseRate>"},
      {channel(forward + reverse + "<steadyState type=\"HHSigmoidVariable\" rate=\"1\" midpoint=\"0mV\" scale=\"1mV\"/>\n"),
       3, "gate \"n\" (<gateHHrates>) takes no <steadyState>"},
      {channel(forward + "<reverseRate type=\"myRate\" rate=\"1per_ms\" midpoint=\"0mV\" scale=\"1mV\"/>\n"), 5,
       "<reverseRate> is not supported: its type \"myRate\" is not one of the standard forms"},
      {channel(forward + "<reverseRate type=\"HHSigmoidVariable\" rate=\"1\" midpoint=\"0mV\" scale=\"1mV\"/>\n"), 5,
       "gives a dimensionless variable, where a rate is needed"},
      {channel("<openState id=\"o\"/>\n", "gateKS"), 3, "<gateKS> is not supported"},
      {"<neuroml>\n<ComponentType name=\"myRate\" extends=\"baseVoltageDepRate\"/>\n</neuroml>\n", 2,
       "<ComponentType> is not supported: only ion channels are read"},
      {"<neuroml>\n<ionChannelHH id=\"a\"/>\n<ionChannelHH id=\"a\"/>\n</neuroml>\n", 3,
       "a second channel with the id \"a\""},
      {"<neuroml>\n<ionChannelHH id=\"c\">\n<gateHHrates id=\"n\">\n" + forward + reverse +
           "</gateHHrates>\n<gateHHrates id=\"n\">\n" + forward + reverse + "</gateHHrates>\n</ionChannelHH>\n</neuroml>\n",
       7, "channel \"c\" has a second gate \"n\""},
      {"<neuroml>\n<ionChannelHH id=\"a\">\n<gateHHrates id=\"m\"\n</neuroml>\n", 4, "not a well-formed XML file"},
      {"<neuroml>\n<notes>nothing here</notes>\n</neuroml>\n", 1, "no ion channel"},
      {"<cell id=\"a\"/>\n", 1, "the file's root element is <cell>, not <neuroml>"},
      {"<neuroml>\n<ionChannelHH id=\"c\">\n<gateHHrates id=\"n\" instances=\"0\">\n" + forward + reverse +
           "</gateHHrates>\n</ionChannelHH>\n</neuroml>\n",
       3, "instances=\"0\" is not a whole number from 1 to 12"},
  };
  for (const auto& c : cases) {
    try {
      ParseNeuroMLChannels(c.text, "bad.nml");
      ADD_FAILURE() << "accepted: " << c.expected;
    } catch (const FormatError& e) {
      EXPECT_EQ(e.file(), "bad.nml") << c.expected;
      EXPECT_EQ(e.line(), c.line) << c.expected << "\n" << e.what();
      EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
    }
  }
}

TEST(NeuroMLReader, ReadsAFileAndRefusesWhatIsNotOne) {
  const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "neuroml_reader";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "k.nml").string();
  std::ofstream(path) << kSquidK;
  const std::vector<NmlChannel> channels = ReadNeuroMLChannels(path);
  ASSERT_EQ(channels.size(), 1u);
  EXPECT_EQ(channels[0].file, path);
  EXPECT_THROW(ReadNeuroMLChannels((dir / "none.nml").string()), IoError);
  EXPECT_THROW(ReadNeuroMLChannels(dir.string()), IoError);
}

}  // namespace
}  // namespace membrix
