#pragma once
// The abstract neuron: its own parameter copy NP, its state NV, and the six
// operations through which runs and analyses drive every neuron model.

#include <limits>
#include <memory>
#include <string>

#include "common/error.h"
#include "neuron/neuron_variables.h"
#include "params/neuron_properties.h"

namespace membrix {

// A membrane voltage (V) no model reaches (no reversal potential of the
// program exceeds 0.12 V): beyond it the integration has diverged.
inline constexpr double kDivergedVoltage = 1.0;

// Read-only view of the run a neuron belongs to: the model time t and the step
// dt (seconds) and the reversal potential Vus of the u - s input (volts). The
// values live in the session (or in a test's own clock) and change as the run
// advances; the neuron only reads them.
struct RunView {
  const double* t;
  const double* dt;
  const double* Vus;
};

// A clock of its own for code that drives a neuron outside a session (tests,
// tools). Not copyable: a RunView taken from it points into it.
struct StandaloneClock {
  double t = 0.0;
  double dt = 5e-5;
  double Vus = -0.065;
  StandaloneClock() = default;
  StandaloneClock(const StandaloneClock&) = delete;
  StandaloneClock& operator=(const StandaloneClock&) = delete;
  RunView View() const { return {&t, &dt, &Vus}; }
};

class TNeuron {
 public:
  explicit TNeuron(RunView clock) : clock_(clock) {}
  virtual ~TNeuron() = default;
  TNeuron(const TNeuron&) = delete;
  TNeuron& operator=(const TNeuron&) = delete;

  // The six operations, in their slot order. Each raises AbstractOperationError
  // unless the class provides it.
  virtual double InputConductance() { throw AbstractOperationError("InputConductance"); }
  virtual void InitState() { throw AbstractOperationError("InitState"); }
  virtual void ResetAfterSpike() { throw AbstractOperationError("ResetAfterSpike"); }
  virtual void CheckSpike() { throw AbstractOperationError("CheckSpike"); }
  virtual void Currents(double& IionCh, double& IionDend, double& gSum) {
    (void)IionCh, (void)IionDend, (void)gSum;
    throw AbstractOperationError("Currents");
  }
  // Advances the neuron from t - dt to t; the caller has already advanced t.
  virtual void Step(double uDend, double sDend, double uSoma, double sSoma, double gNMDA, double Iext,
                    double Vclamp) {
    (void)uDend, (void)sDend, (void)uSoma, (void)sSoma, (void)gNMDA, (void)Iext, (void)Vclamp;
    throw AbstractOperationError("Step");
  }

  // The longest time step (s) the neuron's kinetics are run with (no limit by default).
  virtual double LongestTimeStep() const { return std::numeric_limits<double>::infinity(); }

  double t() const { return *clock_.t; }
  double dt() const { return *clock_.dt; }
  double Vus() const { return *clock_.Vus; }
  RunView clock() const { return clock_; }

  NeuronProperties NP;
  NeuronVariables NV;

  // While the right-hand side of the neuron's equations is evaluated: the
  // record that takes the rate of change (per s) of each state field, field
  // for field; the state is then read, not advanced. Null during a step.
  NeuronVariables* Derivatives() const { return derivatives_; }
  void SetDerivatives(NeuronVariables* sink) { derivatives_ = sink; }
  // The field of the derivative record that stands beside a field of NV.
  double& DerivativeOf(const double& field) const {
    const auto offset = reinterpret_cast<const char*>(&field) - reinterpret_cast<const char*>(&NV);
    return *reinterpret_cast<double*>(reinterpret_cast<char*>(derivatives_) + offset);
  }

 private:
  RunView clock_;
  NeuronVariables* derivatives_ = nullptr;
};

// Makes the neuron the record asks for: the integrate-and-fire neuron when
// LIF_model is 1, else the threshold neuron when ThrModel is 1, else the
// conductance-based neuron. The new neuron holds a copy of the record.
std::unique_ptr<TNeuron> CreateNeuron(const NeuronProperties& np, RunView clock);

}  // namespace membrix
