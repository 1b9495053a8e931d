#pragma once
// The clamp run: one neuron under one protocol from t = 0 to t_end, drawn,
// optionally written, compared with the recording of the run. Returns the
// root-mean-square deviation of the model value from the recording.

#include <memory>
#include <string>

#include "params/neuron_properties.h"
#include "run/host.h"
#include "run/run_view_sink.h"
#include "run/stimulus.h"

namespace membrix {

struct NeuronVariables;
struct Session;
class TNeuron;
class TVariableStepIntegrator;

// Moves a run's neuron from one sample to the next: the electrode, the ion
// concentrations and the model's own fixed step, or the error-controlled
// integrator when the run settings choose it (refusing, at set-up, what it
// cannot integrate, with the reason).
class TRunAdvance {
 public:
  // Takes the neuron after InitState, at the run's present time. With ions,
  // the session's ion concentrations move with the neuron (when ion dynamics
  // is on); a sweep whose fixed step leaves them alone passes false.
  TRunAdvance(Session& s, TNeuron& neuron, bool withIons = true);
  ~TRunAdvance();
  TRunAdvance(const TRunAdvance&) = delete;
  TRunAdvance& operator=(const TRunAdvance&) = delete;

  // To the run's present time t from the last sample, with the inputs of
  // this sample; extraCurrent (mA/cm²) is injected at the soma beside them,
  // past the electrode.
  void Step(Session& s, TNeuron& neuron, StepInputs in, double extraCurrent = 0.0);
  // After the spike detector's pass: under error control a spike the detector
  // has just marked takes the located peak's time and voltage. Returns
  // whether it changed the neuron's record.
  bool AfterDetection(Session& s, TNeuron& neuron);
  // The run's clock starts again from 0 at its present time (the thresholds
  // sweep restarts it at a spike); the integration goes on through it.
  void RestartClock(const Session& s);
  // Whether the error-controlled integrator advances the neuron.
  bool ErrorControlled() const { return variableStep_ != nullptr; }

 private:
  std::unique_ptr<TVariableStepIntegrator> variableStep_;
  bool withIons_;
  double clockOffset_ = 0.0;  // the integrator's time when the run's clock read 0
};

double RunClamp(Session& s, Host& host, RunViewSink& views);

// The note a diverged run leaves in SimplexMemo.
std::string DivergenceNote(const Session& s, const NeuronProperties& np);

// Sets the state copy, time and per-run bookkeeping to the start of a run,
// and loads the threshold table of the model family.
void ResetRunState(Session& s);

// The same without the threshold table: V at Vrest, no spike yet, the clock at
// 0, the spike statistics and the stimulus state cleared, and the start state
// taken from the state copy as it stands.
void StartRunAtRest(Session& s);

// The model value comparable with the recording at this step (Vr), by clamp mode.
void ModelTraceValue(Session& s, const NeuronProperties& np);
// The same from a state other than the session's copy.
void ModelTraceValue(Session& s, const NeuronProperties& np, const NeuronVariables& nv);

}  // namespace membrix
