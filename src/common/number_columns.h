#pragma once
// Reading the numbers of a line of a column file: numbers are separated by
// blanks, tabs or commas, and written with a decimal point.

#include <string_view>

namespace membrix {

// Whether a line uses a decimal comma ("0,050\t-3,91"). A comma between two
// digits is one when the line writes no decimal point, or when some of its
// numbers are separated by blanks alone: a line whose commas separate its
// numbers ("0.100,3.27579E-04", "0.1, 3.2") uses them for nothing else. Read
// as a separator, a decimal comma would split a number in two.
inline bool HasDecimalComma(std::string_view line) {
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  bool commaInNumber = false;
  for (std::size_t i = 1; i + 1 < line.size(); ++i) {
    if (line[i] == ',' && digit(line[i - 1]) && digit(line[i + 1])) commaInNumber = true;
  }
  if (!commaInNumber) return false;
  if (line.find('.') == std::string_view::npos) return true;
  // A run of separators between two numbers that holds no comma.
  std::size_t i = 0;
  while (i < line.size() && (blank(line[i]) || line[i] == ',')) ++i;
  while (i < line.size()) {
    while (i < line.size() && !blank(line[i]) && line[i] != ',') ++i;
    const std::size_t from = i;
    bool comma = false;
    for (; i < line.size() && (blank(line[i]) || line[i] == ','); ++i) {
      if (line[i] == ',') comma = true;
    }
    if (i > from && i < line.size() && !comma) return true;
  }
  return false;
}

}  // namespace membrix
