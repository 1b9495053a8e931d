#include "channels/multistate_schemes.h"

#include <cmath>

namespace membrix {

namespace {

// Zeroes the block of K a scheme with n states uses.
void Clear(int n, Transitions& K) {
  for (int i = 0; i <= n; ++i) {
    for (int j = 0; j <= n; ++j) K[i][j] = 0.0;
  }
}

double Outflow(int n, const Transitions& K, int i) {
  double sum = 0.0;
  for (int j = 1; j <= n; ++j) {
    if (j != i) sum += K[i][j];
  }
  return sum;
}

double Inflow(int n, const Transitions& K, const Occupancies& P, int i) {
  double sum = 0.0;
  for (int j = 1; j <= n; ++j) {
    if (j != i) sum += K[j][i] * P[j];
  }
  return sum;
}

// One implicit step of length h (ms): (1 + h*outflow_i)*x_i - h*inflow_i(x) = P_i.
// The matrix is an M-matrix whose columns sum to 1, so x is a probability vector
// whenever P is, for any h.
void ImplicitStep(int n, const Transitions& K, double h, const Occupancies& P, Occupancies& x) {
  LinearMatrix A{};
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) A[i][j] = j == i ? 1.0 + h * Outflow(n, K, i) : -h * K[j][i];
  }
  SolveLinear(n, A, P, x);
}

// Occupancies a little outside [0, 1] by rounding are accepted as they are.
constexpr double kRoundoff = 1e-12;

bool IsProbabilityVector(int n, const Occupancies& P) {
  double sum = 0.0;
  for (int i = 1; i <= n; ++i) {
    if (!std::isfinite(P[i]) || P[i] < -kRoundoff || P[i] > 1.0 + kRoundoff) return false;
    sum += P[i];
  }
  return AbsValue(sum - 1.0) < 1e-9;
}

// How far an occupancy may stray from [0, 1] before a step of the frozen-inflow
// update counts as diverged. Runs of every scheme in current clamp at steps of
// 20 to 100 us stray by at most 0.025 (the Lyle start-up cell at 100 us); where
// the update cannot follow the scheme (a voltage jump across a chain whose rates
// exceed the step many times over) it passes the chain's occupancy along
// amplified, and the first step already strays by 0.06 to 10.
constexpr double kBand = 0.05;

// Whether the frozen-inflow update left a usable state: every occupancy finite
// and within the band (the last one before any clipping).
bool WithinBand(int n, const Occupancies& P) {
  for (int i = 1; i <= n; ++i) {
    if (!std::isfinite(P[i]) || P[i] < -kBand || P[i] > 1.0 + kBand) return false;
  }
  return true;
}

struct MilescuRates {
  double alpha, beta, gamma, delta, gammaP, deltaP, Con, Coff, Oon, Ooff, a, b;
};

MilescuRates RatesOf(MilescuScheme scheme, double w) {
  if (scheme == MilescuScheme::Carter12) {
    return {MilescuRate(250.0, 1.0 / 24.0, w), MilescuRate(12.0, -1.0 / 24.0, w), 250.0, 60.0, 250.0, 60.0,
            0.01, 2.0, 8.0, 0.05, 2.51, 5.32};
  }
  return {MilescuRate(5.254, 0.01474, w),    MilescuRate(0.3454, -0.08526, w),
          MilescuRate(85.07, 0.005784, w),   MilescuRate(5.895, -0.01043, w),
          MilescuRate(25.45, 0.005784, w),   MilescuRate(26.06, -0.01043, w),
          MilescuRate(0.05954, 0.02803, w),  MilescuRate(0.01068, -0.0427, w),
          MilescuRate(1.805, 0.02803, w),    MilescuRate(0.004182, -0.0427, w),
          0.71098,                           8.1799};
}

// The twelve-state core of the scheme on states 1 + o ... 12 + o.
void BuildCore(const MilescuRates& r, int o, Transitions& K) {
  const double alpha = r.alpha, beta = r.beta, a = r.a, b = r.b;
  // closed chain C1 ... C5
  K[o + 1][o + 2] = 4.0 * alpha;
  K[o + 2][o + 1] = beta;
  K[o + 2][o + 3] = 3.0 * alpha;
  K[o + 3][o + 2] = 2.0 * beta;
  K[o + 3][o + 4] = 2.0 * alpha;
  K[o + 4][o + 3] = 3.0 * beta;
  K[o + 4][o + 5] = alpha;
  K[o + 5][o + 4] = 4.0 * beta;
  // closed-inactivated chain I1 ... I5
  K[o + 7][o + 8] = 4.0 * alpha * a;
  K[o + 8][o + 7] = beta / b;
  K[o + 8][o + 9] = 3.0 * alpha * a;
  K[o + 9][o + 8] = 2.0 * beta / b;
  K[o + 9][o + 10] = 2.0 * alpha * a;
  K[o + 10][o + 9] = 3.0 * beta / b;
  K[o + 10][o + 11] = alpha * a;
  K[o + 11][o + 10] = 4.0 * beta / b;
  // opening
  K[o + 5][o + 6] = r.gamma;
  K[o + 6][o + 5] = r.delta;
  K[o + 11][o + 12] = r.gammaP;
  K[o + 12][o + 11] = r.deltaP;
  // inactivation from the closed states, faster the nearer the open state
  K[o + 1][o + 7] = r.Con;
  K[o + 7][o + 1] = r.Coff;
  K[o + 2][o + 8] = r.Con * a;
  K[o + 8][o + 2] = r.Coff / b;
  K[o + 3][o + 9] = r.Con * a * a;
  K[o + 9][o + 3] = r.Coff / (b * b);
  K[o + 4][o + 10] = r.Con * a * a * a;
  K[o + 10][o + 4] = r.Coff / (b * b * b);
  K[o + 5][o + 11] = r.Con * a * a * a * a;
  K[o + 11][o + 5] = r.Coff / (b * b * b * b);
  // inactivation from the open state
  K[o + 6][o + 12] = r.Oon;
  K[o + 12][o + 6] = r.Ooff;
}

}  // namespace

double LyleRate(double w, double vh, double s, double tmin, double tmax) {
  const double x = SafeExp((w - vh) / s);
  const double t = tmax != kNoTmax ? 1.0 / (tmax - tmin) : 0.0;
  return x + t != 0.0 ? 1.0 / (tmin + 1.0 / (x + t)) : 0.0;
}

LyleScheme LyleSchemeFor(std::string_view subtype, bool allowVTh) {
  if (subtype == "Lyle-3") return LyleScheme::Lyle3;
  if (allowVTh && subtype == "Lyle-VT(h)") return LyleScheme::LyleVTh;
  return LyleScheme::Lyle4;
}

int StateCountOf(LyleScheme scheme) { return scheme == LyleScheme::Lyle4 ? 4 : 3; }

void BuildLyleTransitions(LyleScheme scheme, double w, double zVT, Transitions& K) {
  constexpr double kThird = 1.0 / 3.0;
  Clear(StateCountOf(scheme), K);
  switch (scheme) {
    case LyleScheme::Lyle4:
      K[4][1] = LyleRate(w, -51.0, 1.0, kThird);
      K[1][4] = LyleRate(w, -57.0, -2.0, kThird);
      K[3][4] = LyleRate(w, -60.0, -1.0, 1.0, 100.0);
      K[3][1] = LyleRate(w, -42.0, 1.0, kThird);
      break;
    case LyleScheme::Lyle3: K[3][1] = LyleRate(w, -51.0, 1.0, kThird); break;
    case LyleScheme::LyleVTh: K[3][1] = LyleRate(w, 20.0 * zVT - 55.0, 0.2, kThird); break;
  }
  K[1][3] = LyleRate(w, -51.0, -2.0, kThird);
  K[1][2] = 3.0;
  K[2][3] = scheme == LyleScheme::LyleVTh ? LyleRate(w, -53.0, -2.0, 1.0, 100.0)
                                          : LyleRate(w, -53.0, -1.0, 1.0, 100.0);
}

MilescuScheme MilescuSchemeFor(std::string_view subtype) {
  if (subtype == "Milescu-13") return MilescuScheme::Milescu13;
  if (subtype == "Carter-12") return MilescuScheme::Carter12;
  return MilescuScheme::Milescu26;
}

int StateCountOf(MilescuScheme scheme) {
  switch (scheme) {
    case MilescuScheme::Milescu13: return 13;
    case MilescuScheme::Carter12: return 12;
    case MilescuScheme::Milescu26: break;
  }
  return 26;
}

void BuildMilescuTransitions(MilescuScheme scheme, double w, Transitions& K) {
  Clear(StateCountOf(scheme), K);
  const MilescuRates r = RatesOf(scheme, w);
  BuildCore(r, 0, K);
  if (scheme == MilescuScheme::Milescu13) {
    K[6][13] = MilescuRate(0.4008, -0.01101, w);
    K[13][6] = MilescuRate(0.0002073, -0.03096, w);
  } else if (scheme == MilescuScheme::Milescu26) {
    K[6][13] = MilescuRate(0.426, 0.01496, w);
    K[13][6] = MilescuRate(5.987e-05, -0.06819, w);
    BuildCore(r, 13, K);
    K[1][14] = MilescuRate(0.03731, 0.1111, w);
    K[14][1] = MilescuRate(0.001808, 0.01301, w);
    K[6][19] = MilescuRate(1.059, 0.0802, w);
    K[19][6] = MilescuRate(0.05132, -0.01791, w);
    K[19][26] = MilescuRate(0.3355, -0.02956, w);
    K[26][19] = MilescuRate(0.01876, 0.01534, w);
  }
}

void StationaryOccupancies(int N, const Transitions& K, Occupancies& P) {
  if (N < 1) return;
  // Rows 1 ... N-1 balance each state's inflow against its outflow; the last row
  // makes the occupancies sum to 1.
  LinearMatrix A{};
  LinearVector b{};
  for (int i = 1; i < N; ++i) {
    for (int j = 1; j <= N; ++j) A[i][j] = j == i ? -Outflow(N, K, i) : K[j][i];
  }
  for (int j = 1; j <= N; ++j) A[N][j] = 1.0;
  b[N] = 1.0;
  LinearVector x{};
  SolveLinear(N, A, b, x);
  if (!IsProbabilityVector(N, x)) {
    // A scheme that falls apart into separate parts has no single balance; it
    // gets the occupancies it settles to from an even spread over its states.
    LinearVector spread{};
    for (int i = 1; i <= N; ++i) spread[i] = 1.0 / N;
    for (int pass = 0; pass < 3; ++pass) {
      ImplicitStep(N, K, 1e9, spread, x);
      spread = x;
    }
  }
  for (int i = 1; i <= N; ++i) P[i] = x[i];
}

bool AdvanceOccupancies(int N, const Transitions& K, double dt, LastState last, Occupancies& P) {
  if (N < 1) return true;
  const double h = 1000.0 * dt;
  // Every state relaxes toward the occupancy that balances its inflow, all from
  // the occupancies at the start of the step; the last state takes the rest.
  Occupancies next = P;
  double rest = 1.0;
  for (int i = 1; i < N; ++i) {
    const double inflow = Inflow(N, K, P, i);
    const double outflow = Outflow(N, K, i);
    if (outflow > 0.0) {
      next[i] = P[i] + Relax(dt, 1.0 / outflow) * (inflow / outflow - P[i]);
    } else {
      next[i] = P[i] + h * inflow;  // a state nothing leaves only fills
    }
    rest -= next[i];
  }
  next[N] = rest;
  const bool described = WithinBand(N, next);
  if (!described) {
    ImplicitStep(N, K, h, P, next);
    rest = 1.0;
    for (int i = 1; i < N; ++i) rest -= next[i];
  }
  for (int i = 1; i < N; ++i) P[i] = next[i];
  P[N] = last == LastState::ClippedAtZero ? MaxD(rest, 0.0) : rest;
  return described;
}

void OccupancyRates(int N, const Transitions& K, const Occupancies& P, Occupancies& dPdt) {
  if (N < 1) return;
  double rest = 0.0;
  for (int i = 1; i < N; ++i) {
    dPdt[i] = 1000.0 * (Inflow(N, K, P, i) - Outflow(N, K, i) * P[i]);
    rest -= dPdt[i];
  }
  dPdt[N] = rest;
}

void ImplicitOccupancyStep(int N, const Transitions& K, double dt, const Occupancies& P, Occupancies& x) {
  if (N < 1) return;
  ImplicitStep(N, K, 1000.0 * dt, P, x);
}

}  // namespace membrix
