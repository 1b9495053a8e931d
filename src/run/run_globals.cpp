#include "run/run_globals.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "common/error.h"

namespace membrix {

std::int64_t StepCount(double t_end, double dt) {
  const double n = std::trunc(t_end / dt);
  if (!(n < static_cast<double>(kMaxSteps))) return kMaxSteps;  // also catches an infinite or undefined quotient
  if (n < 0) return 0;
  return static_cast<std::int64_t>(n);
}

void CheckRunLength(const RunGlobals& run) {
  if (StepCount(run.t_end, run.dt) < kMaxSteps) return;
  char text[300];
  std::snprintf(text, sizeof text,
                "a run of t_end = %g ms at dt = %g ms would take %.3g steps; a run takes at most 2^53 "
                "(about 9.0e15) steps: shorten t_end or lengthen dt",
                run.t_end * 1000.0, run.dt * 1000.0, run.t_end / run.dt);
  throw RangeError(text);
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
