#pragma once
// The transient sodium currents of the Na slot: gate-based kinetic schemes with
// activation mm, inactivation hh and, where the scheme has one, slow
// inactivation ii. Each yields Conductance(gates)*gNa*(V - VNa).

#include <limits>

#include "channels/channel.h"
#include "channels/procedural/rariza_kinetics.h"

namespace membrix {

// Steady states and time constants (ms) of the three gates of a sodium scheme
// at one voltage: activation m, inactivation h, slow inactivation s. An
// instantaneous gate has tau 0; a gate the scheme lacks is left at {0, 0}.
struct SodiumRates {
  GateRates m;
  GateRates h;
  GateRates s;
};

// The three gates moved over one step toward their steady states (or their
// rates of change taken), in the order m, h, s.
inline void UpdateSodiumGates(const TChannel& channel, double& m, double& h, double& s, const SodiumRates& r) {
  channel.UpdateGate(m, r.m);
  channel.UpdateGate(h, r.h);
  channel.UpdateGate(s, r.s);
}

// The three gates at their steady states.
inline void SetSodiumSteadyState(double& m, double& h, double& s, const SodiumRates& r) {
  m = r.m.inf;
  h = r.h.inf;
  s = r.s.inf;
}

// The parametric classic form: sixteen rate coefficients a1Na..d4Na, voltage
// measured from Tr_Na, the activation further shifted by NaThreshShift, and a
// switchable slow inactivation.
class TRarizaNa final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mm, double hh, double ii) const override;  // mm³·hh·ii
  void Init() override;
  // v in mV; the coefficients, offsets and switch come from np.
  static SodiumRates Rates(double v, const NeuronProperties& np);

 private:
  // The activation and the fast inactivation alone; s is left at {0, 0}.
  static SodiumRates FastRates(double v, const NeuronProperties& np);
};

class TMigliNa final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mm, double hh, double ii) const override;  // mm³·hh·ii
  void Init() override;
  static SodiumRates Rates(double v, const NeuronProperties& np);
  // The kinetics at the voltage they see (vs, mV), shared with the resurgent
  // Migliore channel; without slow inactivation s∞ is 1.
  static SodiumRates Kinetics(double vs, bool slowInactivation);
};

// Slow inactivation always on; NaThreshShift moves the activation only.
class TCumNa final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mm, double hh, double ii) const override;  // mm³·hh·ii
  void Init() override;
  static SodiumRates Rates(double v, const NeuronProperties& np);
};

// Instantaneous activation; kinetics and conductance scaled by TempFactor
// (reference 36 °C).
class TChowNa final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mm, double hh, double ii) const override;  // TempFactor·mm³·hh·ii³
  void Init() override;
  static SodiumRates Rates(double v, const NeuronProperties& np);
};

// Time constants divided by TempFactor (reference 23 °C); the conductance is not scaled.
class TFleidNa final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mm, double hh, double ii) const override;  // mm³·hh·ii
  void Init() override;
  static SodiumRates Rates(double v, const NeuronProperties& np);
};

// Kinetics seen 5 mV below the membrane voltage; TempFactor (reference 23 °C)
// speeds the gates and scales the conductance.
class TShuNa final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mm, double hh, double) const override;  // TempFactor·mm³·hh
  void Init() override;
  static SodiumRates Rates(double v, const NeuronProperties& np);
  // The kinetics at the voltage they see (vs, mV), shared with the resurgent Shu channel.
  static SodiumRates Kinetics(double vs, double TempFactor);
};

class TBazhNa final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mm, double hh, double) const override;  // TempFactor·mm³·hh
  void Init() override;
  static SodiumRates Rates(double v, const NeuronProperties& np);
  // The kinetics at the voltage they see (vs, mV), shared with the resurgent Bazhenov channel.
  static SodiumRates Kinetics(double vs, double TempFactor);
};

// Thermodynamic (Boltzmann-rate) form in F/RT, with floors on both time constants.
class TLyleMSNa final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mm, double hh, double) const override;  // mm·hh²
  void Init() override;
  static SodiumRates Rates(double v, const NeuronProperties& np);
};

// Cooperative activation: the activation curve moves with the neuron's AHP gate
// by c = (0.1 - wAHP)·KJ_NaCooperativity. The current uses the steady-state
// activation m∞³·hh; the relaxed mm is kept for the neuron's conductance sum.
class TNaundorfNa final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mm, double hh, double) const override;  // mm³·hh
  void Init() override;
  unsigned SlotsRead() const override;  // the AHP gate
  // c is the cooperative shift of the activation (mV).
  static SodiumRates Rates(double v, double c, const NeuronProperties& np);
};

// Instantaneous activation, NaThreshShift on the activation only.
class TWhiteNa final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mm, double hh, double) const override;  // mm·hh
  void Init() override;
  static SodiumRates Rates(double v, const NeuronProperties& np);
};

// The Na current of the White2 family. It has no block factor: it keeps
// carrying current when IfBlockNa is set (the threshold model sets it).
class TWhite2Na final : public TChannel {
 public:
  using TChannel::TChannel;
  double Step() override;
  double Conductance(double mm, double hh, double) const override;  // mm·hh³
  void Init() override;
  static SodiumRates Rates(double v, const NeuronProperties& np);

 private:
  // The relaxation factor of hh, whose time constant is fixed, for the step it
  // was computed for.
  KeptFactor hRelax_;
};

// ---- TRarizaNa: inline, so that a neuron's resolved step takes it whole ------

inline SodiumRates TRarizaNa::FastRates(double v, const NeuronProperties& np) {
  const GatePairOf<double> r = RarizaNaGates(v, np);
  return {{r.m.inf, r.m.tau}, {r.h.inf, r.h.tau}, {}};
}

inline SodiumRates TRarizaNa::Rates(double v, const NeuronProperties& np) {
  SodiumRates r = FastRates(v, np);
  const double vp = v - np.Tr_Na;
  const double as = 0.0077 / (1.0 + SafeExp((vp - 18.0) / 9.0));
  const double bs = 0.0077 / (1.0 + SafeExp((18.0 - vp) / 9.0));
  r.s = FromAlphaBeta(as, bs);
  if (np.If_Slow_Na_inactivation != 1) r.s.inf = 1.0;
  return r;
}

inline double TRarizaNa::Step() {
  NeuronVariables& nv = NV();
  const NeuronProperties& np = NP();
  if (np.If_Slow_Na_inactivation != 1 && nv.ii == 1.0) {
    // The slow inactivation is off and fully open: ii relaxes toward 1 and stays
    // exactly there whatever its time constant, so only mm and hh need rates.
    const SodiumRates r = FastRates(v(), np);
    UpdateGate(nv.mm, r.m);
    UpdateGate(nv.hh, r.h);
  } else {
    UpdateSodiumGates(*this, nv.mm, nv.hh, nv.ii, Rates(v(), np));
  }
  return Conductance(nv.mm, nv.hh, nv.ii) * np.gNa * (nv.V - np.VNa);
}

inline double TRarizaNa::Conductance(double mm, double hh, double ii) const {
  return mm * mm * mm * hh * ii * (1 - NP().IfBlockNa);
}

}  // namespace membrix
