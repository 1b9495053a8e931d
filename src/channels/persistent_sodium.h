#pragma once
// The persistent (non-inactivating) Na current of the NaP slot.

#include <limits>

#include "channels/channel.h"

namespace membrix {

// Fixed reversal of the persistent Na current (V); VNa does not enter it.
inline constexpr double kNaPReversal = 0.03;

// Persistent Na after Vervaeke: one relaxed activation gate mNaP, tau 1 ms.
class TVervaekeNaP final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mNaP, double, double) const override;
  void Init() override;

  static GateRates Rates(double v);

 private:
  // The relaxation factor of mNaP, whose time constant is fixed, for the step
  // it was computed for.
  KeptFactor relax_;
};

}  // namespace membrix
