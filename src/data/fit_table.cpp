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
};

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
      throw Error("\"" + name +
                  "\" is not a parameter the simplex can fit; the parameters are: " + KnownNames());
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
    table.FitX[k] = std::clamp(np.*FitParameterAt(table, k).member, f.FitLower, f.FitUpper);
  }
}

void FitToRecord(const FitTable& table, NeuronProperties& np) {
  for (int k = 1; k <= table.FitCount; ++k) np.*FitParameterAt(table, k).member = table.FitX[k];
}

}  // namespace membrix
