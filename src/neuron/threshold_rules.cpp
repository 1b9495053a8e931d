#include "neuron/threshold_rules.h"

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "common/error.h"
#include "neuron/numerics.h"

namespace membrix {

namespace {

#include "neuron/builtin_threshold_tables.inc"

// Kept rows of a table: the rate of rise A and the threshold B, 1-based.
struct KeptRows {
  std::vector<double> A{0.0};
  std::vector<double> B{0.0};
  double tMin = 1e6;  // ms
};

constexpr int kMaxKeptRows = 2000;

const ThresholdGrid& LyleGrid() {
  static const ThresholdGrid grid = ResampleThresholdRows(kLyleThresholdRows);
  return grid;
}

const ThresholdGrid& ChowGrid() {
  static const ThresholdGrid grid = ResampleThresholdRows(kChowThresholdRows);
  return grid;
}

}  // namespace

RowNumbers ReadRowNumbers(std::string_view row, std::span<double> out) {
  RowNumbers result;
  std::size_t pos = 0;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (result.count < static_cast<int>(out.size())) {
    while (pos < row.size() && blank(row[pos])) ++pos;
    if (pos == row.size()) break;
    std::size_t end = pos;
    while (end < row.size() && !blank(row[end])) ++end;
    std::string_view word = row.substr(pos, end - pos);
    std::string_view digits = word.front() == '+' ? word.substr(1) : word;
    double x = 0.0;
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), x);
    if (ec != std::errc() || ptr != digits.data() + digits.size() || !std::isfinite(x)) {
      result.stop = word;
      break;
    }
    out[static_cast<std::size_t>(result.count++)] = x;
    pos = end;
  }
  return result;
}

std::span<const char* const> BuiltInThresholdRows(std::string_view HH_type) {
  if (HH_type == "Lyle") return kLyleThresholdRows;
  if (HH_type == "Chow") return kChowThresholdRows;
  return {};
}

const ThresholdGrid* BuiltInThresholdGrid(std::string_view HH_type) {
  if (HH_type == "Lyle") return &LyleGrid();
  if (HH_type == "Chow") return &ChowGrid();
  return nullptr;
}

ThresholdGrid ResampleThresholdRows(std::span<const char* const> rows) {
  KeptRows kept;
  std::array<double, 6> column{};
  int line = 0;
  for (const char* row : rows) {
    ++line;
    const RowNumbers read = ReadRowNumbers(row, column);
    if (read.count < 6) {
      throw Error("threshold table, row " + std::to_string(line) + ": expected six numbers, found " +
                  std::to_string(read.count));
    }
    if (column[1] <= 0.0) continue;  // no interval was measured at this stimulus
    kept.A.push_back(column[3]);
    kept.B.push_back(column[0]);
    kept.tMin = MinD(kept.tMin, column[1]);
    if (static_cast<int>(kept.A.size()) - 1 == kMaxKeptRows) break;
  }
  const int n = static_cast<int>(kept.A.size()) - 1;
  // The row with the largest rate of rise, the last of equals, ends the range.
  int K = 0;
  double largest = 0.0;
  for (int k = 1; k <= n; ++k) {
    if (kept.A[k] >= largest) {
      largest = kept.A[k];
      K = k;
    }
  }
  if (K < 2 || largest <= 0.0) {
    throw Error("threshold table: needs at least two measured rows up to the largest rate of rise");
  }

  ThresholdGrid grid;
  constexpr int N = ThresholdGrid::kIntervals;
  grid.tMin = kept.tMin / 1000.0;
  grid.step = kept.A[K] / (N * N);
  const std::vector<double>& A = kept.A;
  const std::vector<double>& B = kept.B;
  for (int j = 0; j <= N; ++j) {
    const double x = j * j * grid.step;
    int k = 2;
    while (k < K && !(A[k] > x)) ++k;
    double o = 0.0;
    if (!(A[k] - A[k - 1] <= 1e-8 || B[k - 1] == 0.0 || k >= K || A[k - 1] >= x)) {
      o = (x - A[k - 1]) / (A[k] - A[k - 1]);
    }
    grid.T[j] = (1.0 - o) * B[k - 1] + o * B[k];
  }
  return grid;
}

double Logistic(double z) { return 1.0 / (1.0 + SafeExp(-z)); }

double TableThreshold(std::string_view HH_type, double s, double r) {
  const ThresholdGrid* grid = BuiltInThresholdGrid(HH_type);
  if (grid == nullptr) return 0.01;
  constexpr int N = ThresholdGrid::kIntervals;
  double e = std::sqrt(MaxD(r, 0.0) / grid->step);
  if (!(AbsValue(e) <= 64000.0)) e = N;  // also a rate that is not a number
  const int f = static_cast<int>(e);
  double v = 0.0;
  if (f <= 0) {
    v = grid->T[0];
  } else if (f >= N) {
    v = grid->T[N];
  } else {
    const double o = (r - f * f * grid->step) / (grid->step * ((f + 1) * (f + 1) - f * f));
    v = (1.0 - o) * grid->T[f] + o * grid->T[f + 1];
  }
  if (s < grid->tMin) v = 50.0;
  return v / 1000.0;
}

double DefaultThreshold(const NeuronProperties& np, double s, double r) {
  if (r < 1e-6) return 0.1;  // the voltage is not rising
  if (np.FixThr > 0.0) return s > 0.0 ? np.FixThr + np.dThr_dts / s + np.ThrShift : 0.1;
  return TableThreshold(np.HH_type, s, MaxD(r, 1e-5)) + np.ThrShift;
}

double RefractoryThreshold(const NeuronProperties& np, double s, double x) {
  double y = 100.0;  // mV
  if (s > np.dT_AP) {
    if (np.HH_type == "Lyle") {
      y = 50.0 * SafeExp(-s / 0.01) + 10.0;
    } else if (np.HH_type == "Chow") {
      y = 20.0 * SafeExp(-s / 0.01) + 5.0;
    } else if (np.HH_type == "Passive") {
      y = 0.0;
    } else {
      y = MinD(0.05 / (s - np.dT_AP), 100.0);
    }
  }
  return y / 1000.0 + x + np.ThrShift;
}

double ConductanceThreshold(const NeuronProperties& np, const NeuronVariables& nv, double sIn, double s) {
  const double G = nv.gSum + nv.gSumDend + np.gL + sIn;
  // Rises by up to 0.1 V, half-way when the conductance reaches the block level.
  const double x = 0.1 * Logistic((G / np.DepBlock - 1.0) / 0.2);
  if (np.FixThr <= 0.0) return RefractoryThreshold(np, s, x);
  return s <= 0.005 ? 0.1 : np.FixThr + x;
}

}  // namespace membrix
