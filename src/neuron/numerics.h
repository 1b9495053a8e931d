#pragma once
// Small pure functions on doubles shared by every model: the bounded exponential
// through which all kinetics go, the gate relaxation factor, powers, the NMDA
// magnesium block, linear solvers for kinetic schemes and a normalised
// second-order synaptic filter. None of them keeps state.

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "neuron/fast_exp.h"

namespace membrix {

inline double AbsValue(double x) { return x >= 0 ? x : -x; }
inline int Sign(double x) { return x >= 0 ? 1 : -1; }
inline double MaxD(double a, double b) { return a > b ? a : b; }
inline double MinD(double a, double b) { return a < b ? a : b; }
inline int MaxI(int a, int b) { return a > b ? a : b; }
inline int MinI(int a, int b) { return a < b ? a : b; }
inline int BoolToInt(bool flag) { return flag ? 1 : 0; }
inline double InvAbove(double x, double eps) { return x >= eps ? 1.0 / x : 0.0; }
inline double Ratio1(double x) { return x / (x + 1.0); }

// Truncation toward zero that treats |x| < 1 as 0 and saturates at +-1e8.
inline int TruncClamp(double x) {
  if (AbsValue(x) < 1.0) return 0;
  if (x > 1e8) return 100000000;
  if (x < -1e8) return -100000000;
  return static_cast<int>(x);
}

// exp(x) with the exponent bounded to [-20, 20]: rates saturate at extreme
// voltages instead of overflowing; below -20 the result is exactly 0. Within
// the bounds it is the C library's exp in every bit, evaluated inline.
inline double SafeExp(double x) {
  if (x < -20.0) return 0.0;
  if (x > 20.0) return 485165195.4097903;  // e^20
  return Exp(x);
}

// Factor of the exponential gate update x <- x + Relax(dt, tau)*(xinf - x):
// dt in seconds, tau in milliseconds. A gate with tau <= 0 jumps to its steady state.
inline double Relax(double dt, double tau) {
  return tau > 0.0 ? 1.0 - SafeExp(-1000.0 * dt / tau) : 1.0;
}

// base^exponent through the logarithm; the base must be positive.
inline double Power(double base, double exponent) { return std::exp(exponent * std::log(base)); }

// x^n by repeated multiplication; negative n divides |n| times.
inline double IntPower(int n, double x) {
  switch (n) {
    case 1: return x;
    case 2: return x * x;
    case 3: return x * x * x;
    case 4: {
      const double x2 = x * x;
      return x2 * x2;
    }
    default: break;
  }
  double r = 1.0;
  if (n > 0) {
    for (int i = 0; i < n; ++i) r *= x;
  } else {
    for (int i = 0; i < -n; ++i) r /= x;
  }
  return r;
}

// Fraction of NMDA conductance not blocked by extracellular Mg (mM) at V (volts).
inline double MgBlock(double Mg, double V) { return 1.0 / (1.0 + SafeExp(-62.0 * V) * Mg / 3.57); }

inline double GaussDensity(double sigma, double x) {
  if (sigma == 0.0) return 0.0;
  const double z = x / sigma;
  return SafeExp(-z * z) / (std::sqrt(std::numbers::pi) * sigma);
}

// Dense systems of the kinetic schemes, numbered 1..n as the schemes are
// written (row and column 0 unused), n <= 26.
inline constexpr int kMaxLinearSize = 26;
using LinearVector = std::array<double, kMaxLinearSize + 1>;
using LinearMatrix = std::array<LinearVector, kMaxLinearSize + 1>;

// Gaussian elimination without pivoting beyond one row swap where a diagonal
// element vanishes. A and b are taken by value; the caller's arrays stay intact.
void SolveLinear(int n, LinearMatrix A, LinearVector b, LinearVector& x);

struct Solution2 {
  double x1;
  double x2;
};
// 2x2 system; returns (-13, -13) as a failure mark when the matrix is singular.
Solution2 Solve2(double a11, double a12, double a21, double a22, double r1, double r2);

// Peak of the difference of two exponentials with rates a and b, scaled by a*b/(b - a).
double DiffExpPeak(double a, double b);

// Second-order low-pass filter whose impulse response (difference of two
// exponentials with rates a and b) peaks at 1. flag = 1 makes it an alpha
// function (b = a). p is the output, q its derivative; h is the step.
void SynFilter2(int flag, double& p, double& q, double u, double h, double a, double b);

}  // namespace membrix
