#pragma once
// The state of the clamp run that the analyses share: time, step counter and
// cadences, the model value compared with a recording, the start-of-run state.

#include <cstdint>

#include "neuron/variable_step.h"

namespace membrix {

// Voltages and gates at the start of a run; the firing-clamp resets return to it
// and the procedural threshold model works on it.
struct StartStateRecord {
  double V = 0.0;
  double VatE = 0.0;
  double nn = 0.0;
  double yK = 0.0;
  double nA = 0.0;
  double lA = 0.0;
  double xD = 0.0;
  double yD = 0.0;
  double nH = 0.0;
  double wAHP = 0.0;
  double nM = 0.0;
};

// The longest run: 2^53 steps, the last count at which the time nt * dt of
// every step is still a distinct number. A run past it would repeat its times;
// it is refused before it starts, naming its length.
inline constexpr std::int64_t kMaxSteps = std::int64_t{1} << 53;

struct RunGlobals {
  double t = 0.0;         // model time, s
  double dt = 5e-5;       // time step, s
  double t_end = 0.02;    // length of a run, s
  std::int64_t nt = 0;    // steps made
  std::int64_t nt_end = 400;
  std::int32_t n_Draw = 5;   // drawing cadence, steps
  std::int32_t n_Write = 5;  // writing cadence, steps
  std::int32_t Writing = 0;  // 1 = write the run log and the ion file
  std::int32_t WriteMode = 0;     // 0 = no trace file; 1..4 = its column set
  std::int32_t DrawAnyCurve = 0;  // 1 = also plot the selected output variable
  char PauseFlag = ' ';           // 'P' while paused
  double Vr = 0.0;        // model value comparable with the recording at this step
  double VrevFit = 0.0;   // reversal turning a clamp current into a conductance
  StartStateRecord StartState;
  // The fixed step at dt, or error control (the samples stay dt apart), and
  // what the error-controlled integrator did in the last run that used it.
  IntegratorSettings integrator;
  IntegratorWork integratorWork;
};

// Number of steps of a run of length t_end: Trunc(t_end/dt), 0 when negative,
// kMaxSteps for a quotient at or past it (also an infinite or undefined one),
// which CheckRunLength refuses.
std::int64_t StepCount(double t_end, double dt);

// Refuses (RangeError) a run whose t_end/dt reaches kMaxSteps or is no number,
// naming t_end, dt and what to change.
void CheckRunLength(const RunGlobals& run);

// Sets t_end or dt and the step count that follows from them.
void SetRunLength(RunGlobals& run, double t_end);
void SetTimeStep(RunGlobals& run, double dt);

// Whether n is a multiple of k (k = 0 gives false: no multiple of a zero
// cadence is ever reached). The integer remainder answers as Trunc(n/k) = n/k
// in floating point does for the counts of a run (below 2^53).
inline bool IsMultiple(std::int64_t n, std::int64_t k) {
  if (k == 0) return false;
  // Every integer is a multiple of 1 and -1; the remainder by -1 could overflow.
  if (k == 1 || k == -1) return true;
  return n % k == 0;
}

}  // namespace membrix
