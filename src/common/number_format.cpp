#include "common/number_format.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <cstdio>

namespace membrix {

namespace {

// Negative zero is written as 0: a column should not show "-0.000" for a value
// that rounds to nothing.
double Unsigned0(double x) { return x == 0.0 ? 0.0 : x; }

}  // namespace

void AppendFixed(std::string& line, double x, int width, int decimals) {
  // to_chars gives the same correctly rounded digits as printf's %.*f, without
  // its format parsing.
  char buf[400];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, Unsigned0(x), std::chars_format::fixed,
                                       std::max(0, decimals));
  if (ec != std::errc()) {
    line += std::to_string(x);  // only a value beyond any field of this program gets here
    return;
  }
  std::string_view text(buf, static_cast<std::size_t>(end - buf));
  // A value that rounds to zero from below prints as "-0.000"; write it as 0.
  const bool negativeZero = text.front() == '-' && text.find_first_of("123456789") == std::string_view::npos;
  if (negativeZero) text.remove_prefix(1);
  const int pad = width - static_cast<int>(text.size());
  if (pad > 0) line.append(static_cast<std::size_t>(pad), ' ');
  line += text;
}

void AppendScientific(std::string& line, double x, int width) {
  char buf[64];
  const int decimals = std::max(1, width - 8);
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, Unsigned0(x), std::chars_format::scientific, decimals);
  if (ec != std::errc()) return;
  for (char* c = buf; c != end; ++c) {
    if (*c == 'e') *c = 'E';  // written as printf's %E writes it
  }
  const int pad = width - static_cast<int>(end - buf);
  if (pad > 0) line.append(static_cast<std::size_t>(pad), ' ');
  line.append(buf, static_cast<std::size_t>(end - buf));
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
