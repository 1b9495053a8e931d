#pragma once
// The state of a block of noise-ensemble members laid out lane by lane, and
// the step that advances them together in registers of doubles. The step is
// compiled once for every processor generation the program dispatches to
// (ensemble_lanes_*.cpp); ensemble_kernel.cpp chooses among them at run time.

#include <array>
#include <cstddef>
#include <cstdint>

#include "params/neuron_properties.h"

namespace membrix::lanes {

// Members of one block; a multiple of every register width.
inline constexpr std::size_t kMaxLanes = 32;

using LaneColumn = std::array<double, kMaxLanes>;

// What the step reads and writes per member: the voltage and its derivatives,
// the squid-axon gates, the input uu and the threshold shift. The voltage
// before the step, the currents of the step and the Ca pool, which the
// one-neuron step also keeps in its state record, are left out: nothing that
// follows a member reads them.
struct alignas(64) LaneArrays {
  alignas(64) LaneColumn V{}, dVdt{}, d2Vdt2{};
  alignas(64) LaneColumn mm{}, hh{}, nn{};
  alignas(64) LaneColumn uu{};
  alignas(64) LaneColumn NaThreshShift{};  // mV, the member's threshold shift of the Na activation
};

// What every member of the block shares at one step.
struct LaneStepInputs {
  const NeuronProperties* np = nullptr;  // after the members were put at rest
  double dt = 0.0;                       // s
  double ss = 0.0, gNMDA = 0.0;          // the conductance input and the NMDA term
  double injected = 0.0;                 // the injected current of the step, mA/cm²
  double duReset = 0.0;                  // the reset generator's current, mA/cm²
};

// Advances lanes 0 ... n-1 (n a multiple of the register width, at most
// kMaxLanes) by one step.
using StepLanesFn = void (*)(const LaneStepInputs&, LaneArrays&, std::size_t n);

// The members' generators, one state of the program's congruential generator
// per lane, in the low half of a 64-bit word (the registers' lane width).
using LaneStates = std::array<std::uint64_t, kMaxLanes>;

// How the noise input of a step follows its normal deviate: coloured
// (tauNoise > 0) or white.
struct NoiseLaneInputs {
  double dt = 0.0, tauNoise = 0.0;  // s
  double whiteScale = 0.0, ouScale = 0.0;
};

// For lanes 0 ... n-1 (as above): draws one standard normal deviate from the
// lane's own generator, with the bits and the draws of RandomGenerator::Normal(0, 1),
// and advances the lane's noise input uu by it.
using NoiseLanesFn = void (*)(const NoiseLaneInputs&, LaneStates& states, LaneColumn& uu, std::size_t n);

void StepLanesGeneric(const LaneStepInputs& in, LaneArrays& a, std::size_t n);
std::size_t WidthGeneric();
void SafeExpLanesGeneric(const double* x, double* y, std::size_t n);
void NoiseLanesGeneric(const NoiseLaneInputs& in, LaneStates& states, LaneColumn& uu, std::size_t n);
#if defined(MEMBRIX_LANES_X86)
void StepLanesAvx2(const LaneStepInputs& in, LaneArrays& a, std::size_t n);
std::size_t WidthAvx2();
void SafeExpLanesAvx2(const double* x, double* y, std::size_t n);
void NoiseLanesAvx2(const NoiseLaneInputs& in, LaneStates& states, LaneColumn& uu, std::size_t n);
void StepLanesAvx512(const LaneStepInputs& in, LaneArrays& a, std::size_t n);
std::size_t WidthAvx512();
void SafeExpLanesAvx512(const double* x, double* y, std::size_t n);
void NoiseLanesAvx512(const NoiseLaneInputs& in, LaneStates& states, LaneColumn& uu, std::size_t n);
#endif

// SafeExpLanes*: y[k] = SafeExp(x[k]) through the register form, for n a
// multiple of the width (the tests compare it with the scalar form).

// The bounded exponential of the kinetics for one lane, compiled for every
// processor (not with the flags of the wider builds).
double LaneSafeExp(double x);

}  // namespace membrix::lanes
