#include "channels/multistate_sodium.h"

#include <gtest/gtest.h>

#include <limits>

#include <cmath>
#include <memory>
#include <string>
#include <utility>

#include "channels/multistate_schemes.h"
#include "neuron/cond_based_neuron.h"
#include "params/model_defaults.h"

namespace membrix {
namespace {

// ---- Helpers -------------------------------------------------------------------

// The scheme a subtype names in the Na slot, its transitions at w, and its size.
int BuildScheme(const std::string& subtype, double w, double zVT, Transitions& K) {
  if (subtype.rfind("Lyle", 0) == 0) {
    const LyleScheme scheme = LyleSchemeFor(subtype, true);
    BuildLyleTransitions(scheme, w, zVT, K);
    return StateCountOf(scheme);
  }
  const MilescuScheme scheme = MilescuSchemeFor(subtype);
  BuildMilescuTransitions(scheme, w, K);
  return StateCountOf(scheme);
}

double Sum(int n, const Occupancies& P) {
  double s = 0.0;
  for (int i = 1; i <= n; ++i) s += P[i];
  return s;
}

// A conductance-based neuron whose Na and NaR slots hold the scheme under test;
// the voltage is set by hand and the channels are driven one at a time.
class SchemeNeuron {
 public:
  SchemeNeuron(const std::string& type, const std::string& subtype, double dt = 2e-5) {
    NeuronProperties np;
    np.HH_type = "Passive";
    np.HH_order = "1-point";
    np.Na_type = np.NaR_type = type;
    np.Na_subtype = np.NaR_subtype = subtype;
    np.gNa = 2.0;
    np.gNaR = 0.5;
    np.VNa = 0.055;
    np.VNaR = -0.02;  // not used by the schemes: both slots drive against VNa
    clock_.dt = dt;
    nrn_ = std::make_unique<TCondBasedNrn>(np, clock_.View());
    nrn_->NP = np;
  }

  TChannel& At(Slot slot, double vmV) {
    nrn_->NV.V = nrn_->NV.VatE = vmV / 1000.0;
    return nrn_->Channel(slot);
  }
  Occupancies& P(Slot slot) { return slot == Slot::Na ? nrn_->NV.pNa : nrn_->NV.pNaR; }
  double Open(Slot slot) const { return slot == Slot::Na ? nrn_->NV.mm : nrn_->NV.mmR; }
  double Second(Slot slot) const { return slot == Slot::Na ? nrn_->NV.hh : nrn_->NV.hhR; }
  int StateCount(Slot slot) {
    TChannel& ch = nrn_->Channel(slot);
    if (auto* c = dynamic_cast<TLyleNa*>(&ch)) return c->StateCount;
    if (auto* c = dynamic_cast<TMilescuNa*>(&ch)) return c->StateCount;
    if (auto* c = dynamic_cast<TLyleNaR*>(&ch)) return c->StateCount;
    if (auto* c = dynamic_cast<TMilescuNaR*>(&ch)) return c->StateCount;
    return -1;
  }
  // The slot's share of the neuron's conductance sum, from the neuron's gates.
  double SlotConductance(Slot slot) {
    const NeuronVariables& nv = nrn_->NV;
    const TChannel& ch = nrn_->Channel(slot);
    return slot == Slot::Na ? nrn_->NP.gNa * ch.Conductance(nv.mm, nv.hh, nv.ii)
                            : nrn_->NP.gNaR * ch.Conductance(nv.mmR, nv.hhR, nv.iiR);
  }
  NeuronVariables& NV() { return nrn_->NV; }
  NeuronProperties& NP() { return nrn_->NP; }
  StandaloneClock& clock() { return clock_; }

 private:
  StandaloneClock clock_;
  std::unique_ptr<TCondBasedNrn> nrn_;
};

// A train of action potentials at 100 Hz as a voltage waveform (mV at t ms):
// a slow depolarisation, a fast upstroke to +40 mV, repolarisation past rest to
// an after-hyperpolarisation, and recovery.
double SpikeTrainVoltage(double tms) {
  static constexpr struct { double t, v; } kShape[] = {
      {0.0, -65.0}, {5.0, -58.0}, {5.5, -50.0}, {5.8, 40.0}, {6.3, -20.0}, {7.0, -75.0}, {10.0, -65.0}};
  const double tp = std::fmod(tms, 10.0);
  for (std::size_t k = 1; k < std::size(kShape); ++k) {
    if (tp <= kShape[k].t) {
      const auto& a = kShape[k - 1];
      const auto& b = kShape[k];
      return a.v + (b.v - a.v) * (tp - a.t) / (b.t - a.t);
    }
  }
  return kShape[0].v;
}

struct ChannelCase {
  Slot slot;
  const char* type;
  const char* subtype;
  int states;
};

// Every class with every subtype it knows, and a text it does not know.
const ChannelCase kChannelCases[] = {
    {Slot::Na, "Lyle", "Lyle-4", 4},          {Slot::Na, "Lyle", "Lyle-3", 3},
    {Slot::Na, "Lyle", "Lyle-VT(h)", 3},      {Slot::Na, "Lyle", "lyle-3", 4},
    {Slot::NaR, "Lyle", "Lyle-4", 4},         {Slot::NaR, "Lyle", "Lyle-3", 3},
    {Slot::NaR, "Lyle", "Lyle-VT(h)", 4},     {Slot::Na, "Milescu", "Milescu-13", 13},
    {Slot::Na, "Milescu", "Milescu-26", 26},  {Slot::Na, "Milescu", "Carter-12", 12},
    {Slot::Na, "Milescu", "Milescu", 26},     {Slot::NaR, "Milescu", "Milescu-13", 13},
    {Slot::NaR, "Milescu", "Milescu-26", 26}, {Slot::NaR, "Milescu", "Carter-12", 12},
};

// The scheme of a case's channel at w (mV, shift included).
int BuildScheme(const ChannelCase& c, double w, double zVT, Transitions& K) {
  if (std::string(c.type) == "Lyle") {
    const LyleScheme scheme = LyleSchemeFor(c.subtype, c.slot == Slot::Na);
    BuildLyleTransitions(scheme, w, zVT, K);
    return StateCountOf(scheme);
  }
  const MilescuScheme scheme = MilescuSchemeFor(c.subtype);
  BuildMilescuTransitions(scheme, w, K);
  return StateCountOf(scheme);
}

std::string Name(const ChannelCase& c) {
  return std::string(SlotName(c.slot)) + " " + c.type + " \"" + c.subtype + "\"";
}

// ---- Schemes -------------------------------------------------------------------

TEST(MultistateSchemes, TransitionRatesFollowTheKinetics) {
  // Expected values computed independently from the rate formulas.
  const struct {
    const char* subtype;
    double w, zVT;
    int from, to;
    double rate;
  } cases[] = {
      {"Lyle-4", -60, 0, 4, 1, 0.0001234047276355926}, {"Lyle-4", -60, 0, 1, 4, 1.797063080891528},
      {"Lyle-4", -60, 0, 3, 4, 0.5025125628140703}, {"Lyle-4", -60, 0, 3, 1, 1.52299796673952e-08},
      {"Lyle-4", -60, 0, 1, 3, 2.903243629703838}, {"Lyle-4", -60, 0, 1, 2, 3.0},
      {"Lyle-4", -60, 0, 2, 3, 0.9990889571895049}, {"Lyle-4", 20, 0, 4, 1, 2.9999999814496174},
      {"Lyle-4", 20, 0, 1, 4, 0.0}, {"Lyle-4", 20, 0, 3, 4, 0.010000000000000002},
      {"Lyle-4", 20, 0, 2, 3, 0.010000000000000002}, {"Lyle-4", -60, 0, 2, 1, 0.0},
      {"Lyle-4", -60, 0, 4, 3, 0.0}, {"Lyle-3", -60, 0, 3, 1, 0.0001234047276355926},
      {"Lyle-3", -60, 0, 1, 3, 2.903243629703838}, {"Lyle-VT(h)", -60, 0.5, 3, 1, 0.0},
      {"Lyle-VT(h)", -60, 0.5, 2, 3, 0.97069644553703}, {"Lyle-VT(h)", 20, 0.5, 3, 1, 2.9999999814496174},
      {"Milescu-13", -60, 0, 1, 2, 8.678806787832375}, {"Milescu-13", -60, 0, 2, 1, 57.543885727246476},
      {"Milescu-13", -60, 0, 5, 4, 230.1755429089859}, {"Milescu-13", -60, 0, 5, 6, 60.12552420581745},
      {"Milescu-13", -60, 0, 6, 5, 11.022124092197364}, {"Milescu-13", -60, 0, 11, 10, 28.139163426079282},
      {"Milescu-13", -60, 0, 12, 11, 48.72545442623636}, {"Milescu-13", -60, 0, 7, 1, 0.13843111448121614},
      {"Milescu-13", -60, 0, 11, 5, 3.0920160363617664e-05},
      {"Milescu-13", -60, 0, 6, 13, 0.7759301861004904}, {"Milescu-13", 20, 0, 10, 11, 5.016230284644309},
      {"Milescu-13", 20, 0, 11, 12, 28.57110073056115}, {"Milescu-13", 20, 0, 5, 11, 0.026650407457543587},
      {"Milescu-13", 20, 0, 6, 12, 3.161860410259554}, {"Milescu-13", 20, 0, 12, 6, 0.0017803137289748251},
      {"Milescu-13", 20, 0, 13, 6, 0.00011160513031350687},
      {"Milescu-26", -60, 0, 6, 13, 0.17361485108108746}, {"Milescu-26", -60, 0, 13, 6, 0.003581638101301086},
      {"Milescu-26", -60, 0, 18, 24, 0.0028303614934772625},
      {"Milescu-26", -60, 0, 1, 14, 4.751363232663366e-05},
      {"Milescu-26", -60, 0, 19, 26, 1.9767748982337412}, {"Milescu-26", 20, 0, 14, 15, 28.2214986899452},
      {"Milescu-26", 20, 0, 18, 19, 95.50269309032757}, {"Milescu-26", 20, 0, 19, 25, 3.161860410259554},
      {"Milescu-26", 20, 0, 14, 1, 0.0023453186135111723}, {"Milescu-26", 20, 0, 6, 19, 5.266284400880312},
      {"Milescu-26", 20, 0, 19, 6, 0.035869255640773805}, {"Milescu-26", 20, 0, 26, 19, 0.02549613682370888},
      {"Milescu-26", 20, 0, 13, 26, 0.0}, {"Milescu-26", 20, 0, 26, 13, 0.0},
      {"Carter-12", -60, 0, 1, 2, 82.0849986238988}, {"Carter-12", -60, 0, 5, 4, 584.7597101137667},
      {"Carter-12", -60, 0, 10, 11, 51.508336636496495}, {"Carter-12", -60, 0, 5, 11, 0.39691260009999985},
      {"Carter-12", -60, 0, 11, 5, 0.002496798337514856}, {"Carter-12", 20, 0, 1, 2, 2300.975890892825},
      {"Carter-12", 20, 0, 2, 1, 5.215178502084939}, {"Carter-12", 20, 0, 11, 10, 3.9211868436728863},
      {"Carter-12", 20, 0, 5, 6, 250.0}, {"Carter-12", 20, 0, 12, 6, 0.05},
  };
  for (const auto& c : cases) {
    Transitions K;
    BuildScheme(c.subtype, c.w, c.zVT, K);
    EXPECT_NEAR(K[c.from][c.to], c.rate, 1e-12 * c.rate + 1e-300)
        << c.subtype << " at " << c.w << " mV, " << c.from << " -> " << c.to;
  }
}

TEST(MultistateSchemes, LyleRateIsBoundedByItsTimes) {
  const double tmin = 1.0 / 3.0;
  EXPECT_EQ(LyleRate(-200.0, -50.0, 1.0, tmin), 0.0);  // closed for good far below its offset
  EXPECT_NEAR(LyleRate(200.0, -50.0, 1.0, tmin), 3.0, 1e-7);
  EXPECT_NEAR(LyleRate(-50.0, -50.0, 1.0, tmin), 1.0 / (tmin + 1.0), 1e-15);
  // With tmax the rate never falls below about 1/tmax.
  EXPECT_NEAR(LyleRate(200.0, -53.0, -1.0, 1.0, 100.0), 1.0 / 100.0, 1e-12);
  EXPECT_NEAR(LyleRate(-200.0, -53.0, -1.0, 1.0, 100.0), 1.0, 1e-7);
}

TEST(MultistateSchemes, StationaryOccupanciesBalanceEveryState) {
  for (const char* subtype : {"Lyle-4", "Lyle-3", "Lyle-VT(h)", "Milescu-13", "Milescu-26", "Carter-12"}) {
    for (double w : {-120.0, -90.0, -65.0, -50.0, -30.0, 0.0, 40.0}) {
      Transitions K;
      const int n = BuildScheme(subtype, w, 0.3, K);
      Occupancies P{};
      StationaryOccupancies(n, K, P);
      EXPECT_NEAR(Sum(n, P), 1.0, 1e-12) << subtype << " at " << w;
      // Each state's inflow equals its outflow, to rounding of the total flux.
      double flux = 0.0;
      for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) flux += K[i][j] * AbsValue(P[i]);
      }
      for (int i = 1; i <= n; ++i) {
        double in = 0.0, out = 0.0;
        for (int j = 1; j <= n; ++j) {
          if (j == i) continue;
          in += K[j][i] * P[j];
          out += K[i][j] * P[i];
        }
        EXPECT_LE(AbsValue(in - out), 1e-13 * flux) << subtype << " at " << w << ", state " << i;
        EXPECT_GE(P[i], -1e-12) << subtype << " at " << w << ", state " << i;
      }
    }
  }
}

TEST(MultistateSchemes, SchemeThatFallsApartSettlesFromAnEvenSpread) {
  // States 2 and 3 are both absorbing: no single balance exists.
  Transitions K{};
  K[1][2] = 1.0;
  K[1][3] = 3.0;
  Occupancies P{};
  P[4] = 0.7;  // outside the scheme: left alone
  StationaryOccupancies(3, K, P);
  EXPECT_NEAR(P[1], 0.0, 1e-9);
  EXPECT_NEAR(P[2], 1.0 / 3.0 + 1.0 / 12.0, 1e-9);
  EXPECT_NEAR(P[3], 1.0 / 3.0 + 1.0 / 4.0, 1e-9);
  EXPECT_EQ(P[4], 0.7);
}

TEST(MultistateSchemes, StepsFollowTheFrozenInflowRelaxation) {
  // Lyle-4 from rest, one 20 us step at -40 mV: each state relaxes toward its
  // balance with the inflows of the start of the step (values computed by hand).
  Transitions K;
  BuildScheme("Lyle-4", -65.0, 0.0, K);
  Occupancies P{};
  StationaryOccupancies(4, K, P);
  BuildScheme("Lyle-4", -40.0, 0.0, K);
  EXPECT_TRUE(AdvanceOccupancies(4, K, 2e-5, LastState::Unclipped, P));
  const double expected[] = {0.05823013577504994, 2.879258366101054e-07, 5.439355764390164e-07,
                             0.941769032363537};
  for (int i = 1; i <= 4; ++i) EXPECT_NEAR(P[i], expected[i - 1], 1e-13) << "state " << i;
}

// The frozen-inflow update written out: P'[i] = P[i] + F*(inflow/outflow - P[i])
// for i < N from the old P, the last state the rest.
void FrozenInflowStep(int n, const Transitions& K, double dt, Occupancies& P) {
  Occupancies next = P;
  double rest = 1.0;
  for (int i = 1; i < n; ++i) {
    double in = 0.0, out = 0.0;
    for (int j = 1; j <= n; ++j) {
      if (j == i) continue;
      in += K[j][i] * P[j];
      out += K[i][j];
    }
    next[i] = P[i] + (1.0 - std::exp(-1000.0 * dt * out)) * (in / out - P[i]);
    rest -= next[i];
  }
  next[n] = rest;
  P = next;
}

TEST(MultistateSchemes, ImplicitStepOnlyWhereTheFrozenInflowUpdateDiverges) {
  // Ten steps after a voltage jump from rest. Where the update strays from
  // [0, 1] by less than 0.05 it is kept, occupancies a little below 0 included,
  // even with rates far beyond the step; beyond that the step is made implicitly.
  const struct {
    const char* subtype;
    double to, dt;
    int firstImplicit;  // 1-based step that falls back; 0: none
  } cases[] = {
      {"Lyle-4", -30.0, 1e-4, 0},        {"Lyle-VT(h)", -30.0, 1e-4, 0},
      {"Milescu-13", -40.0, 5e-5, 0},    {"Milescu-26", -40.0, 1e-4, 0},
      {"Milescu-26", 30.0, 5e-5, 1},     {"Milescu-13", -100.0, 2e-5, 1},
      {"Carter-12", 20.0, 2e-5, 1},
  };
  for (const auto& c : cases) {
    const std::string name = std::string(c.subtype) + " to " + std::to_string(c.to) + " mV at " +
                             std::to_string(c.dt * 1e6) + " us";
    Transitions K;
    const int n = BuildScheme(c.subtype, -65.0, 0.0, K);
    Occupancies P{};
    StationaryOccupancies(n, K, P);
    P[0] = 5.0;  // outside the scheme: left alone
    BuildScheme(c.subtype, c.to, 0.0, K);
    const LastState last = n > 4 ? LastState::ClippedAtZero : LastState::Unclipped;
    int firstImplicit = 0;
    for (int step = 1; step <= 10; ++step) {
      Occupancies frozen = P, implicit = P;
      FrozenInflowStep(n, K, c.dt, frozen);
      ImplicitOccupancyStep(n, K, c.dt, P, implicit);
      const bool kept = AdvanceOccupancies(n, K, c.dt, last, P);
      if (!kept && firstImplicit == 0) firstImplicit = step;
      const Occupancies& expected = kept ? frozen : implicit;
      for (int i = 1; i < n; ++i) {
        EXPECT_NEAR(P[i], expected[i], 1e-12) << name << ", step " << step << ", state " << i;
      }
      // The last state takes the rest; the Milescu schemes clip it at 0.
      if (last == LastState::Unclipped || P[n] > 0.0) {
        EXPECT_NEAR(Sum(n, P), 1.0, 1e-12) << name << ", step " << step;
      } else {
        EXPECT_EQ(P[n], 0.0) << name << ", step " << step;
      }
      if (!kept) {
        for (int i = 1; i <= n; ++i) EXPECT_GE(P[i], -1e-12) << name << ", step " << step << ", state " << i;
      }
    }
    EXPECT_EQ(firstImplicit, c.firstImplicit) << name;
    EXPECT_EQ(P[0], 5.0) << name;
  }
}

TEST(MultistateSodium, FallsBackOnlyAfterVoltageJumpsTheStepCannotFollow) {
  // Implicit steps in 50 ms after a voltage jump from rest (-65 mV), at 20, 50
  // and 100 us: none in the Lyle schemes, a few right after the jump in the
  // Milescu schemes, and none under a jump small enough to follow.
  const struct {
    const char* type;
    const char* subtype;
    double to;
    int at20, at50, at100;
  } cases[] = {
      {"Lyle", "Lyle-4", 40.0, 0, 0, 0},           {"Lyle", "Lyle-3", -100.0, 0, 0, 0},
      {"Lyle", "Lyle-VT(h)", -30.0, 0, 0, 0},      {"Milescu", "Milescu-13", -30.0, 0, 0, 0},
      {"Milescu", "Milescu-13", 20.0, 6, 3, 3},    {"Milescu", "Milescu-26", 60.0, 14, 6, 4},
      {"Milescu", "Milescu-26", -100.0, 2, 2, 2},  {"Milescu", "Carter-12", 20.0, 2, 2, 1},
  };
  for (const auto& c : cases) {
    for (Slot slot : {Slot::Na, Slot::NaR}) {
      const double dts[] = {2e-5, 5e-5, 1e-4};
      const int expected[] = {c.at20, c.at50, c.at100};
      for (int k = 0; k < 3; ++k) {
        SchemeNeuron s(c.type, c.subtype, dts[k]);
        s.At(slot, -65.0).Init();
        s.clock().dt = dts[k];
        TChannel& ch = s.At(slot, c.to);
        for (int n = 0; n < static_cast<int>(0.05 / dts[k]); ++n) ch.Step();
        std::int64_t implicitSteps = -1;
        if (auto* l = dynamic_cast<TLyleNa*>(&ch)) implicitSteps = l->ImplicitSteps;
        if (auto* l = dynamic_cast<TLyleNaR*>(&ch)) implicitSteps = l->ImplicitSteps;
        if (auto* m = dynamic_cast<TMilescuNa*>(&ch)) implicitSteps = m->ImplicitSteps;
        if (auto* m = dynamic_cast<TMilescuNaR*>(&ch)) implicitSteps = m->ImplicitSteps;
        EXPECT_EQ(implicitSteps, expected[k])
            << SlotName(slot) << " " << c.subtype << " to " << c.to << " mV at " << dts[k] * 1e6 << " us";
      }
    }
  }
}

// ---- Channels ------------------------------------------------------------------

TEST(MultistateSodium, InitChoosesTheSchemeAndStartsItAtRest) {
  for (const ChannelCase& c : kChannelCases) {
    SchemeNeuron s(c.type, c.subtype);
    TChannel& ch = s.At(c.slot, -58.0);
    EXPECT_EQ(s.StateCount(c.slot), 0) << Name(c);
    ch.Init();
    EXPECT_EQ(s.StateCount(c.slot), c.states) << Name(c);
    const Occupancies start = s.P(c.slot);
    const bool lyle = std::string(c.type) == "Lyle";
    const double open = lyle ? start[1] : start[6] + (c.states > 13 ? start[19] : 0.0);
    EXPECT_EQ(s.Open(c.slot), open) << Name(c);
    EXPECT_EQ(s.Second(c.slot), lyle ? 1.0 - start[2] : 1.0) << Name(c);
    EXPECT_GT(open, 0.0) << Name(c);

    // At a constant voltage a step leaves the occupancies where they are.
    for (int n = 0; n < 20; ++n) ch.Step();
    for (int i = 1; i <= c.states; ++i) {
      EXPECT_NEAR(s.P(c.slot)[i], start[i], 1e-9) << Name(c) << ", state " << i;
    }
  }
}

TEST(MultistateSodium, ThresholdShiftMovesTheNaSchemesOnly) {
  for (const ChannelCase& c : kChannelCases) {
    SchemeNeuron shifted(c.type, c.subtype);
    shifted.NP().NaThreshShift = 5.0;
    shifted.At(c.slot, -50.0).Init();
    SchemeNeuron plain(c.type, c.subtype);
    plain.At(c.slot, c.slot == Slot::Na ? -55.0 : -50.0).Init();
    for (int i = 1; i <= c.states; ++i) {
      EXPECT_NEAR(shifted.P(c.slot)[i], plain.P(c.slot)[i], 1e-12) << Name(c) << ", state " << i;
    }
  }
}

TEST(MultistateSodium, VoltageStepRelaxesToTheNewStationaryOccupancies) {
  // The Lyle and Carter schemes settle within a second; the slow-inactivated
  // states of the Milescu schemes take many seconds and are left out.
  for (const ChannelCase& c : kChannelCases) {
    if (c.states == 13 || c.states == 26) continue;
    for (const auto& [from, to] : {std::pair{-80.0, -30.0}, std::pair{-30.0, -75.0}}) {
      SchemeNeuron s(c.type, c.subtype, 2e-5);
      s.At(c.slot, from).Init();
      TChannel& ch = s.At(c.slot, to);
      // The fast transient at 20 us, then 1 s of 100 us steps.
      for (int n = 0; n < 1000; ++n) ch.Step();
      s.clock().dt = 1e-4;
      for (int n = 0; n < 10000; ++n) ch.Step();
      // The "Lyle-VT(h)" balance moves with zVT, which has settled as well.
      Transitions K;
      BuildScheme(c, to, s.NV().zVT(), K);
      Occupancies target{};
      StationaryOccupancies(c.states, K, target);
      double distance = 0.0;
      for (int i = 1; i <= c.states; ++i) distance += AbsValue(s.P(c.slot)[i] - target[i]);
      EXPECT_LT(distance, 1e-9) << Name(c) << " from " << from << " to " << to << " mV";
    }
  }
}

TEST(MultistateSodium, OccupanciesStayNearTheSimplexDuringASpikeTrain) {
  for (const ChannelCase& c : kChannelCases) {
    for (double dt : {5e-6, 2e-5, 5e-5}) {
      SchemeNeuron s(c.type, c.subtype, dt);
      s.At(c.slot, -65.0).Init();
      s.clock().dt = dt;  // run "Carter-12" at the step asked for, too
      const bool lyle = std::string(c.type) == "Lyle";
      double lowestSum = 1.0, highestSum = 1.0, lowest = 0.0, highest = 1.0, lowestLast = 0.0;
      const int steps = static_cast<int>(0.05 / dt);
      for (int n = 1; n <= steps; ++n) {
        s.At(c.slot, SpikeTrainVoltage(n * dt * 1000.0)).Step();
        const Occupancies& P = s.P(c.slot);
        lowestSum = MinD(lowestSum, Sum(c.states, P));
        highestSum = MaxD(highestSum, Sum(c.states, P));
        lowestLast = MinD(lowestLast, P[c.states]);
        for (int i = 1; i <= c.states; ++i) {
          lowest = MinD(lowest, P[i]);
          highest = MaxD(highest, P[i]);
        }
      }
      // They may stray a little outside [0, 1], no further than the update keeps.
      // The last state takes the rest: the sum is 1, except where the Milescu
      // schemes clip a negative rest at 0 and the sum exceeds 1 by as much.
      EXPECT_GT(lowest, -0.05) << Name(c) << " at dt " << dt;
      EXPECT_LT(highest, 1.05) << Name(c) << " at dt " << dt;
      EXPECT_GT(lowestSum, 1.0 - 1e-9) << Name(c) << " at dt " << dt;
      EXPECT_LT(highestSum, lyle ? 1.0 + 1e-9 : 1.05) << Name(c) << " at dt " << dt;
      if (!lyle) {
        EXPECT_EQ(lowestLast, 0.0) << Name(c) << " at dt " << dt;
      }
    }
  }
}

TEST(MultistateSodium, PeakOpenFractionRisesSigmoidallyWithVoltage) {
  // Peak open fraction within 10 ms of a step from -100 mV. The half-activation
  // voltages (half the peak at 0 mV) were computed independently from the schemes.
  const struct {
    const char* type;
    const char* subtype;
    double vHalf;
  } cases[] = {{"Lyle", "Lyle-4", -50.41},         {"Lyle", "Lyle-3", -50.48},
               {"Lyle", "Lyle-VT(h)", -54.78},     {"Milescu", "Milescu-13", -24.82},
               {"Milescu", "Milescu-26", -25.71},  {"Milescu", "Carter-12", -28.30}};
  for (const auto& c : cases) {
    auto peak = [&](double v) {
      SchemeNeuron s(c.type, c.subtype, 5e-6);
      s.At(Slot::Na, -100.0).Init();
      TChannel& ch = s.At(Slot::Na, v);
      double best = 0.0;
      for (int n = 0; n < 2000; ++n) {
        ch.Step();
        best = MaxD(best, s.NV().mm);
      }
      return best;
    };
    const double top = peak(0.0);
    EXPECT_GT(top, 0.3) << c.subtype;
    double previous = 0.0;
    for (double v = -100.0; v <= -10.0; v += 10.0) {
      const double p = peak(v);
      EXPECT_GE(p, previous - 1e-5 * top) << c.subtype << " at " << v << " mV";
      if (v <= -80.0) {
        EXPECT_LT(p, 0.01 * top) << c.subtype << " at " << v << " mV";
      }
      previous = p;
    }
    double lo = -90.0, hi = 0.0;
    while (hi - lo > 0.05) {
      const double mid = 0.5 * (lo + hi);
      (peak(mid) < 0.5 * top ? lo : hi) = mid;
    }
    EXPECT_NEAR(0.5 * (lo + hi), c.vHalf, 1.0) << c.subtype;
  }
}

TEST(MultistateSodium, SlowGateFollowsItsSwitchAndShift) {
  // Steady states 1/(1 + exp((w + c)/2)) computed by hand; the Milescu NaR scheme
  // follows the Na slot's switch.
  const struct {
    Slot slot;
    const char* type;
    int slowNa, slowNaR;
    double inf60, inf40;  // at -60 and -40 mV with NaThreshShift 5 mV
  } cases[] = {
      {Slot::Na, "Lyle", 1, 0, 0.998498817743263, 0.02931223075135632},
      {Slot::Na, "Lyle", 0, 1, 1.0, 1.0},
      {Slot::Na, "Milescu", 1, 0, 0.7310585786300049, 0.00012339457598623172},
      {Slot::NaR, "Lyle", 0, 1, 0.9820137900379085, 0.0024726231566347743},
      {Slot::NaR, "Lyle", 1, 0, 1.0, 1.0},
      {Slot::NaR, "Milescu", 1, 0, 0.7310585786300049, 0.00012339457598623172},
      {Slot::NaR, "Milescu", 0, 1, 1.0, 1.0},
  };
  for (const auto& c : cases) {
    const std::string subtype = std::string(c.type) == "Lyle" ? "Lyle-4" : "Milescu-13";
    SchemeNeuron s(c.type, subtype, 1e-4);
    s.NP().If_Slow_Na_inactivation = c.slowNa;
    s.NP().If_Slow_NaR_inactivation = c.slowNaR;
    s.NP().NaThreshShift = 5.0;
    double& gate = c.slot == Slot::Na ? s.NV().ii : s.NV().iiR;
    s.At(c.slot, -60.0).Init();
    EXPECT_NEAR(gate, c.inf60, 1e-12) << SlotName(c.slot) << " " << c.type;
    s.At(c.slot, -40.0).Step();
    EXPECT_NEAR(gate, c.inf40 + (c.inf60 - c.inf40) * std::exp(-0.1 / 100.0), 1e-12)
        << SlotName(c.slot) << " " << c.type;
  }
}

TEST(MultistateSodium, CurrentIsOpenFractionTimesCubedSlowGateAgainstVNa) {
  for (const ChannelCase& c : kChannelCases) {
    SchemeNeuron s(c.type, c.subtype);
    s.NP().If_Slow_Na_inactivation = s.NP().If_Slow_NaR_inactivation = 1;
    s.At(c.slot, -65.0).Init();
    TChannel& ch = s.At(c.slot, -20.0);
    const double I = ch.Step();
    const double slow = c.slot == Slot::Na ? s.NV().ii : s.NV().iiR;
    const double g = c.slot == Slot::Na ? s.NP().gNa : s.NP().gNaR;
    const double G = s.Open(c.slot) * slow * slow * slow;
    EXPECT_NEAR(I, G * g * (-0.020 - s.NP().VNa), 1e-15) << Name(c);
    EXPECT_NEAR(ch.Conductance(s.Open(c.slot), 0.3, slow), G, 1e-15) << Name(c);
    EXPECT_LT(I, 0.0) << Name(c);  // inward
    EXPECT_EQ(s.At(c.slot, 1000.0 * s.NP().VNa).Step(), 0.0) << Name(c);  // reverses at VNa, not VNaR

    // Blocked: no current and no conductance, while the states still move.
    SchemeNeuron b(c.type, c.subtype);
    b.NP().IfBlockNa = b.NP().IfBlockNaR = 1;
    b.At(c.slot, -65.0).Init();
    const Occupancies before = b.P(c.slot);
    EXPECT_EQ(b.At(c.slot, -20.0).Step(), 0.0) << Name(c);
    EXPECT_EQ(b.SlotConductance(c.slot), 0.0) << Name(c);
    EXPECT_NE(b.P(c.slot), before) << Name(c);
  }
}

TEST(MultistateSodium, CarterSchemeAsksForShortTimeSteps) {
  for (Slot slot : {Slot::Na, Slot::NaR}) {
    SchemeNeuron s("Milescu", "Carter-12", 5e-5);
    EXPECT_EQ(s.At(slot, -65.0).LongestTimeStep(), 2e-5) << SlotName(slot);
    SchemeNeuron other("Milescu", "Milescu-26", 5e-5);
    EXPECT_EQ(other.At(slot, -65.0).LongestTimeStep(), std::numeric_limits<double>::infinity()) << SlotName(slot);
  }
}

TEST(MultistateSodium, LyleSlowVariableLivesBesideTheThreeStates) {
  SchemeNeuron s("Lyle", "Lyle-VT(h)", 5e-5);
  TChannel& ch = s.At(Slot::Na, -65.0);
  ch.Init();
  NeuronVariables& nv = s.NV();
  EXPECT_DOUBLE_EQ(nv.zVT(), 5.0 * nv.pNa[2]);
  EXPECT_EQ(&nv.zVT(), &nv.pNa[13]);

  // A long depolarisation inactivates the channel and drives zVT toward
  // 100*p2/(100*p2 + 20); the three occupancies stay a probability vector and no
  // other entry of pNa is touched.
  s.At(Slot::Na, -20.0);
  for (int n = 0; n < 4000; ++n) ch.Step();  // 200 ms
  const double p2 = nv.pNa[2];
  EXPECT_GT(p2, 0.9);
  EXPECT_NEAR(nv.zVT(), 100.0 * p2 / (100.0 * p2 + 20.0), 1e-3);
  EXPECT_NEAR(nv.pNa[1] + nv.pNa[2] + nv.pNa[3], 1.0, 1e-12);
  for (int i = 4; i <= 26; ++i) {
    if (i != 13) {
      EXPECT_EQ(nv.pNa[i], 0.0) << "entry " << i;
    }
  }

  // The recovery 3 -> 1 has moved 20 mV per unit of zVT to more depolarised offsets.
  Transitions K;
  BuildLyleTransitions(LyleScheme::LyleVTh, -40.0, nv.zVT(), K);
  EXPECT_NEAR(K[3][1], LyleRate(-40.0 - 20.0 * nv.zVT(), -55.0, 0.2, 1.0 / 3.0), 1e-15);
  EXPECT_LT(K[3][1], LyleRate(-40.0, -55.0, 0.2, 1.0 / 3.0));

  // In "Lyle-4" zVT advances as well, in its own slot beside the fourth state.
  SchemeNeuron four("Lyle", "Lyle-4", 5e-5);
  TChannel& ch4 = four.At(Slot::Na, -20.0);
  ch4.Init();
  for (int n = 0; n < 200; ++n) ch4.Step();
  EXPECT_GT(four.NV().zVT(), 0.0);
  EXPECT_NEAR(Sum(4, four.NV().pNa), 1.0, 1e-12);
}

// ---- The Lyle start-up neuron --------------------------------------------------

NeuronProperties LyleStartupRecord() {
  NeuronProperties np;
  np.HH_type = "Lyle";
  np.HH_order = "1-point";
  np.If_I_V_or_g = 2;
  double vus = 0.0;
  SetDefaults(np, vus);
  return np;
}

TEST(MultistateSodiumNeuron, LyleNeuronRestsAndFiresRepetitively) {
  for (double dt : {5e-6, 2e-5, 5e-5, 1e-4}) {
    const NeuronProperties np = LyleStartupRecord();
    ASSERT_EQ(np.Na_type, "Lyle");
    for (double Iext : {0.0, 0.002}) {  // 0.002 mA/cm2 is about 1 nA into this cell
      StandaloneClock clock;
      clock.dt = dt;
      std::unique_ptr<TNeuron> nrn = CreateNeuron(np, clock.View());
      nrn->InitState();
      int spikes = 0;
      bool above = false;
      double farthest = 0.0;
      const int steps = static_cast<int>(0.5 / dt);
      for (int n = 1; n <= steps; ++n) {
        clock.t = n * dt;
        nrn->Step(0, 0, 0, 0, 0, Iext, 0);
        const double V = nrn->NV.V;
        if (!above && V > -0.03) ++spikes;
        above = V > -0.03 || (above && V > -0.04);
        farthest = MaxD(farthest, AbsValue(V - nrn->NP.Vrest));
        ASSERT_NEAR(Sum(4, nrn->NV.pNa), 1.0, 1e-9) << "dt " << dt << ", step " << n;
        for (int i = 1; i <= 4; ++i) ASSERT_GT(nrn->NV.pNa[i], -0.05) << "dt " << dt << ", step " << n;
      }
      // The described update follows the whole train: no step falls back.
      auto* na = dynamic_cast<TLyleNa*>(&dynamic_cast<TCondBasedNrn&>(*nrn).Channel(Slot::Na));
      ASSERT_NE(na, nullptr);
      EXPECT_EQ(na->ImplicitSteps, 0) << "dt " << dt;
      if (Iext == 0.0) {
        EXPECT_EQ(spikes, 0) << "dt " << dt;
        EXPECT_LT(farthest, 1e-4) << "dt " << dt;
      } else {
        EXPECT_GE(spikes, 8) << "dt " << dt;  // a train that keeps firing through the half second
      }
    }
  }
}

}  // namespace
}  // namespace membrix
