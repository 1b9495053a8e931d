#include "neuron/numerics.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>

namespace membrix {
namespace {

TEST(Numerics, BoundedExponentialAndRelaxation) {
  const struct {
    double x, expected;
  } exps[] = {{20.0, std::exp(20.0)}, {20.0001, std::exp(20.0)}, {-20.0001, 0.0},
              {-20.0, std::exp(-20.0)}, {0.5, std::exp(0.5)}};
  for (auto c : exps) EXPECT_DOUBLE_EQ(SafeExp(c.x), c.expected) << "SafeExp(" << c.x << ")";

  // tau in ms, dt in s; a non-positive tau or a step far longer than tau gives 1.
  EXPECT_DOUBLE_EQ(Relax(5e-5, 0.0), 1.0);
  EXPECT_DOUBLE_EQ(Relax(5e-5, -5.0), 1.0);
  EXPECT_DOUBLE_EQ(Relax(5e-5, 0.0024), 1.0);  // 1000*dt/tau = 20.8 > 20
  EXPECT_DOUBLE_EQ(Relax(5e-5, 1.0), 1.0 - std::exp(-0.05));
}

TEST(Numerics, SmallHelpers) {
  EXPECT_DOUBLE_EQ(IntPower(0, 3.0), 1.0);
  EXPECT_DOUBLE_EQ(IntPower(-2, 2.0), 0.25);
  EXPECT_DOUBLE_EQ(IntPower(4, 3.0), 81.0);
  EXPECT_DOUBLE_EQ(IntPower(5, 2.0), 32.0);
  const struct {
    double x;
    int expected;
  } truncs[] = {{0.99, 0}, {-3.7, -3}, {3.7, 3}, {-0.5, 0}, {2e8, 100000000}, {-2e8, -100000000}};
  for (auto c : truncs) EXPECT_EQ(TruncClamp(c.x), c.expected) << "TruncClamp(" << c.x << ")";
  EXPECT_EQ(Sign(0.0), 1);
  EXPECT_EQ(Sign(-1e-300), -1);
  EXPECT_DOUBLE_EQ(InvAbove(0.5, 1.0), 0.0);
  EXPECT_DOUBLE_EQ(InvAbove(2.0, 1.0), 0.5);
  EXPECT_DOUBLE_EQ(GaussDensity(0.0, 1.0), 0.0);
  EXPECT_DOUBLE_EQ(GaussDensity(2.0, 0.0), 1.0 / (std::sqrt(std::numbers::pi) * 2.0));
  // Half the NMDA conductance is free of Mg at 0 V when Mg = 3.57 mM.
  EXPECT_DOUBLE_EQ(MgBlock(3.57, 0.0), 0.5);
  EXPECT_DOUBLE_EQ(Power(2.3, 1.3), std::exp(1.3 * std::log(2.3)));
}

TEST(Numerics, Solve2MarksASingularSystem) {
  const Solution2 singular = Solve2(1, 2, 2, 4, 1, 1);
  EXPECT_EQ(singular.x1, -13.0);
  EXPECT_EQ(singular.x2, -13.0);
  const Solution2 s = Solve2(2, 1, 1, 3, 5, 10);  // x1 = 1, x2 = 3
  EXPECT_NEAR(s.x1, 1.0, 1e-12);
  EXPECT_NEAR(s.x2, 3.0, 1e-12);
  // A vanishing a11 borrows the second row.
  const Solution2 z = Solve2(0, 1, 1, 1, 2, 3);  // x2 = 2, x1 = 1
  EXPECT_NEAR(z.x1, 1.0, 1e-12);
  EXPECT_NEAR(z.x2, 2.0, 1e-12);
}

TEST(Numerics, SolveLinearSwapsAZeroPivotAndLeavesItsInputs) {
  LinearMatrix A{};
  LinearVector b{};
  // Row 1 starts with 0: the first elimination must swap rows 1 and 2.
  A[1] = {0, 0, 2, 1};
  A[2] = {0, 1, 1, 1};
  A[3] = {0, 2, 1, 3};
  const double x[] = {0, 1, -2, 3};  // the solution sought
  for (int i = 1; i <= 3; ++i) {
    b[i] = 0;
    for (int j = 1; j <= 3; ++j) b[i] += A[i][j] * x[j];
  }
  const LinearMatrix Acopy = A;
  const LinearVector bcopy = b;
  LinearVector out{};
  SolveLinear(3, A, b, out);
  for (int i = 1; i <= 3; ++i) EXPECT_NEAR(out[i], x[i], 1e-12) << "x[" << i << "]";
  EXPECT_EQ(A, Acopy);
  EXPECT_EQ(b, bcopy);
}

TEST(Numerics, SynapticFilterPeaksAtItsInput) {
  // A unit impulse of area 1/h through the filter peaks at 1 (normalised).
  const double h = 1e-5;
  const double a = 200.0, b = 50.0;
  double p = 0, q = 0, peak = 0;
  SynFilter2(0, p, q, 1.0 / h, h, a, b);
  for (int i = 0; i < 20000; ++i) {
    SynFilter2(0, p, q, 0.0, h, a, b);
    peak = std::max(peak, p);
  }
  EXPECT_NEAR(peak, 1.0, 5e-3);
  // A step too long for the filter makes the output follow its input.
  SynFilter2(0, p, q, 3.0, 1.0, a, b);
  EXPECT_DOUBLE_EQ(p, 3.0 / DiffExpPeak(b, a));
  EXPECT_DOUBLE_EQ(DiffExpPeak(2.0, 2.0), 2.0 * std::exp(-1.0));
}

}  // namespace
}  // namespace membrix

namespace membrix {
namespace {

// The exponential of the kinetics is the C library's in every bit: over the
// range the kinetics use, over every magnitude a double can take, and at the
// ends where the library handles the argument itself.
TEST(Exp, EqualsTheLibraryInEveryBit) {
  const auto check = [](double x) {
    ASSERT_EQ(std::bit_cast<std::uint64_t>(Exp(x)), std::bit_cast<std::uint64_t>(std::exp(x))) << std::hexfloat << x;
  };
  std::mt19937_64 random(29);
  std::uniform_real_distribution<double> bounded(-20.0, 20.0);
  for (int i = 0; i < 2'000'000; ++i) check(bounded(random));
  // Arbitrary bit patterns: every exponent, both signs, NaN and infinities.
  for (int i = 0; i < 1'000'000; ++i) check(std::bit_cast<double>(random()));
  const double edges[] = {0.0, -0.0, 0x1p-54, -0x1p-54, 0x1.fffffffffffffp-55, 0x1p-1074, 0x1p-1022, 511.999,
                          512.0, -512.0, 709.782712893384, 709.79, -708.4, -745.13, -746.0,
                          std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN(), 1.0, -1.0, 0.5 * std::numbers::ln2 / 128.0};
  for (double x : edges) check(x);
  EXPECT_EQ(SafeExp(-20.5), 0.0);
  EXPECT_EQ(SafeExp(20.5), 485165195.4097903);
}

}  // namespace
}  // namespace membrix
