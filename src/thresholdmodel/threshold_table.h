#pragma once
// The threshold table of the procedural threshold model: the spike threshold
// against the rate of rise dV/dt, read from a data file in the working folder
// at the start of every run and kept until the next file is read.

#include <array>
#include <string>
#include <string_view>

namespace membrix {

struct Session;

struct ThresholdModelGlobals {
  static constexpr int kGridIntervals = 200;
  // Entry k holds the threshold (mV) at dV/dt = k²·ThresholdScale: a quadratic
  // grid, dense where the rate of rise is small. Zero until a file was read.
  std::array<double, kGridIntervals + 1> ThresholdTable{};
  double ThresholdScale = 0.0;  // V/s

  // The "Fix Threshold, mV:" input of the Gaussian-ensemble window: when ticked,
  // the threshold rule returns this value (plus the shift) whatever the rate of rise.
  bool FixThresholdTicked = false;
  double FixThresholdMv = 14.0;
};

// "set_VTh(dVdt)_Chow.dat" for "Chow", "set_VTh(dVdt)_Lyle.dat" for every other family.
std::string ThresholdTableFileName(std::string_view HH_type);

// Reads the table file of NP0.HH_type from the working folder into the
// session's table; a missing file changes nothing.
void LoadThresholdTable(Session& s);

// Reads the table file at path into g; a missing file changes nothing. The
// first six numbers of each line are read: rows with column 2 <= 0 are
// dropped; of the rows kept (at most 2000), column 6 is the rate of rise and
// column 5 the threshold, and the row with the largest column 4 ends the range.
// Throws FormatError naming the file and line for a line without six numbers
// or a file whose rows do not make a table (fewer than two rows up to the range
// row, or a range row whose rate of rise is not positive), IoError for a file
// that exists but cannot be read. On an error g is left as it was.
void LoadThresholdTableFrom(const std::string& path, ThresholdModelGlobals& g);

// The threshold (V) at the rate of rise x (V/s), interpolated on the grid;
// below the grid the first entry, beyond it the last. Without a table the
// threshold model's power law.
double ThresholdLookup(const ThresholdModelGlobals& g, double x);

// The power law of the threshold model: 7.52 mV + 7.137·(dV/dt)^0.457625 mV
// with dV/dt in V/s (not below 1e-5 V/s); in volts.
double ThresholdPowerLaw(double dVdt);

}  // namespace membrix
