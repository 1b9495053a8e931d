#include "thresholdmodel/dispersion.h"

#include "run/session.h"

namespace membrix {

void DispersionStep(const Session& s, std::int32_t flag, double& S, double& S2, double Vm, double gLeak,
                    double m, double gE, double a) {
  if (s.run.nt <= 1 || flag == 2) {
    S = S2 = 0.0;
    return;
  }
  const double h = s.run.dt / s.NP0.Cm;
  const double r = -(m * (gE + a) + gLeak);
  const double S0 = S;
  const double S20 = S2;
  S2 = S20 + h * (r * S20 - a * a * m * Vm);
  S = S0 + h * (r * S0 - a * m * Vm);
}

void DispersionMeanShift(const Session& s, double& Vm, double a, double m, double S) {
  Vm -= s.run.dt / s.NP0.Cm * a * m * S;
}

}  // namespace membrix
