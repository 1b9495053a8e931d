#pragma once
// The calcium currents and the Ca-dependent K current: high-threshold Ca
// (CaH slot: Destexhe, Cummins, White), low-threshold Ca (CaT slot: Destexhe,
// Cummins) and the Destexhe K(Ca) channel, gated by the submembrane Ca pool that
// the neuron integrates from the two Ca currents. The Destexhe and Cummins Ca
// channels reverse at a fixed +120 mV; the White Ca channel at VCa.

#include "channels/channel.h"

namespace membrix {

// Fixed reversal of the Destexhe and Cummins Ca channels (V).
inline constexpr double kCaReversal = 0.12;

// High-threshold Ca after Destexhe: mCaH²·hCaH, both gates relaxed.
class TDestexheCaH final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mCaH, double hCaH, double) const override;
  void Init() override;

  struct Gates {
    GateRates m, h;
  };
  static Gates Rates(double v);
};

// High-threshold Ca after Cummins: mCaH·hCaH·kCaH, three relaxed gates; the third
// never closes below 0.2 at depolarised voltages.
class TCumCaH final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mCaH, double hCaH, double kCaH) const override;
  void Init() override;

  struct Gates {
    GateRates m, h, k;
  };
  static Gates Rates(double v);
};

// High-threshold Ca of the White family: one instantaneous gate mCaH, reversal VCa.
class TWhiteCa final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mCaH, double, double) const override;
  void Init() override;

  // The gate has no time constant (tau is 0): mCaH follows its steady state at once.
  static GateRates Rates(double v);
};

// Low-threshold Ca after Destexhe: mCaT²·hCaT, both gates relaxed.
class TDestexheCaT final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mCaT, double hCaT, double) const override;
  void Init() override;

  struct Gates {
    GateRates m, h;
  };
  static Gates Rates(double v);
};

// Low-threshold Ca after Cummins: mCaT·hCaT, both gates relaxed.
class TCumCaT final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mCaT, double hCaT, double) const override;
  void Init() override;

  struct Gates {
    GateRates m, h;
  };
  static Gates Rates(double v);
};

// Ca-dependent K after Destexhe: nKCa², gated by the intracellular Ca alone,
// reversal VK + dVAHP.
class TDestexheKCa final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double nKCa, double, double) const override;
  void Init() override;

  // Steady state and time constant at the Ca concentration Ca (mM).
  static GateRates Rates(double Ca);
};

}  // namespace membrix
