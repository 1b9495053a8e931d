// A run leaves the gates of slots that carry no current, feed no other channel
// and that nobody observes at their resting values. Every family in every
// geometry, driven hard enough to fire, must give the same voltage, currents,
// spikes and observed gates whether those gates advance or not.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/error.h"
#include "neuron/cond_based_neuron.h"
#include "params/model_defaults.h"
#include "run/observed_gates.h"
#include "run/output_variables.h"
#include "neuron/neuron_test_support.h"

namespace membrix {
namespace {

using NV_ = NeuronVariables;

// The gates of each slot, in slot order.
const std::vector<double NV_::*> kGates[kSlotCount] = {
    {&NV_::mm, &NV_::hh, &NV_::ii}, {&NV_::nn, &NV_::yK},  {&NV_::nA, &NV_::lA},   {&NV_::nM, &NV_::zM},
    {&NV_::xD, &NV_::yD},           {&NV_::nH},             {&NV_::mmR, &NV_::hhR, &NV_::iiR},
    {&NV_::wADP},                   {&NV_::wAHP, &NV_::lAHP}, {&NV_::mCaH, &NV_::hCaH, &NV_::kCaH},
    {&NV_::mCaT, &NV_::hCaT},       {&NV_::nKCa},           {&NV_::mNaP},          {&NV_::mBst},
};

const std::vector<double NV_::*> kCurrents = {&NV_::INa,  &NV_::IK,   &NV_::IKA,  &NV_::IKM,  &NV_::IKD,
                                              &NV_::IH,   &NV_::INaR, &NV_::IADP, &NV_::IAHP, &NV_::ICaH,
                                              &NV_::ICaT, &NV_::IKCa, &NV_::INaP, &NV_::IBst, &NV_::IL,
                                              &NV_::Iion, &NV_::IKsum};

std::uint64_t Bits(double x) { return std::bit_cast<std::uint64_t>(x); }

struct Model {
  const char* family;
  const char* naType = nullptr;  // the family's own Na and resurgent Na schemes unless named
  const char* naRType = nullptr;
};

TEST(IdleGates, EveryFamilyAndGeometryGivesTheSameRunBothWays) {
  const Model models[] = {{"Rariza"},  {"Passive"}, {"Destexhe"}, {"Migliore"}, {"Cummins"},
                          {"Chow"},    {"Lyle"},    {"Naundorf"}, {"White"},    {"White2"},
                          {"Shu"},     {"Bazhenov"}, {"Lyle", "LyleMS", "LyleMS"}, {"Lyle", "Milescu", "Milescu"},
                          {"Lyle", "Fleid", "Lyle"}};
  const char* geometries[] = {"1-point", "2-points", "2-p-ActiveDend", "2-p-MainenSejn"};
  int skippingCases = 0;
  int spikes = 0;
  for (const Model& m : models) {
    for (const char* geometry : geometries) {
      SCOPED_TRACE(std::string(m.family) + " " + (m.naType ? m.naType : "") + " in " + geometry);
      const NeuronProperties np = testing::FamilyRecord(m.family, geometry, m.naType, m.naRType);  // current clamp
      StandaloneClock clock;
      clock.dt = 2.5e-5;
      std::unique_ptr<TNeuron> all = CreateNeuron(np, clock.View());
      std::unique_ptr<TNeuron> lean = CreateNeuron(np, clock.View());
      auto& leanCb = dynamic_cast<TCondBasedNrn&>(*lean);
      leanCb.ObserveSlots({});
      std::string allError, leanError;
      try {
        all->InitState();
      } catch (const Error& e) {
        allError = e.what();
      }
      try {
        lean->InitState();
      } catch (const Error& e) {
        leanError = e.what();
      }
      ASSERT_EQ(allError, leanError);
      if (!allError.empty()) continue;
      const TCondBasedNrn::SlotSet stepping = leanCb.SteppingSlots();
      ASSERT_TRUE(dynamic_cast<TCondBasedNrn&>(*all).SteppingSlots().count() >= stepping.count());
      if (stepping != dynamic_cast<TCondBasedNrn&>(*all).SteppingSlots()) ++skippingCases;
      // The squid axon's lean step is resolved to its two channels, so the
      // comparison below holds that step against the one through the slots.
      if (std::string(m.family) == "Rariza") {
        EXPECT_TRUE(leanCb.StepResolved());
      }
      EXPECT_FALSE(dynamic_cast<TCondBasedNrn&>(*all).StepResolved());

      bool above = false;
      for (int n = 1; n <= 4000; ++n) {
        clock.t = n * clock.dt;
        // Rest, then a step and a stronger one.
        const double Iext = n < 800 ? 0.0 : n < 2400 ? 0.02 : 0.06;
        all->Step(0, 0, 0, 0, 0, Iext, 0);
        lean->Step(0, 0, 0, 0, 0, Iext, 0);
        const NeuronVariables& a = all->NV;
        const NeuronVariables& b = lean->NV;
        ASSERT_EQ(Bits(a.V), Bits(b.V)) << "step " << n;
        ASSERT_EQ(Bits(a.VatE), Bits(b.VatE)) << "step " << n;
        ASSERT_EQ(Bits(a.gSum), Bits(b.gSum)) << "step " << n;
        ASSERT_EQ(Bits(a.Ca), Bits(b.Ca)) << "step " << n;
        ASSERT_EQ(Bits(a.PSC), Bits(b.PSC)) << "step " << n;
        // A slot left at rest reads a current of +0 where the full step may
        // give -0 (0 times a negative driving force): equal values.
        for (auto current : kCurrents) ASSERT_EQ(a.*current, b.*current) << "step " << n;
        for (int slot = 0; slot < kSlotCount; ++slot) {
          if (!stepping[slot]) continue;
          for (auto gate : kGates[slot]) ASSERT_EQ(Bits(a.*gate), Bits(b.*gate)) << "slot " << slot << " step " << n;
        }
        if (stepping[static_cast<int>(Slot::Na)]) {
          for (int i = 0; i < static_cast<int>(a.pNa.size()); ++i) ASSERT_EQ(Bits(a.pNa[i]), Bits(b.pNa[i]));
        }
        if (!above && a.V > 0.0) ++spikes;
        above = a.V > 0.0;
      }
    }
  }
  // Not vacuous: most families have current-free slots, and the runs fire.
  EXPECT_GT(skippingCases, 30);
  EXPECT_GT(spikes, 100);
}

// A slot the run views, the trace or a recorder shows keeps stepping although it
// carries no current; what a stepping channel reads steps as well.
TEST(IdleGates, ObservedAndReadSlotsKeepStepping) {
  struct Case {
    const char* family;
    const char* observedItem;  // nullptr: nothing observed
    Slot slot;
    bool steps;
  };
  const Case cases[] = {
      {"Rariza", nullptr, Slot::NaR, false},  {"Rariza", "mmR", Slot::NaR, true},
      {"Rariza", "hhR", Slot::NaR, true},     {"Rariza", "IAHP", Slot::AHP, true},
      {"Rariza", "wADP", Slot::ADP, true},    {"Rariza", "mNaP", Slot::NaP, true},
      {"Rariza", "V", Slot::NaR, false},      {"Rariza", nullptr, Slot::Na, true},
      {"Naundorf", nullptr, Slot::AHP, true},  // the Na activation moves with the AHP gate
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.family) + " " + (c.observedItem ? c.observedItem : "-"));
    NeuronProperties np;
    np.HH_type = c.family;
    np.HH_order = "1-point";
    np.If_I_V_or_g = 2;
    double vus = 0.0;
    SetDefaults(np, vus);
    if (c.slot != Slot::Na && c.family == std::string("Rariza") && c.slot != Slot::AHP) {
      ASSERT_EQ(np.*(c.slot == Slot::NaR ? &NeuronProperties::gNaR
                     : c.slot == Slot::ADP ? &NeuronProperties::gADP
                                           : &NeuronProperties::gNaP),
                0.0);
    }
    StandaloneClock clock;
    std::unique_ptr<TNeuron> n = CreateNeuron(np, clock.View());
    auto& cb = dynamic_cast<TCondBasedNrn&>(*n);
    TCondBasedNrn::SlotSet observed;
    if (c.observedItem != nullptr) {
      if (auto slot = SlotOfOutputItem(c.observedItem)) observed.set(static_cast<int>(*slot));
    }
    cb.ObserveSlots(observed);
    n->InitState();
    EXPECT_EQ(cb.SteppingSlots()[static_cast<int>(c.slot)], c.steps);
  }
}

// Every output-list item that shows a gate or a current names the slot it belongs to.
TEST(IdleGates, EveryGateAndCurrentItemHasItsSlot) {
  for (std::string_view item : OutputVariables()) {
    const bool slotless = item == "V" || item == "PSC" || item == "Ca" || item == "Im" || item == "VatE" ||
                          item == "Iind" || item == "Vexp" || item == "avPSC" || item == "Vav " ||
                          item == "du_Reset" || item == "Vr" || item == "uu";
    EXPECT_EQ(SlotOfOutputItem(item).has_value(), !slotless) << item;
  }
}

}  // namespace
}  // namespace membrix
