#include "neuron/numerics.h"

namespace membrix {

void SolveLinear(int n, LinearMatrix A, LinearVector b, LinearVector& x) {
  for (int l = 1; l <= n - 1; ++l) {
    if (AbsValue(A[l][l]) < 1e-20) {
      int f = l + 1;
      while (f <= n && A[f][l] == 0.0) ++f;
      if (f <= n) {
        for (int j = l; j <= n; ++j) std::swap(A[l][j], A[f][j]);
        std::swap(b[l], b[f]);
      }
    }
    for (int k = l + 1; k <= n; ++k) {
      const double c = -A[k][l] / A[l][l];
      A[k][l] = 0.0;
      for (int j = l + 1; j <= n; ++j) A[k][j] += c * A[l][j];
      b[k] += c * b[l];
    }
  }
  x[n] = b[n] / A[n][n];
  for (int k = n - 1; k >= 1; --k) {
    double sum = 0.0;
    for (int j = k + 1; j <= n; ++j) sum += A[k][j] * x[j];
    x[k] = (b[k] - sum) / A[k][k];
  }
}

Solution2 Solve2(double a11, double a12, double a21, double a22, double r1, double r2) {
  if (AbsValue(a11) < 1e-8) {
    a11 += a21;
    a12 += a22;
    r1 += r2;
  }
  const double det = a22 * a11 - a12 * a21;
  if (AbsValue(det) <= 1e-8) return {-13.0, -13.0};
  const double x2 = (r2 - r1 * a21 / a11) * a11 / det;
  const double x1 = (r1 - a12 * x2) / a11;
  return {x1, x2};
}

double DiffExpPeak(double a, double b) {
  if (a == b) return a * std::exp(-1.0);
  const double lnab = std::log(a / b);
  const double e1 = SafeExp(-a * lnab / (a - b));
  const double e2 = SafeExp(-b * lnab / (a - b));
  return (e1 - e2) * a * b / (b - a);
}

void SynFilter2(int flag, double& p, double& q, double u, double h, double a, double b) {
  if (flag == 1) b = a;
  const double n = DiffExpPeak(b, a);
  if ((a + b) * h >= 1.0) {
    p = u / n;
    return;
  }
  q += h * (a * b * (u / n - p) - (a + b) * q);
  p += h * q;
}

}  // namespace membrix
