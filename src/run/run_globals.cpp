#include "run/run_globals.h"

#include <cmath>

namespace membrix {

std::int32_t StepCount(double t_end, double dt) {
  const double n = std::trunc(t_end / dt);
  if (!(n < kMaxSteps)) return kMaxSteps;  // also catches an infinite or undefined quotient
  if (n < 0) return 0;
  return static_cast<std::int32_t>(n);
}

void SetRunLength(RunGlobals& run, double t_end) {
  run.t_end = t_end;
  run.nt_end = StepCount(run.t_end, run.dt);
}

void SetTimeStep(RunGlobals& run, double dt) {
  run.dt = dt;
  run.nt_end = StepCount(run.t_end, run.dt);
}

}  // namespace membrix
