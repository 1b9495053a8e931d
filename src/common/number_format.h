#pragma once
// The one place where column files get their numbers. Two forms exist:
//
//   Fixed(x, width, decimals)  right-aligned fixed point, e.g. Fixed(-65.2, 9, 3) = "  -65.200"
//   Scientific(x, width)       right-aligned d.ddddE+XX with as many decimals as the
//                              width allows after room for a sign and a separating
//                              blank: width - 8 decimals (at least 1), e.g.
//                              Scientific(0.0123456, 13) = "  1.23456E-02"
//
// A number wider than its field is written whole (the field grows); nothing is cut.

#include <string>

namespace membrix {

std::string Fixed(double x, int width, int decimals);
std::string Scientific(double x, int width);

// Appends to an existing line, for writers that build a line from columns.
void AppendFixed(std::string& line, double x, int width, int decimals);
void AppendScientific(std::string& line, double x, int width);

}  // namespace membrix
