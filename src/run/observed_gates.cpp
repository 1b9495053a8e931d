#include "run/observed_gates.h"

#include "run/run_view_sink.h"
#include "run/session.h"

namespace membrix {

std::optional<Slot> SlotOfOutputItem(std::string_view item) {
  struct Entry {
    std::string_view item;
    Slot slot;
  };
  static constexpr Entry kItems[] = {
      {"mm", Slot::Na},    {"hh", Slot::Na},    {"ii", Slot::Na},     {"INA", Slot::Na},  {"Im-INa", Slot::Na},
      {"mmR", Slot::NaR},  {"hhR", Slot::NaR},  {"iiR", Slot::NaR},   {"nn", Slot::K},    {"yK", Slot::K},
      {"IK", Slot::K},     {"nA", Slot::KA},    {"lA", Slot::KA},     {"IKA", Slot::KA},  {"xD", Slot::KD},
      {"yD", Slot::KD},    {"nM", Slot::KM},    {"IKM", Slot::KM},    {"IH", Slot::H},    {"mCaT", Slot::CaT},
      {"hCaT", Slot::CaT}, {"mCaH", Slot::CaH}, {"hCaH", Slot::CaH},  {"kCaH", Slot::CaH}, {"nKCa", Slot::KCa},
      {"mBst", Slot::Bst}, {"mNaP", Slot::NaP}, {"wAHP", Slot::AHP},  {"lAHP", Slot::AHP}, {"IAHP", Slot::AHP},
      {"wADP", Slot::ADP},
  };
  for (const Entry& e : kItems) {
    if (e.item == item) return e.slot;
  }
  return std::nullopt;
}

TCondBasedNrn::SlotSet ObservedSlots(const Session& s, const RunViewSink& views) {
  TCondBasedNrn::SlotSet observed;
  const auto observe = [&](Slot slot) { observed.set(static_cast<std::size_t>(slot)); };
  const auto observeItem = [&](std::string_view item) {
    if (const std::optional<Slot> slot = SlotOfOutputItem(item)) observe(*slot);
  };
  // The run views draw the Na, K and resurgent Na gates, nM, wAHP and wADP, the
  // Na current and the sum of the K currents.
  if (views.Drawing()) {
    for (Slot slot : {Slot::Na, Slot::K, Slot::KA, Slot::KD, Slot::KM, Slot::NaR, Slot::AHP, Slot::ADP}) observe(slot);
  }
  if (s.run.WriteMode == 3) observe(Slot::NaR);  // mmR and hhR are written
  if (s.run.WriteMode == 4 || s.run.DrawAnyCurve == 1) observeItem(s.trace.VarToWrite);
  for (std::string_view item : views.ReadItems()) observeItem(item);
  return observed;
}

}  // namespace membrix
