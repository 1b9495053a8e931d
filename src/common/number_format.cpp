#include "common/number_format.h"

#include <algorithm>
#include <cstdio>

namespace membrix {

namespace {

// Negative zero is written as 0: a column should not show "-0.000" for a value
// that rounds to nothing.
double Unsigned0(double x) { return x == 0.0 ? 0.0 : x; }

}  // namespace

void AppendFixed(std::string& line, double x, int width, int decimals) {
  char buf[400];
  const int n = std::snprintf(buf, sizeof buf, "%*.*f", width, std::max(0, decimals), Unsigned0(x));
  if (n > 0 && n < static_cast<int>(sizeof buf)) {
    // A value that rounds to zero from below prints as "-0.000"; write it as 0.
    std::string text(buf, static_cast<std::size_t>(n));
    const auto minus = text.find('-');
    if (minus != std::string::npos && text.find_first_of("123456789") == std::string::npos) {
      text[minus] = ' ';
    }
    line += text;
  } else {
    line += std::to_string(x);  // only a value beyond any field of this program gets here
  }
}

void AppendScientific(std::string& line, double x, int width) {
  char buf[64];
  const int decimals = std::max(1, width - 8);
  const int n = std::snprintf(buf, sizeof buf, "%*.*E", width, decimals, Unsigned0(x));
  if (n > 0 && n < static_cast<int>(sizeof buf)) line.append(buf, static_cast<std::size_t>(n));
}

std::string Fixed(double x, int width, int decimals) {
  std::string s;
  AppendFixed(s, x, width, decimals);
  return s;
}

std::string Scientific(double x, int width) {
  std::string s;
  AppendScientific(s, x, width);
  return s;
}

}  // namespace membrix
