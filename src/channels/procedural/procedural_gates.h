#pragma once
// Gate updates of the procedural channel library. Rates are per ms, time
// constants in ms, the step dt in s (Relax multiplies it by 1000).

#include "channels/channel.h"
#include "neuron/numerics.h"

namespace membrix {

// Steady states and time constants of a current's two gates: activation first,
// then inactivation (or the slower second gate).
struct GatePairRates {
  GateRates act;
  GateRates inact;
};

// x <- x + F(tau)*(xinf - x), the exponential relaxation over one step; a gate
// with tau <= 0 jumps to its steady state.
inline void RelaxGate(double& x, const GateRates& r, double dt) { x += Relax(dt, r.tau) * (r.inf - x); }

}  // namespace membrix
