#pragma once
// The after-potential currents: the voltage-gated after-hyperpolarisation
// current (AHP slot of most families), the Ca-gated AHP current of the White
// family, and the after-depolarisation current (ADP slot). The White AHP and ADP
// gates advance by forward Euler steps.

#include <cstdint>
#include <limits>

#include "channels/channel.h"

namespace membrix {

// Voltage-gated AHP current: TempFactor·wAHP·lAHP, both gates relaxed, reversal
// VAHP. In the "2-p-ActiveDend" geometry it sits on the dendrite and follows the
// dendritic voltage VatE for its kinetics and its driving force alike.
class TAHP final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double wAHP, double lAHP, double) const override;
  // Writes the temperature factor (reference 23 °C), then the gates at their steady states.
  void Init() override;

  struct Gates {
    GateRates w, l;
  };
  // At v (mV); the time constant of w is shortened by TempFactor.
  static Gates Rates(double v, double TempFactor);

 private:
  // The membrane voltage the channel sits at (V).
  double LocalV() const;

  // Where the channel sits, settled by Init from the geometry; before the first
  // Init it is looked up at every step.
  enum class Site : std::int8_t { Unknown, Soma, Dendrite };
  Site site_ = Site::Unknown;
  // The relaxation factor of l, whose time constant is fixed, for the step it
  // was computed for.
  KeptFactor lRelax_;
};

// Ca-gated AHP current of the White family: wAHP, reversal VK. The gate opens,
// practically as a step, when the Ca current of the White Ca channel exceeds a
// level.
class TWhiteAHP final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double wAHP, double, double) const override;
  void Init() override;
  unsigned SlotsRead() const override;  // the high-threshold Ca gate

  // A measure c proportional to the present Ca current, from the Ca channel's
  // gCaH, its gate mCaH, v (mV) and VCa (V).
  static double CaDrive(double gCaH, double mCaH, double v, double VCa);
  // Steady state and time constant of w at the Ca measure c.
  static GateRates Rates(double c);

 private:
  // The Euler factor of w, whose time constant is fixed, for the step it was
  // computed for.
  KeptFactor wFactor_;
};

// After-depolarisation current: wADP, reversal VADP, time constant tADP.
class TADP final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double wADP, double, double) const override;
  void Init() override;

  // At v (mV), with tADP in seconds.
  static GateRates Rates(double v, double tADP);

 private:
  // The Euler factor of w for the step and the time constant it was computed for.
  KeptFactor wFactor_;
};

}  // namespace membrix
