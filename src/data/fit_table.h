#pragma once
// The table of parameters the simplex can fit: which parameters of NP0 take
// part, their bounds, their places in the fit vector, and the check marks of
// the main window's Parameters -> Simplex menu that choose them. The batch
// tool's "fit --fit NAME" ticks the same marks.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "params/neuron_properties.h"

namespace membrix {

inline constexpr int kFitSlotCount = 52;  // slots of the table; the first 37 are defined
// The record's own parameters, then the maximal conductance densities of the
// imported channels 1 ... 8 ("gNeuroML[1]", ...).
inline constexpr int kRecordFitSlots = 29;
inline constexpr int kDefinedFitSlots = kRecordFitSlots + kMaxImportedChannels;
inline constexpr int kMaxFitCount = 26;  // coordinates the simplex can hold
inline constexpr double kFitUpperBound = 1e8;

// The strategy of a fit: the downhill simplex from the start point, a global
// search of the parameter box with a local polish, or the simplex from several
// starting points spread over the box.
enum class FitMethod : std::int32_t { Simplex = 0, Global = 1, Multistart = 2 };

inline constexpr int kDefaultFitStarts = 8;

// One fittable parameter, as the table defines it.
struct FitParameter {
  std::string_view FitName;   // display name, padded with blanks to 12 characters
  std::string_view menuItem;  // its item of Parameters -> Simplex ("gNa[1]", "tau", ...)
  std::string_view field;     // its field of the parameter record ("gNa", "tau_m", ...)
  double NeuronProperties::*member;  // null for an imported channel's conductance
  double lower;           // FitLower, in the record's units
  bool inParameterFiles;  // parameter files take "NP0." + field back (an imported channel's field as it is)
  int imported = -1;      // the imported channel (0, 1, ...) whose g this is, -1 for a field of the record
};

// The parameter's value in the record, and the record with another value.
// An imported channel the record does not have reads as 0 and takes nothing.
double FitValue(const NeuronProperties& np, const FitParameter& p);
void SetFitValue(NeuronProperties& np, const FitParameter& p, double value);
// The key a parameter file sets the parameter by: "NP0.gNa", "gNeuroML[1]".
std::string FitParameterKey(const FitParameter& p);

// The 37 defined slots in slot order.
std::span<const FitParameter> FitParameters();

struct FitSlot {
  std::int32_t FitSelected = 0;  // 1 = the parameter takes part
  double FitLower = 0.0;
  double FitUpper = 0.0;
  std::int32_t FitPos = 0;  // 1-based position in the fit vector, 0 when not selected
  std::string FitName;      // empty for the slots the table does not define
};

// The table with the fit vector and the state of the minimisation the windows
// show. Vectors indexed by a fit position run from 1; entry 0 is not used.
struct FitTable {
  FitTable();  // built as at program start (InitFitTable)

  std::array<FitSlot, kFitSlotCount> FitSlots;
  std::array<std::int32_t, kDefinedFitSlots + 1> FitOrder{};  // FitOrder[k]: slot number + 1 of position k
  std::int32_t FitCount = 0;
  std::array<double, kDefinedFitSlots + 1> FitX{};  // the point evaluated last

  // Check marks of Parameters -> Simplex, by slot.
  std::array<bool, kDefinedFitSlots> MenuChecked{};

  // The "Tolerance=" input of the reverse-problem window, read at every pass of
  // the minimisation; 0 or less means 1e-4 and is replaced by it when a fit starts.
  double Tolerance = 0.0;

  FitMethod Method = FitMethod::Simplex;
  std::int32_t Starts = kDefaultFitStarts;  // starting points of the multistart
  // Points the global search scores before its polish, or that each start of
  // the multistart may score; 0 = the method's own measure.
  std::int32_t MaxEvaluations = 0;

  std::int32_t nfunk = 0;        // evaluations of the minimisation's passes
  std::int32_t SimplexStop = 0;  // 1 = the minimisation ends
};

// Fills the defined slots (names, bounds 0 or -100 ... 1e8), clears the rest,
// and sets the default check marks of the resurgent-Na fit: "gNaR", its rate
// coefficients but "b2NaR" and "c2NaR", and "VNaR".
void InitFitTable(FitTable& table);

// The slot of a parameter named by its menu item ("gNa[1]", "tau") or by its
// field ("gNa", "tau_m"); -1 for a name the table does not know.
int FindFitSlot(std::string_view name);

// An imported channel's conductance named by the channel's id,
// "gNeuroML[k_squid]", as its slot's name "gNeuroML[2]" for the record's
// channels; any other name as it is.
std::string FitNameOfChannel(const NeuronProperties& np, const std::string& name);

// Throws Error when a selected slot is an imported channel's conductance the
// record does not have.
void CheckImportedFitSlots(const FitTable& table, const NeuronProperties& np);

// Ticks exactly the named parameters and clears every other mark. A name the
// table does not know is an Error that names the known ones; the marks are
// then left as they were.
void SelectFitParameters(FitTable& table, std::span<const std::string> names);

// "Clear all marks": clears every mark but "VL[1]".
void ClearFitMarks(FitTable& table);

// "Fit K-current": ticks gK and the K rate coefficients but "b2K", clears the
// other items; "VL[1]" keeps its mark.
void MarkKCurrentFit(FitTable& table);

// FitSelected from the check marks, FitCount, and the positions: the selected
// slots are numbered 1, 2, ... in slot order (FitPos), FitOrder lists them.
void CollectFitSelection(FitTable& table);

// FitX from the record's selected fields, each clamped into its bounds.
void FitFromRecord(FitTable& table, const NeuronProperties& np);

// The record's selected fields from FitX.
void FitToRecord(const FitTable& table, NeuronProperties& np);

// The selected parameter at fit position k (1 ... FitCount).
const FitParameter& FitParameterAt(const FitTable& table, int k);

}  // namespace membrix
