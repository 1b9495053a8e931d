#pragma once
// The potassium-type currents of the conductance-based neuron: the delayed
// rectifiers of the K slot, the A-type, M-type and D-type currents and the
// hyperpolarisation-activated H current. Each class is one published scheme of
// one or two gates. The rate functions are public and static so that a scheme
// can be read and checked on its own: v in mV, rates per ms, tau in ms, f the
// neuron's FRT (per mV) where the exponents are written in gating-charge form.

#include <cstdint>
#include <limits>

#include "channels/channel.h"

namespace membrix {

// ---- K slot: gates nn (and yK), conductance gK ------------------------------

// Classic squid-axon delayed rectifier with the six coefficients a1K ... b3K,
// voltage measured from Tr_Na.
class TRarizaK final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double nn, double, double) const override;
  void Init() override;
  static GateRates Rates(double v, const NeuronProperties& np);
};

class TDestexheK final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double nn, double, double) const override;
  void Init() override;
  static GateRates Rates(double v, double Tr_Na);
};

// Activation nn and a slow second gate yK; reverses at VKn.
class TLyleK final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double nn, double yK, double) const override;
  void Init() override;
  static GateRates RatesN(double v, double f);
  static GateRates RatesY(double v, double f);
  static double OpenFraction(double nn, double yK) { return nn * yK; }

 private:
  // The relaxation factor of yK, whose time constant is fixed, for the step
  // it was computed for.
  KeptFactor yRelax_;
};

// Reverses at VKn; its kinetics move with KThreshShift.
class TMigliK final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double nn, double, double) const override;
  void Init() override;
  static GateRates Rates(double v, double KThreshShift);
};

// Reverses at VKn.
class TCumK final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double nn, double, double) const override;
  void Init() override;
  static GateRates Rates(double v);
};

// Kinetics shifted by KThreshShift and scaled to 36 °C; the conductance carries
// the temperature factor as well.
class TChowK final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double nn, double, double) const override;
  void Init() override;
  static GateRates Rates(double v, double KThreshShift, double TempFactor);
};

class TNaundorfK final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double nn, double, double) const override;
  void Init() override;
  static GateRates Rates(double v);
};

// Follows the inactivation of the White Na channel: nn tracks 1 - hh. Reverses
// at VKn.
class TWhiteK final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double nn, double, double) const override;
  void Init() override;
  static GateRates Rates(double v);
};

// Scaled to 23 °C, in its time constant and its conductance.
class TShuK final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double nn, double, double) const override;
  void Init() override;
  static GateRates Rates(double v, double TempFactor);
};

// The Shu scheme with its half-activation at 22.8 mV; scaled to 23 °C.
class TBazhK final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double nn, double, double) const override;
  void Init() override;
  static GateRates Rates(double v, double TempFactor);
};

// ---- KA slot: gates nA, lA, conductance gKA, reversal VK ---------------------

class TLyleKA final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double nA, double lA, double) const override;
  void Init() override;
  static GateRates RatesN(double v, double f);
  static GateRates RatesL(double v, double f);
  static double OpenFraction(double nA, double lA) { return IntPower(4, nA) * IntPower(3, lA); }
};

class TCumKA final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double nA, double lA, double) const override;
  void Init() override;
  static GateRates RatesN(double v);
  static GateRates RatesL(double v);
};

// ---- KM slot: gates nM (and zM), conductance gKM, reversal VKM ---------------

class TDestexheKM final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double nM, double, double) const override;
  void Init() override;
  static GateRates Rates(double v);
};

// Scaled to 23 °C. Both rates of nM are divided by tauKM2. In a neuron with an
// active dendrite the current sits in the dendrite and follows VatE.
class TLyleKM final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double nM, double zM, double) const override;
  void Init() override;
  static GateRates RatesN(double v, double f, double tauKM2, double TempFactor);
  static GateRates RatesZ(double v);

 private:
  // The voltage the current sees (V): the dendrite's in "2-p-ActiveDend", else the soma's.
  double LocalVoltage() const;

  // Where the current sits, settled by Init from the geometry; before the first
  // Init it is looked up at every step.
  enum class Site : std::int8_t { Unknown, Soma, Dendrite };
  Site site_ = Site::Unknown;
  // The relaxation factor of zM, whose time constant is fixed, for the step it
  // was computed for.
  KeptFactor zRelax_;
};

// ---- KD slot: gates xD, yD, conductance gKD ----------------------------------

// Reverses at VKD.
class TLyleKD final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double xD, double yD, double) const override;
  void Init() override;
  static GateRates RatesX(double v, double f);
  static GateRates RatesY(double v, double f);
  static double OpenFraction(double xD, double yD) { return IntPower(4, xD * yD); }

 private:
  // The relaxation factor of xD, whose time constant is fixed, for the step
  // it was computed for.
  KeptFactor xRelax_;
};

// Reverses at VK; the inactivation has a fixed time constant of 7.5 s.
class TCumKD final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double xD, double yD, double) const override;
  void Init() override;
  static GateRates RatesX(double v);
  static GateRates RatesY(double v);

 private:
  // The relaxation factor of yD, whose time constant is fixed, for the step
  // it was computed for.
  KeptFactor yRelax_;
};

// ---- H slot: gate nH, conductance gH, reversal VH ----------------------------

// Opens on hyperpolarisation.
class TLyleH final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double nH, double, double) const override;
  void Init() override;
  static GateRates Rates(double v, double f);

 private:
  // The relaxation factor of nH, whose time constant is fixed, for the step
  // it was computed for.
  KeptFactor nRelax_;
};

// ---- TRarizaK: inline, so that a neuron's resolved step takes it whole -------

inline GateRates TRarizaK::Rates(double v, const NeuronProperties& np) {
  const double v1 = v - np.Tr_Na;
  const double alpha = np.a1K * LinExp(np.a2K - v1, np.a3K);
  const double beta = np.b1K * SafeExp((np.b2K - v1) / np.b3K);
  return FromAlphaBeta(alpha, beta);
}

inline double TRarizaK::Step() {
  UpdateGate(NV().nn, Rates(v(), NP()));
  return Conductance(NV().nn, NV().yK, 0.0) * NP().gK * (NV().V - NP().VK);
}

inline double TRarizaK::Conductance(double nn, double, double) const {
  return IntPower(4, nn) * (1.0 - NP().IfBlockK);
}

}  // namespace membrix
