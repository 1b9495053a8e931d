// The lane step built for the baseline processor of the target (SSE2 on x86-64).
#include "population/ensemble_lanes_impl.h"

namespace membrix::lanes {

void StepLanesGeneric(const LaneStepInputs& in, LaneArrays& a, std::size_t n) { StepLanesBody(in, a, n); }
std::size_t WidthGeneric() { return LaneVector::size(); }
void SafeExpLanesGeneric(const double* x, double* y, std::size_t n) { SafeExpLanesBody(x, y, n); }
void NoiseLanesGeneric(const NoiseLaneInputs& in, LaneStates& states, LaneColumn& uu, std::size_t n) {
  NoiseLanesBody(in, states, uu, n);
}

}  // namespace membrix::lanes
