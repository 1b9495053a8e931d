#include "data/fit_table.h"

#include <algorithm>

#include "common/error.h"

namespace membrix {

namespace {

using NP = NeuronProperties;

// Reversal potentials are kept in volts: their lower bound -100 only admits
// negative values. A bound of 0 keeps a parameter non-negative; gL stays above
// zero so that a membrane always has a leak.
constexpr FitParameter kFitParameters[kDefinedFitSlots] = {
    {"tau_m, [s]  ", "tau", "tau_m", &NP::tau_m, 0.0, true},
    {"ro          ", "ro", "ro", &NP::ro, 0.0, true},
    {"gNaR        ", "gNaR", "gNaR", &NP::gNaR, 0.0, true},
    {"a1NaR       ", "a1NaR", "a1NaR", &NP::a1NaR, 0.0, true},
    {"a2NaR       ", "a2NaR", "a2NaR", &NP::a2NaR, 0.0, true},
    {"a3NaR       ", "a3NaR", "a3NaR", &NP::a3NaR, 0.0, true},
    {"b1NaR       ", "b1NaR", "b1NaR", &NP::b1NaR, -100.0, true},
    {"b2NaR       ", "b2NaR", "b2NaR", &NP::b2NaR, 0.0, true},
    {"b3NaR       ", "b3NaR", "b3NaR", &NP::b3NaR, -100.0, true},
    {"c1NaR       ", "c1NaR", "c1NaR", &NP::c1NaR, 0.0, true},
    {"c2NaR       ", "c2NaR", "c2NaR", &NP::c2NaR, 0.0, true},
    {"c3NaR       ", "c3NaR", "c3NaR", &NP::c3NaR, 0.0, true},
    {"d1NaR       ", "d1NaR", "d1NaR", &NP::d1NaR, 0.0, true},
    {"d2NaR       ", "d2NaR", "d2NaR", &NP::d2NaR, 0.0, true},
    {"d3NaR       ", "d3NaR", "d3NaR", &NP::d3NaR, 0.0, true},
    {"VNaR        ", "VNaR", "VNaR", &NP::VNaR, -100.0, true},
    {"gNa         ", "gNa[1]", "gNa", &NP::gNa, 0.0, true},
    {"gK          ", "gK", "gK", &NP::gK, 0.0, true},
    {"gL          ", "gL[1]", "gL", &NP::gL, 0.0001, true},
    {"gKA         ", "gKA", "gKA", &NP::gKA, 0.0, true},
    {"gKD         ", "gKD", "gKD", &NP::gKD, 0.0, true},
    {"VL          ", "VL[1]", "VL", &NP::VL, -100.0, true},
    {"a1K         ", "a1K", "a1K", &NP::a1K, 0.0, true},
    {"a2K         ", "a2K", "a2K", &NP::a2K, 0.0, true},
    {"a3K         ", "a3K", "a3K", &NP::a3K, 0.0, true},
    {"b1K         ", "b1K", "b1K", &NP::b1K, 0.0, true},
    {"b2K         ", "b2K", "b2K", &NP::b2K, 0.0, true},
    {"b3K         ", "b3K", "b3K", &NP::b3K, 0.0, true},
    {"VK          ", "VK", "VK", &NP::VK, -100.0, true},
#define MEMBRIX_IMPORTED_FIT_SLOT(k) \
  {"gNeuroML[" #k "] ", "gNeuroML[" #k "]", "gNeuroML[" #k "]", nullptr, 0.0, true, k - 1}
    MEMBRIX_IMPORTED_FIT_SLOT(1), MEMBRIX_IMPORTED_FIT_SLOT(2), MEMBRIX_IMPORTED_FIT_SLOT(3),
    MEMBRIX_IMPORTED_FIT_SLOT(4), MEMBRIX_IMPORTED_FIT_SLOT(5), MEMBRIX_IMPORTED_FIT_SLOT(6),
    MEMBRIX_IMPORTED_FIT_SLOT(7), MEMBRIX_IMPORTED_FIT_SLOT(8),
#undef MEMBRIX_IMPORTED_FIT_SLOT
};
static_assert(kMaxImportedChannels == 8, "one fit slot per imported channel");

constexpr int kSlotVL = 21;

bool IsDefaultMark(int slot) {
  const std::string_view item = kFitParameters[slot].menuItem;
  for (std::string_view ticked : {"gNaR", "a1NaR", "a2NaR", "a3NaR", "b1NaR", "b3NaR", "c1NaR", "c3NaR",
                                  "d1NaR", "d2NaR", "d3NaR", "VNaR"}) {
    if (item == ticked) return true;
  }
  return false;
}

std::string KnownNames() {
  std::string names;
  for (const FitParameter& p : kFitParameters) names += (names.empty() ? "" : ", ") + std::string(p.menuItem);
  return names;
}

}  // namespace

std::span<const FitParameter> FitParameters() { return kFitParameters; }

double FitValue(const NeuronProperties& np, const FitParameter& p) {
  if (p.member != nullptr) return np.*p.member;
  const auto k = static_cast<std::size_t>(p.imported);
  return k < np.Imported.size() ? np.Imported[k].g : 0.0;
}

void SetFitValue(NeuronProperties& np, const FitParameter& p, double value) {
  if (p.member != nullptr) {
    np.*p.member = value;
    return;
  }
  const auto k = static_cast<std::size_t>(p.imported);
  if (k < np.Imported.size()) np.Imported[k].g = value;
}

std::string FitParameterKey(const FitParameter& p) {
  return p.member != nullptr ? "NP0." + std::string(p.field) : std::string(p.field);
}

std::string FitNameOfChannel(const NeuronProperties& np, const std::string& name) {
  constexpr std::string_view kPrefix = "gNeuroML[";
  if (name.size() <= kPrefix.size() + 1 || name.compare(0, kPrefix.size(), kPrefix) != 0 || name.back() != ']')
    return name;
  const std::string id = name.substr(kPrefix.size(), name.size() - kPrefix.size() - 1);
  for (std::size_t k = 0; k < np.Imported.size(); ++k) {
    if (np.Imported[k].kinetics.id == id) return "gNeuroML[" + std::to_string(k + 1) + "]";
  }
  return name;
}

void CheckImportedFitSlots(const FitTable& table, const NeuronProperties& np) {
  for (int k = 1; k <= table.FitCount; ++k) {
    const FitParameter& p = FitParameterAt(table, k);
    if (p.imported >= static_cast<int>(np.Imported.size())) {
      throw Error(std::string(p.field) + " is selected for the fit, but the model has " +
                  (np.Imported.empty() ? std::string("no imported channels")
                                       : std::to_string(np.Imported.size()) + " imported channel(s)"));
    }
  }
}

FitTable::FitTable() { InitFitTable(*this); }

void InitFitTable(FitTable& table) {
  for (int slot = 0; slot < kFitSlotCount; ++slot) {
    FitSlot& f = table.FitSlots[slot];
    f = FitSlot{};
    if (slot < kDefinedFitSlots) {
      f.FitName = std::string(kFitParameters[slot].FitName);
      f.FitLower = kFitParameters[slot].lower;
      f.FitUpper = kFitUpperBound;
    }
  }
  for (int slot = 0; slot < kDefinedFitSlots; ++slot) table.MenuChecked[slot] = IsDefaultMark(slot);
}

int FindFitSlot(std::string_view name) {
  for (int slot = 0; slot < kDefinedFitSlots; ++slot) {
    if (kFitParameters[slot].menuItem == name || kFitParameters[slot].field == name) return slot;
  }
  return -1;
}

void SelectFitParameters(FitTable& table, std::span<const std::string> names) {
  std::array<bool, kDefinedFitSlots> marks{};
  for (const std::string& name : names) {
    const int slot = FindFitSlot(name);
    if (slot < 0) {
      throw Error("\"" + name + "\" is not a parameter the simplex can fit; the parameters are: " + KnownNames() +
                  " (an imported channel's also as gNeuroML[ID])");
    }
    marks[slot] = true;
  }
  table.MenuChecked = marks;
}

void ClearFitMarks(FitTable& table) {
  for (int slot = 0; slot < kDefinedFitSlots; ++slot) {
    if (slot != kSlotVL) table.MenuChecked[slot] = false;
  }
}

void MarkKCurrentFit(FitTable& table) {
  for (int slot = 0; slot < kDefinedFitSlots; ++slot) {
    if (slot == kSlotVL) continue;
    const std::string_view item = kFitParameters[slot].menuItem;
    table.MenuChecked[slot] =
        item == "gK" || item == "a1K" || item == "a2K" || item == "a3K" || item == "b1K" || item == "b3K";
  }
}

void CollectFitSelection(FitTable& table) {
  table.FitCount = 0;
  table.FitOrder.fill(0);
  for (int slot = 0; slot < kFitSlotCount; ++slot) {
    FitSlot& f = table.FitSlots[slot];
    f.FitSelected = slot < kDefinedFitSlots && table.MenuChecked[slot] ? 1 : 0;
    f.FitPos = 0;
    if (f.FitSelected == 1) {
      ++table.FitCount;
      f.FitPos = table.FitCount;
      table.FitOrder[table.FitCount] = slot + 1;
    }
  }
}

const FitParameter& FitParameterAt(const FitTable& table, int k) {
  return kFitParameters[table.FitOrder[k] - 1];
}

void FitFromRecord(FitTable& table, const NeuronProperties& np) {
  for (int k = 1; k <= table.FitCount; ++k) {
    const FitSlot& f = table.FitSlots[table.FitOrder[k] - 1];
    table.FitX[k] = std::clamp(FitValue(np, FitParameterAt(table, k)), f.FitLower, f.FitUpper);
  }
}

void FitToRecord(const FitTable& table, NeuronProperties& np) {
  for (int k = 1; k <= table.FitCount; ++k) SetFitValue(np, FitParameterAt(table, k), table.FitX[k]);
}

}  // namespace membrix
