#pragma once
// Sodium channels described by Markov schemes of kinetic states rather than by
// independent gates: the Lyle schemes (three or four states) and the Milescu and
// Carter schemes (12, 13 or 26 states), each for the Na slot and for the
// resurgent NaR slot. The occupancies live in the neuron's pNa (Na slot) or pNaR
// (NaR slot); each step the open occupancy becomes the slot's activation field
// and a slow inactivation gate, cubed, multiplies the conductance. Both slots
// drive the current against VNa.
//
// Init chooses the scheme from Na_subtype (NaR_subtype for the NaR classes) and
// starts the occupancies at their stationary values; it must run before the first
// Step. A later change of subtype takes effect at the next Init.

#include <cstdint>

#include "channels/channel.h"
#include "channels/multistate_schemes.h"

namespace membrix {

// Slow inactivation shared by the schemes: steady state 1/(1 + exp((w + c)/2)),
// tau 100 ms; with its switch off the gate is held open (steady state 1).
GateRates SlowInactivationRates(double w, double c, std::int32_t enabled);

// Lyle scheme in the Na slot: mm = open occupancy, hh = 1 - inactivated
// occupancy; every rate and the slow gate move with NaThreshShift. "Lyle-VT(h)"
// lets the slow variable zVT (stored in pNa[13], which three states never use)
// shift the recovery from inactivation; zVT is advanced in every subtype.
class TLyleNa final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mm, double, double ii) const override;
  void Init() override;

  std::int32_t StateCount = 0;  // states in use, 0 before the first Init
  // Steps since the last Init where the frozen-inflow update diverged and the
  // occupancies were stepped implicitly.
  std::int64_t ImplicitSteps = 0;

 private:
  LyleScheme scheme_ = LyleScheme::Lyle4;
};

// Milescu or Carter scheme in the Na slot: mm = open occupancy (both open states
// of "Milescu-26"), hh = 1. The rates move with NaThreshShift, the slow gate not.
// "Carter-12" needs steps of at most 20 us: its Init lowers the run's time step.
class TMilescuNa final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mm, double, double ii) const override;
  void Init() override;
  // "Carter-12" runs with steps of at most 20 us.
  double LongestTimeStep() const override;

  std::int32_t StateCount = 0;
  std::int64_t ImplicitSteps = 0;

 private:
  MilescuScheme scheme_ = MilescuScheme::Milescu26;
};

// The Lyle scheme in the NaR slot ("Lyle-4" or "Lyle-3"), unshifted.
class TLyleNaR final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mmR, double, double iiR) const override;
  void Init() override;

  std::int32_t StateCount = 0;
  std::int64_t ImplicitSteps = 0;

 private:
  LyleScheme scheme_ = LyleScheme::Lyle4;
};

// The Milescu or Carter scheme in the NaR slot, unshifted. Its slow gate follows
// If_Slow_Na_inactivation, the switch of the Na slot.
class TMilescuNaR final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mmR, double, double iiR) const override;
  void Init() override;
  // "Carter-12" runs with steps of at most 20 us.
  double LongestTimeStep() const override;

  std::int32_t StateCount = 0;
  std::int64_t ImplicitSteps = 0;

 private:
  MilescuScheme scheme_ = MilescuScheme::Milescu26;
};

}  // namespace membrix
