#pragma once
// The explicit spike thresholds of the threshold neuron and the integrate-and-fire
// neuron, and the two built-in threshold tables behind the default rule. Every
// rule returns a threshold above Vrest in volts; s is the time since the last
// spike in seconds.

#include <array>
#include <span>
#include <string_view>

#include "neuron/neuron_variables.h"
#include "params/neuron_properties.h"

namespace membrix {

// A threshold table resampled onto a quadratic grid of rates of rise: T[j]
// (mV above rest) belongs to dV/dt = j²·step (V/s), so the grid is dense where
// the rate is small. Intervals shorter than tMin (s) were never measured.
struct ThresholdGrid {
  static constexpr int kIntervals = 200;
  std::array<double, kIntervals + 1> T{};
  double step = 0.0;
  double tMin = 0.0;
};

// The rows of the built-in table of a model family ("Lyle" or "Chow"), as text:
// blank-separated numbers, threshold above rest (mV), interval of the
// measurement (ms; <= 0 where there is none), stimulus, rate of rise (V/s), and
// further measures. Empty for any other family.
std::span<const char* const> BuiltInThresholdRows(std::string_view HH_type);

// The resampled built-in table of "Lyle" or "Chow", derived once on first use
// and shared by every neuron of the program; nullptr for any other family.
const ThresholdGrid* BuiltInThresholdGrid(std::string_view HH_type);

// The numbers at the start of a text row, separated by blanks: how many were
// read into out, and the word that ended the reading early (empty when the row
// ended or out was filled).
struct RowNumbers {
  int count = 0;
  std::string_view stop;
};
RowNumbers ReadRowNumbers(std::string_view row, std::span<double> out);

// Resamples table rows onto the grid: rows with an interval <= 0 are dropped,
// the row with the largest rate of rise (the last of equals) ends the range, and
// the thresholds are interpolated linearly in the rate between the kept rows.
// Throws membrix::Error when fewer than two rows are kept before the range ends
// or a row holds fewer than six numbers.
ThresholdGrid ResampleThresholdRows(std::span<const char* const> rows);

// Default rule: 0.1 V while the voltage does not rise (r < 1e-6 V/s); with
// FixThr > 0 the fixed threshold plus a refractory term dThr_dts/s; otherwise
// the built-in table of the family at the rate of rise r.
double DefaultThreshold(const NeuronProperties& np, double s, double r);

// The built-in table of "Lyle" or "Chow" at the rate of rise r (V/s): 50 mV for
// intervals shorter than any measured; 10 mV for a family without a table.
double TableThreshold(std::string_view HH_type, double s, double r);

// A refractory threshold that decays after the spike duration dT_AP, plus x.
double RefractoryThreshold(const NeuronProperties& np, double s, double x);

// A threshold that rises by up to 0.1 V as the total membrane conductance
// (channels, leak and the input conductance sIn) approaches DepBlock.
double ConductanceThreshold(const NeuronProperties& np, const NeuronVariables& nv, double sIn, double s);

// 1/(1 + exp(-z)), with the exponential bounded.
double Logistic(double z);

}  // namespace membrix
