// The lane step built for processors with AVX2 (the build adds the flag to this file).
#if defined(MEMBRIX_LANES_X86)
#include "population/ensemble_lanes_impl.h"

namespace membrix::lanes {

void StepLanesAvx2(const LaneStepInputs& in, LaneArrays& a, std::size_t n) { StepLanesBody(in, a, n); }
std::size_t WidthAvx2() { return LaneVector::size(); }
void SafeExpLanesAvx2(const double* x, double* y, std::size_t n) { SafeExpLanesBody(x, y, n); }
void NoiseLanesAvx2(const NoiseLaneInputs& in, LaneStates& states, LaneColumn& uu, std::size_t n) {
  NoiseLanesBody(in, states, uu, n);
}

}  // namespace membrix::lanes
#endif
