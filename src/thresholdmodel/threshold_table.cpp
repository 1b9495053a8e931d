#include "thresholdmodel/threshold_table.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "common/error.h"
#include "neuron/numerics.h"
#include "neuron/threshold_rules.h"
#include "run/session.h"

namespace membrix {

namespace {

constexpr int kMaxAcceptedRows = 2000;

struct AcceptedRow {
  double X;  // rate of rise, V/s
  double Y;  // threshold, mV
  int line;
};

}  // namespace

std::string ThresholdTableFileName(std::string_view HH_type) {
  return HH_type == "Chow" ? "set_VTh(dVdt)_Chow.dat" : "set_VTh(dVdt)_Lyle.dat";
}

void LoadThresholdTable(Session& s) {
  LoadThresholdTableFrom(ThresholdTableFileName(s.NP0.HH_type), s.thresholdModel);
}

void LoadThresholdTableFrom(const std::string& path, ThresholdModelGlobals& g) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return;
  std::ifstream in(path);
  if (!in) throw IoError(path, std::strerror(errno));

  // Rows numbered from 1 as they are accepted; r is the range row.
  std::vector<AcceptedRow> rows{{0.0, 0.0, 0}};
  int r = 0;
  double largest = 0.0;  // only a column 4 >= 0 can end the range
  std::string text;
  std::array<double, 6> column{};
  int line = 0;
  while (static_cast<int>(rows.size()) - 1 < kMaxAcceptedRows && std::getline(in, text)) {
    ++line;
    const RowNumbers read = ReadRowNumbers(text, column);
    if (read.count == 0 && read.stop.empty()) continue;  // a blank line
    if (read.count < 6) {
      std::string what = "expected six numbers separated by blanks, found " + std::to_string(read.count);
      if (!read.stop.empty()) what += " before \"" + std::string(read.stop) + "\"";
      throw FormatError(path, line, what);
    }
    if (column[1] <= 0.0) continue;  // no measurement in this row
    rows.push_back({column[5], column[4], line});
    if (column[3] >= largest) {
      largest = column[3];
      r = static_cast<int>(rows.size()) - 1;
    }
  }
  if (in.bad()) throw IoError(path, std::strerror(errno));
  if (r < 2) {
    throw FormatError(path, r == 1 ? rows[1].line : 0,
                      "a threshold table needs at least two rows with a positive column 2 up to the row "
                      "with the largest column 4");
  }
  if (!(rows[r].X > 0.0)) {
    throw FormatError(path, rows[r].line,
                      "the rate of rise (column 6) of the row with the largest column 4 must be positive");
  }

  constexpr int N = ThresholdModelGlobals::kGridIntervals;
  ThresholdModelGlobals built = g;
  built.ThresholdScale = rows[r].X / (N * N);
  for (int k = 0; k <= N; ++k) {
    const double x = k * k * built.ThresholdScale;
    int j = 2;
    while (j < r && rows[j].X <= x) ++j;
    const AcceptedRow& lo = rows[j - 1];
    const AcceptedRow& hi = rows[j];
    double w = 1.0;
    if (!(hi.X - lo.X <= 1e-8 || lo.Y == 0.0 || j >= r)) w = (x - lo.X) / (hi.X - lo.X);
    built.ThresholdTable[k] = (1.0 - w) * lo.Y + w * hi.Y;
  }
  g = built;
}

double ThresholdPowerLaw(double dVdt) {
  return (std::exp(0.457625 * std::log(MaxD(dVdt, 1e-5)) + 1.96531) + 7.52) / 1000.0;
}

double ThresholdLookup(const ThresholdModelGlobals& g, double x) {
  const double scale = g.ThresholdScale;
  if (!(scale > 0.0)) return ThresholdPowerLaw(x);  // no table was ever read
  constexpr int N = ThresholdModelGlobals::kGridIntervals;
  const double e = std::sqrt(MaxD(x, 0.0) / scale);
  const int b = e < N ? static_cast<int>(e) : N;  // also a rate that is not a number
  double T = 0.0;
  if (b <= 0) {
    T = g.ThresholdTable[0];
  } else if (b >= N) {
    T = g.ThresholdTable[N];
  } else {
    const double w = (x - b * b * scale) / (((b + 1) * (b + 1) - b * b) * scale);
    T = (1.0 - w) * g.ThresholdTable[b] + w * g.ThresholdTable[b + 1];
  }
  return T / 1000.0;
}

}  // namespace membrix
