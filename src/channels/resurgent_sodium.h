#pragma once
// The second sodium current of the NaR slot, for resurgent or persistent
// components or for comparing two sodium kinetics in one cell. Its gates are
// mmR, hhR and iiR, its maximal conductance gNaR, its block flag IfBlockNaR;
// it never touches the Na slot's gates, so any Na scheme combines with any
// NaR scheme.

#include <limits>

#include "channels/channel.h"
#include "channels/sodium.h"

namespace membrix {

// The parametric classic form with the coefficients a1NaR..d4NaR, voltage
// measured from Tr_NaR; reversal VNaR.
class TRarizaNaR final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mmR, double hhR, double) const override;  // mmR³·hhR
  void Init() override;
  static SodiumRates Rates(double v, const NeuronProperties& np);
};

// As the Rariza form, with every rate of the 1/(exp(x/k) - c) shape; reversal VNaR.
class TCumNaR final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mmR, double hhR, double) const override;  // mmR·hhR
  void Init() override;
  static SodiumRates Rates(double v, const NeuronProperties& np);
};

// The Migliore Na kinetics at the unshifted voltage, its slow inactivation
// switched by If_Slow_NaR_inactivation; reversal VNa.
class TMigliNaR final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mmR, double hhR, double iiR) const override;  // mmR³·hhR·iiR
  void Init() override;
  static SodiumRates Rates(double v, const NeuronProperties& np);
};

// The Chow kinetics at the unshifted voltage, without temperature factor, its
// slow inactivation switched by the Na switch If_Slow_Na_inactivation; reversal VNa.
class TChowNaR final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mmR, double hhR, double iiR) const override;  // mmR³·hhR·iiR³
  void Init() override;
  static SodiumRates Rates(double v, const NeuronProperties& np);

 private:
  // The relaxation factor of iiR, whose time constant is fixed, for the step it
  // was computed for.
  KeptFactor iRelax_;
};

// The Shu Na kinetics 5 mV below the membrane voltage (no NaThreshShift);
// TempFactor (reference 23 °C) speeds the gates but does not scale the
// conductance; reversal VNa.
class TShuNaR final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mmR, double hhR, double) const override;  // mmR³·hhR
  void Init() override;
  static SodiumRates Rates(double v, const NeuronProperties& np);
};

// The Bazhenov Na kinetics at the unshifted voltage; TempFactor (reference
// 23 °C) on the gates and the conductance; reversal VNa.
class TBazhNaR final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mmR, double hhR, double) const override;  // TempFactor·mmR³·hhR
  void Init() override;
  static SodiumRates Rates(double v, const NeuronProperties& np);
};

// Thermodynamic (Boltzmann-rate) form in F/RT with floors on both time
// constants, shifted by NaThreshShift; reversal VNa.
class TLyleMSNaR final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mmR, double hhR, double) const override;  // mmR²·hhR³
  void Init() override;
  static SodiumRates Rates(double v, const NeuronProperties& np);
  // The kinetics at the voltage they see (vs, mV), f = FRT; shared with the
  // procedural resurgent current, which sees the unshifted voltage.
  static SodiumRates Kinetics(double vs, double f);
};

}  // namespace membrix
