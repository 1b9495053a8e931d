// The lane step built for processors with AVX-512 (the build adds the flag to this file).
#if defined(MEMBRIX_LANES_X86)
#include "population/ensemble_lanes_impl.h"

namespace membrix::lanes {

void StepLanesAvx512(const LaneStepInputs& in, LaneArrays& a, std::size_t n) { StepLanesBody(in, a, n); }
std::size_t WidthAvx512() { return LaneVector::size(); }
void SafeExpLanesAvx512(const double* x, double* y, std::size_t n) { SafeExpLanesBody(x, y, n); }
void NoiseLanesAvx512(const NoiseLaneInputs& in, LaneStates& states, LaneColumn& uu, std::size_t n) {
  NoiseLanesBody(in, states, uu, n);
}

}  // namespace membrix::lanes
#endif
