#pragma once
// A table of traces on the model time grid: one column per recording number
// 0..20, row = step number. A column holds the rows it was given (as many as
// the run or the recording needs) and reads as 0 beyond them, so a column
// without a recording costs nothing.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace membrix {

class TraceTable {
 public:
  static constexpr int kLastColumn = 20;

  // Rows 0 ... Rows(column) - 1 are held.
  std::int64_t Rows(int column) const {
    return Valid(column) ? static_cast<std::int64_t>(columns_[static_cast<std::size_t>(column)].size()) : 0;
  }
  bool Holds(std::int64_t row, int column) const { return row >= 0 && row < Rows(column); }

  // Makes the column hold exactly rows 0 ... lastRow (none for lastRow < 0);
  // rows it held keep their values, new rows are 0.
  void Resize(int column, std::int64_t lastRow) {
    if (column < 0 || column > kLastColumn) return;
    if (columns_.empty()) columns_.resize(kLastColumn + 1);
    std::vector<double>& c = columns_[static_cast<std::size_t>(column)];
    if (lastRow < 0) {
      std::vector<double>().swap(c);
    } else {
      c.resize(static_cast<std::size_t>(lastRow) + 1, 0.0);
      if (c.capacity() > 2 * c.size() + 1024) c.shrink_to_fit();
    }
  }

  // The row to write; a row past the held ones is added, with those before it
  // (as 0), so that writing in row order grows the column as it goes.
  double& operator()(std::int64_t row, int column) {
    if (!Holds(row, column)) Grow(row, column);
    return columns_[static_cast<std::size_t>(column)][static_cast<std::size_t>(row)];
  }
  // The row's value, 0 beyond the held rows.
  double operator()(std::int64_t row, int column) const { return At(row, column); }
  double At(std::int64_t row, int column) const {
    return Holds(row, column) ? columns_[static_cast<std::size_t>(column)][static_cast<std::size_t>(row)] : 0.0;
  }

  // A table whose values were moved away holds none.
  bool Empty() const { return columns_.empty(); }
  // Bytes of the rows held.
  std::size_t Bytes() const {
    std::size_t n = 0;
    for (const std::vector<double>& c : columns_) n += c.capacity() * sizeof(double);
    return n;
  }

 private:
  void Grow(std::int64_t row, int column) {
    if (columns_.empty()) columns_.resize(kLastColumn + 1);
    columns_.at(static_cast<std::size_t>(column)).resize(static_cast<std::size_t>(row) + 1, 0.0);
  }
  bool Valid(int column) const { return column >= 0 && static_cast<std::size_t>(column) < columns_.size(); }
  std::vector<std::vector<double>> columns_;
};

}  // namespace membrix
