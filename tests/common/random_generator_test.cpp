#include "common/random_generator.h"

#include <gtest/gtest.h>

namespace membrix {
namespace {

TEST(RandomGenerator, StartsAtZeroAndRepeats) {
  RandomGenerator r;
  // x <- 134775813 x + 1 mod 2^32 from x = 0: 1, 134775814, 3698175007, 870078620.
  EXPECT_DOUBLE_EQ(r.Uniform(), 1.0 / 4294967296.0);
  EXPECT_DOUBLE_EQ(r.Uniform(), 134775814.0 / 4294967296.0);
  EXPECT_DOUBLE_EQ(r.Uniform(), 3698175007.0 / 4294967296.0);
  EXPECT_DOUBLE_EQ(r.Uniform(), 870078620.0 / 4294967296.0);

  RandomGenerator a, b;
  for (int i = 0; i < 100; ++i) EXPECT_EQ(a.Normal(0, 1), b.Normal(0, 1));
}

TEST(RandomGenerator, NormalDeviatesHaveTheirMoments) {
  RandomGenerator r;
  const int n = 200000;
  double sum = 0, sum2 = 0;
  for (int i = 0; i < n; ++i) {
    const double x = r.Normal(2.0, 0.5);
    sum += x;
    sum2 += x * x;
  }
  const double mean = sum / n;
  EXPECT_NEAR(mean, 2.0, 0.01);
  EXPECT_NEAR(sum2 / n - mean * mean, 0.25, 0.01);
}

}  // namespace
}  // namespace membrix
