// The procedural currents that have the formulas of a channel class follow that
// class step by step when both see the same voltage.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "channels/calcium.h"
#include "channels/channel_test_support.h"
#include "channels/potassium.h"
#include "channels/procedural/hh_canal.h"
#include "channels/procedural/procedural_test_support.h"
#include "channels/resurgent_sodium.h"
#include "channels/sodium.h"
#include "run/session.h"

namespace membrix {
namespace {

using Gate = double NeuronVariables::*;
using Procedure = double (*)(Session&, ProceduralGlobals&);

// The voltage of step k: from -75 mV up to +30 mV and back every 150 steps,
// as in a train of broad spikes.
double TrajectoryMv(int k) {
  return -75.0 + 105.0 * 0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * k / 150.0));
}

struct SharedCase {
  const char* name;
  const char* family;
  std::function<std::unique_ptr<TChannel>(TNeuron&)> make;
  Procedure procedure;
  std::vector<Gate> gates;
  bool sameCurrent = true;  // false: only the gates are shared
  std::function<void(NeuronProperties&)> adjust = [](NeuronProperties&) {};
};

template <class C>
std::unique_ptr<TChannel> Make(TNeuron& neuron) {
  return std::make_unique<C>(&neuron);
}

TEST(ProceduralKinetics, SharedFormulasFollowTheirClassOverARun) {
  auto na = +[](Session& s, ProceduralGlobals& g) { return ProcINa(s, g); };
  auto nar = +[](Session& s, ProceduralGlobals&) { return ProcINaR(s); };
  auto k = +[](Session& s, ProceduralGlobals&) { return ProcIK(s); };
  auto ka = +[](Session& s, ProceduralGlobals&) { return ProcIKA(s); };
  auto km = +[](Session& s, ProceduralGlobals&) { return ProcIKM(s); };
  auto kd = +[](Session& s, ProceduralGlobals&) { return ProcIKD(s); };
  auto h = +[](Session& s, ProceduralGlobals&) { return ProcIH(s); };
  auto cah = +[](Session& s, ProceduralGlobals&) { return ProcICaH(s); };
  auto cat = +[](Session& s, ProceduralGlobals&) { return ProcICaT(s); };
  using NV = NeuronVariables;
  const SharedCase cases[] = {
      {"Cummins Na", "Cummins", Make<TCumNa>, na, {&NV::mm, &NV::hh, &NV::ii}},
      // With its slow inactivation switched off the class is the parametric Na current.
      {"parametric Na",
       "Destexhe",
       Make<TRarizaNa>,
       na,
       {&NV::mm, &NV::hh},
       true,
       [](NeuronProperties& np) { np.If_Slow_Na_inactivation = 0; }},
      // The gates follow the class; the current leaves ii out (checked elsewhere).
      {"Migliore Na gates",
       "Migliore",
       Make<TMigliNa>,
       na,
       {&NV::mm, &NV::hh, &NV::ii},
       false,
       [](NeuronProperties& np) { np.If_Slow_Na_inactivation = 1; }},
      {"Destexhe K", "Destexhe", Make<TDestexheK>, k, {&NV::nn}},
      {"Migliore K", "Migliore", Make<TMigliK>, k, {&NV::nn}},
      {"Cummins K", "Cummins", Make<TCumK>, k, {&NV::nn}},
      // At 36 °C the Chow K channel's temperature factor is 1.
      {"Chow K", "Chow", Make<TChowK>, k, {&NV::nn}, true, [](NeuronProperties& np) { np.Temp = 309.0; }},
      {"Lyle K", "Lyle", Make<TLyleK>, k, {&NV::nn, &NV::yK}},
      {"Cummins KA",
       "Cummins",
       Make<TCumKA>,
       ka,
       {&NV::nA, &NV::lA},
       true,
       [](NeuronProperties& np) { np.gKA = 3.0; }},
      {"Lyle KA", "Lyle", Make<TLyleKA>, ka, {&NV::nA, &NV::lA}},
      {"Destexhe KM", "Destexhe", Make<TDestexheKM>, km, {&NV::nM}},
      {"Lyle KD", "Lyle", Make<TLyleKD>, kd, {&NV::xD, &NV::yD}},
      {"Cummins KD",
       "Cummins",
       Make<TCumKD>,
       kd,
       {&NV::xD, &NV::yD},
       true,
       [](NeuronProperties& np) { np.gKD = 2.0; }},
      {"H", "Lyle", Make<TLyleH>, h, {&NV::nH}, true, [](NeuronProperties& np) { np.gH = 0.1; }},
      {"Cummins CaH",
       "Cummins",
       Make<TCumCaH>,
       cah,
       {&NV::mCaH, &NV::hCaH, &NV::kCaH},
       true,
       [](NeuronProperties& np) { np.gCaH = 1.0; }},
      {"Cummins CaT",
       "Cummins",
       Make<TCumCaT>,
       cat,
       {&NV::mCaT, &NV::hCaT},
       true,
       [](NeuronProperties& np) { np.gCaT = 1.0; }},
      // The trajectory stays above -80 mV, where both CaT forms have one branch.
      {"Destexhe CaT",
       "Destexhe",
       Make<TDestexheCaT>,
       cat,
       {&NV::mCaT, &NV::hCaT},
       true,
       [](NeuronProperties& np) { np.gCaT = 1.0; }},
      // The procedural CaH current reverses at the Nernst potential instead.
      {"Destexhe CaH gates", "Destexhe", Make<TDestexheCaH>, cah, {&NV::mCaH, &NV::hCaH}, false},
      {"parametric NaR",
       "Rariza",
       Make<TRarizaNaR>,
       nar,
       {&NV::mmR, &NV::hhR},
       true,
       [](NeuronProperties& np) { np.gNaR = 5.0; }},
      {"Cummins NaR", "Cummins", Make<TCumNaR>, nar, {&NV::mmR, &NV::hhR}},
      // Without a shift the class sees the unshifted voltage as the procedure does.
      {"LyleMS NaR",
       "Lyle",
       Make<TLyleMSNaR>,
       nar,
       {&NV::mmR, &NV::hhR},
       true,
       [](NeuronProperties& np) { np.gNaR = 1.0; }},
  };
  const double dt = 5e-5;
  for (const SharedCase& c : cases) {
    Session s;
    testing::UseFamily(s, c.family);
    s.NP0.IfBlockNaR = 0;
    c.adjust(s.NP0);
    s.run.dt = dt;
    ProceduralGlobals g;

    testing::SlotNeuron object(s.NP0, dt);
    std::unique_ptr<TChannel> channel = c.make(object.nrn());
    object.NV().V = TrajectoryMv(0) / 1000.0;
    channel->Init();
    s.NV0 = object.NV();  // both start from the class's steady state

    double largest = 0.0;
    for (int step = 1; step <= 400; ++step) {
      const double V = TrajectoryMv(step) / 1000.0;
      object.NV().V = s.NV0.V = V;
      const double expected = channel->Step();
      const double current = c.procedure(s, g);
      largest = std::max(largest, std::abs(expected));
      if (c.sameCurrent) {
        ASSERT_NEAR(current, expected, 1e-12 * (1.0 + std::abs(expected))) << c.name << ", step " << step;
      }
      for (Gate gate : c.gates) {
        ASSERT_NEAR(s.NV0.*gate, object.NV().*gate, 1e-12) << c.name << ", step " << step;
      }
    }
    EXPECT_GT(largest, 1e-4) << c.name << ": the run should drive a current worth comparing";
  }
}

}  // namespace
}  // namespace membrix
