#pragma once
// Error-controlled integration of the conductance-based neuron by CVODE
// (SUNDIALS): variable-order BDF with a dense direct solver, the step chosen so
// that the local error stays within the relative and absolute tolerances.
//
// The state is every field the neuron's right-hand side writes a rate for
// (the voltage, the gates and occupancies that step, the Ca pool, the dynamic
// threshold, the imported channels' gates), found once at set-up, and under
// ion dynamics the intracellular Na and K and the cell volume. The run's
// sample grid stays as it is: the integrator is asked for the state at each
// sample time and interpolates there, whatever steps it takes. The inputs are
// held over each sample interval; where they change the integration restarts
// at the interval's start, so a stimulus edge is never stepped over. Peaks of
// the voltage are located by root finding on its slope.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "neuron/neuron_variables.h"

namespace membrix {

class TCondBasedNrn;
class TIons;
struct NeuronProperties;

// How a run integrates the neuron's equations.
enum class IntegratorKind : std::int32_t {
  FixedStep = 0,  // the model's own first-order step at the run's dt
  Cvode = 1,      // error-controlled, variable step and order
};

struct IntegratorSettings {
  IntegratorKind kind = IntegratorKind::FixedStep;
  // Relative tolerance, and the absolute tolerance of a gate; the voltage's
  // absolute tolerance is atol in mV, the Ca pool's atol in µM, the Na and K
  // concentrations' atol in mM.
  double rtol = 1e-6;
  double atol = 1e-6;
};

// What the error-controlled integrator did over a run.
struct IntegratorWork {
  long steps = 0;        // internal steps
  long evaluations = 0;  // right-hand sides evaluated (steps, Jacobians, root checks, samples)
  long restarts = 0;     // restarts at changes of the inputs
};

// "fixed" or "cvode"; throws membrix::Error for anything else.
IntegratorKind IntegratorFromName(const std::string& name);
const char* IntegratorName(IntegratorKind kind);
// Throws membrix::RangeError unless both tolerances are positive and finite
// and rtol is below 1.
void CheckTolerances(const IntegratorSettings& settings);

// The byte offsets, in the neuron's record, of its state fields: those its
// right-hand side writes a rate for at the present state.
std::vector<std::ptrdiff_t> StateFieldsOf(TCondBasedNrn& neuron);
inline double& FieldAt(NeuronVariables& nv, std::ptrdiff_t offset) {
  return *reinterpret_cast<double*>(reinterpret_cast<char*>(&nv) + offset);
}

// The inputs of the neuron over one sample interval.
struct HeldInputs {
  double uDend = 0.0, sDend = 0.0, uSoma = 0.0, sSoma = 0.0, gNMDA = 0.0, Iext = 0.0, Vclamp = 0.0;
  friend bool operator==(const HeldInputs&, const HeldInputs&) = default;
};

class TVariableStepIntegrator {
 public:
  // Takes a neuron whose state has been initialised, at time t0 (s), and the
  // ion concentrations set up on its parameters (or none: ion dynamics off),
  // which it integrates with the neuron and writes back at every sample.
  // Throws membrix::Error where the neuron's equations have no right-hand side.
  TVariableStepIntegrator(TCondBasedNrn& neuron, double t0, const IntegratorSettings& settings,
                          double peakLevel, TIons* ions = nullptr);
  ~TVariableStepIntegrator();
  TVariableStepIntegrator(const TVariableStepIntegrator&) = delete;
  TVariableStepIntegrator& operator=(const TVariableStepIntegrator&) = delete;

  // Advances to t (s) with the inputs held at `in` since the last sample, and
  // leaves the neuron's record at the state at t, its currents and
  // conductances evaluated there. Throws membrix::DivergenceError when the
  // integrator cannot meet its tolerances.
  void AdvanceTo(double t, const HeldInputs& in);

  // The voltage peaks located up to the last sample and not dropped (time in
  // s, V in V), in order; only peaks above the level given at set-up count.
  struct Peak {
    double t;
    double V;
  };
  const std::vector<Peak>& Peaks() const { return peaks_; }
  void DropPeaksBefore(double t);

  // Steps taken, right-hand sides evaluated and restarts so far.
  IntegratorWork Work() const { return {Steps(), evaluations_, restarts_}; }
  long Steps() const;
  long Evaluations() const { return evaluations_; }
  long Restarts() const { return restarts_; }
  int StateSize() const { return static_cast<int>(fields_.size()); }

 private:
  struct Sundials;
  void LoadState(const double* y);
  void Evaluate(const double* y, double* ydot);
  void Restart(double t);

  TCondBasedNrn& neuron_;
  TIons* ions_;                          // null while ion dynamics is off
  std::vector<std::ptrdiff_t> fields_;  // byte offsets of the state fields in the record
  std::size_t vIndex_ = 0;              // the voltage's place among them
  std::optional<std::size_t> dendriteIndex_;  // the dendrite's voltage's, in two compartments
  NeuronVariables rates_{};
  HeldInputs in_{};
  bool started_ = false;
  double t_ = 0.0;
  double peakLevel_;
  std::vector<Peak> peaks_;
  std::vector<Peak> peaksAhead_;  // located beyond the last sample, in order
  long evaluations_ = 0;
  long restarts_ = 0;
  std::unique_ptr<Sundials> sun_;
};

}  // namespace membrix
