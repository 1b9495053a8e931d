#pragma once
// The channel interface. A channel keeps no state of its own: its gates are
// fields of the neuron's state record, its parameters those of the neuron's own
// parameter copy. Kinetics are evaluated in mV and ms; the step dt is in seconds.

#include <limits>

#include "neuron/neuron.h"
#include "neuron/numerics.h"

namespace membrix {

// A gate-update factor kept from step to step: recomputed only when the step or
// the time constant it was made for changes, so it is always exactly the factor
// of the present step. For a gate whose time constant is fixed it is a constant
// of the run, and the exponential behind it is evaluated once.
class KeptFactor {
 public:
  template <class Compute>
  double Get(double dt, double tau, Compute compute) {
    if (dt != dt_ || tau != tau_) {
      value_ = compute(dt, tau);
      dt_ = dt;
      tau_ = tau;
    }
    return value_;
  }

 private:
  double dt_ = std::numeric_limits<double>::quiet_NaN();
  double tau_ = std::numeric_limits<double>::quiet_NaN();
  double value_ = 0.0;
};

// Steady state and time constant (ms) of one gate.
struct GateRates {
  double inf;
  double tau;
};

class TChannel {
 public:
  explicit TChannel(TNeuron* neuron) : Neuron(neuron) {}
  virtual ~TChannel() = default;
  TChannel(const TChannel&) = delete;
  TChannel& operator=(const TChannel&) = delete;

  // Advances the gates by one step and returns the current density (mA/cm²,
  // positive outward).
  virtual double Step() { throw AbstractOperationError("TChannel.Step"); }
  // Open fraction for the given gates, times (1 - block flag) of the slot and
  // the temperature factor where the kinetics have them.
  virtual double Conductance(double x1, double x2, double x3) const {
    (void)x1, (void)x2, (void)x3;
    throw AbstractOperationError("TChannel.Conductance");
  }
  // Every gate at its steady state for the present voltage.
  virtual void Init() { throw AbstractOperationError("TChannel.Init"); }
  // The longest time step (s) the kinetics are run with; a run lowers its step
  // to it before the neuron is initialised.
  virtual double LongestTimeStep() const { return std::numeric_limits<double>::infinity(); }
  // The slots (a bit per slot index) whose gates this channel's step reads
  // besides its own: such a slot must keep stepping while this one does,
  // whether or not it carries a current itself.
  virtual unsigned SlotsRead() const { return 0; }

  // Every gate moves through these. In a step the gate relaxes over dt toward
  // its steady state: x += (1 - exp(-dt/tau))·(x∞ - x), the factor computed
  // afresh or kept from the last step where tau is fixed. While the neuron's
  // derivatives are taken the gate is left where it is and its rate of change
  // (x∞ - x)/tau is written instead. An instantaneous gate (tau <= 0) is x∞ in
  // both, with no dynamics of its own.
  void UpdateGate(double& x, const GateRates& r) const;
  void UpdateGate(double& x, const GateRates& r, KeptFactor& kept) const;
  // The same with the forward-Euler factor dt/tau, unbounded, in the step.
  void UpdateGateEuler(double& x, const GateRates& r, KeptFactor& kept) const;
  // Any other state field: x += dt·rate in a step (rate per s), the rate
  // itself while the derivatives are taken.
  void Advance(double& x, double rate) const;
  bool TakingDerivatives() const { return Neuron->Derivatives() != nullptr; }

 protected:
  NeuronProperties& NP() const { return Neuron->NP; }
  NeuronVariables& NV() const { return Neuron->NV; }
  double dt() const { return Neuron->dt(); }
  // Soma voltage in mV, as the kinetics use it.
  double v() const { return 1000.0 * Neuron->NV.V; }

  TNeuron* const Neuron;
};

// Fills every slot a model has no current for.
class TNullChannel final : public TChannel {
 public:
  TNullChannel() : TChannel(nullptr) {}
  double Step() override { return 0.0; }
  double Conductance(double, double, double) const override { return 0.0; }
  void Init() override {}
};

// x / (exp(x/k) - 1), with its limit k*(1 - x/(2k)) where |x/k| < 1e-6.
inline double LinExp(double x, double k) {
  const double r = x / k;
  if (AbsValue(r) < 1e-6) return k * (1.0 - x / (2.0 * k));
  return x / (SafeExp(r) - 1.0);
}

// The classic rate shapes: c = 1 the linear-exponential form, c = 0 a plain
// exponential, otherwise x / (exp(x/k) - c). The tests on c are exact.
inline double HHRate(double x, double k, double c) {
  if (c == 1.0) return LinExp(x, k);
  if (c == 0.0) return SafeExp(x / k);
  return x / (SafeExp(x / k) - c);
}

inline double HHRateInv(double x, double k, double c) { return 1.0 / (SafeExp(x / k) - c); }

// Kinetic temperature factor 2.3^((Temp - 273 - Tref)/10), Temp in K, Tref in °C.
inline double TemperatureFactor(double Temp, double Tref) { return Power(2.3, (Temp - 273.0 - Tref) / 10.0); }

// Steady state and time constant from a forward and a backward rate (per ms).
inline GateRates FromAlphaBeta(double alpha, double beta) {
  const double s = alpha + beta;
  return {alpha / s, 1.0 / s};
}

// The forward-Euler relaxation factor, tau in ms: 1000·dt/tau with no limit,
// so a step longer than tau overshoots the steady state. A gate with tau <= 0
// jumps to its steady state.
inline double EulerFactor(double dt, double tau) { return tau > 0.0 ? 1000.0 * dt / tau : 1.0; }

// Writes the rate of change of a gate while the derivatives are taken; an
// instantaneous gate is set to its steady state instead.
inline void GateDerivative(const TNeuron& neuron, double& x, const GateRates& r) {
  if (r.tau > 0.0) {
    neuron.DerivativeOf(x) = 1000.0 * (r.inf - x) / r.tau;
  } else {
    x = r.inf;
  }
}

inline void TChannel::UpdateGate(double& x, const GateRates& r) const {
  if (TakingDerivatives()) return GateDerivative(*Neuron, x, r);
  x += Relax(dt(), r.tau) * (r.inf - x);
}

inline void TChannel::UpdateGate(double& x, const GateRates& r, KeptFactor& kept) const {
  if (TakingDerivatives()) return GateDerivative(*Neuron, x, r);
  x += kept.Get(dt(), r.tau, Relax) * (r.inf - x);
}

inline void TChannel::UpdateGateEuler(double& x, const GateRates& r, KeptFactor& kept) const {
  if (TakingDerivatives()) return GateDerivative(*Neuron, x, r);
  x += kept.Get(dt(), r.tau, EulerFactor) * (r.inf - x);
}

inline void TChannel::Advance(double& x, double rate) const {
  if (TakingDerivatives()) {
    Neuron->DerivativeOf(x) = rate;
  } else {
    x += dt() * rate;
  }
}

}  // namespace membrix
