#include "common/number_format.h"

#include <gtest/gtest.h>

namespace membrix {
namespace {

TEST(NumberFormat, FixedAndScientificColumns) {
  const struct {
    std::string got, expected;
  } cases[] = {
      {Fixed(-65.2, 9, 3), "  -65.200"},
      {Fixed(-0.0652, 9, 3), "   -0.065"},  // three decimals whatever the unit
      {Fixed(-0.0001, 9, 3), "    0.000"},  // no negative zero
      {Fixed(12.5, 10, 5), "  12.50000"},
      {Fixed(123456789.0, 5, 1), "123456789.0"},  // wider than its field: written whole
      {Scientific(0.0123456, 13), "  1.23456E-02"},
      {Scientific(-0.0123456, 13), " -1.23456E-02"},
      {Scientific(0.0, 11), "  0.000E+00"},
      {Scientific(-65.0, 12), " -6.5000E+01"},
      {Scientific(1e-300, 12), " 1.0000E-300"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected);
}

}  // namespace
}  // namespace membrix
