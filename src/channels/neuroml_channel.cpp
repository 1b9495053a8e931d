#include "channels/neuroml_channel.h"

#include <cmath>

namespace membrix {

namespace {

// x/(1 − exp(−x)), with its limit 1 + x/2 near 0.
double ExpLinear(double x) {
  if (std::abs(x) < 1e-6) return 1.0 + x / 2.0;
  return x / (1.0 - SafeExp(-x));
}

}  // namespace

double NmlForm::At(double v) const {
  const double x = (v - midpoint) / scale;
  switch (kind) {
    case Kind::ExpRate:
    case Kind::ExpVariable: return rate * SafeExp(x);
    case Kind::SigmoidRate:
    case Kind::SigmoidVariable: return rate / (1.0 + SafeExp(-x));
    case Kind::ExpLinearRate:
    case Kind::ExpLinearVariable: return rate * ExpLinear(x);
    case Kind::FixedTime: return tau;
  }
  return 0.0;
}

double NmlQ10::Factor(double Temp) const {
  switch (kind) {
    case Kind::None: return 1.0;
    case Kind::Fixed: return fixedQ10;
    case Kind::ExpTemp: return Power(q10Factor, (Temp - experimentalTemp) / 10.0);
  }
  return 1.0;
}

NmlGateRates NmlGate::Rates(double v, double Temp) const {
  const double q = q10.Factor(Temp);
  switch (kind) {
    case Kind::Rates: {
      const double a = forward.At(v), b = reverse.At(v);
      return {a / (a + b), 1.0 / ((a + b) * q)};
    }
    case Kind::TauInf: return {steadyState.At(v), timeCourse.At(v) / q};
    case Kind::RatesInf: {
      const double a = forward.At(v), b = reverse.At(v);
      return {steadyState.At(v), 1.0 / ((a + b) * q)};
    }
    case Kind::RatesTau: {
      const double a = forward.At(v), b = reverse.At(v);
      return {a / (a + b), timeCourse.At(v) / q};
    }
    case Kind::Instantaneous: return {steadyState.At(v), 0.0};
  }
  return {0.0, 0.0};
}

double NmlChannel::OpenFraction(const double* x) const {
  double g = 1.0;
  for (std::size_t k = 0; k < gates.size(); ++k) g *= IntPower(gates[k].instances, x[k]);
  return g;
}

void NmlChannel::Init(double v, double Temp, double* x) const {
  for (std::size_t k = 0; k < gates.size(); ++k) x[k] = gates[k].Rates(v, Temp).inf;
}

void NmlChannel::Step(double v, double Temp, double dt, double* x) const {
  for (std::size_t k = 0; k < gates.size(); ++k) {
    const NmlGateRates r = gates[k].Rates(v, Temp);
    x[k] += Relax(dt, r.tau) * (r.inf - x[k]);
  }
}

void NmlChannel::Derivative(double v, double Temp, double* x, double* dxdt) const {
  for (std::size_t k = 0; k < gates.size(); ++k) {
    const NmlGateRates r = gates[k].Rates(v, Temp);
    // An instantaneous gate has no dynamics of its own: it is x∞ at every v.
    if (r.tau > 0.0) {
      dxdt[k] = 1000.0 * (r.inf - x[k]) / r.tau;
    } else {
      dxdt[k] = 0.0;
      x[k] = r.inf;
    }
  }
}

}  // namespace membrix
