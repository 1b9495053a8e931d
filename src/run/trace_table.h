#pragma once
// A table of traces on the model time grid: rows 0..25000 (row = step number),
// one column per recording number 0..20. Allocated once with its session.

#include <cstddef>
#include <vector>

namespace membrix {

class TraceTable {
 public:
  static constexpr int kLastRow = 25000;
  static constexpr int kLastColumn = 20;

  TraceTable() : values_((kLastRow + 1) * (kLastColumn + 1), 0.0) {}

  double& operator()(int row, int column) { return values_[Index(row, column)]; }
  double operator()(int row, int column) const { return values_[Index(row, column)]; }

  // A table whose values were moved away holds none.
  bool Empty() const { return values_.empty(); }

 private:
  static std::size_t Index(int row, int column) {
    return static_cast<std::size_t>(column) * (kLastRow + 1) + static_cast<std::size_t>(row);
  }
  std::vector<double> values_;
};

}  // namespace membrix
