// One step of the conductance-based neuron of every model family, from the
// family's defaults and its resting state, under a steady injected current:
// "firing" drives a spike train (or, where a family cannot fire from one point,
// as close as it gets), "rest" holds the membrane just above rest. Each result
// carries the step's floor: the time its exponentials and divisions take alone.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "neuron/cond_based_neuron.h"
#include "neuron/neuron.h"
#include "params/model_defaults.h"
#include "step_floor.h"

namespace {

using namespace membrix;
using membrix::bench::StepOps;

struct StepCase {
  const char* HH_type;
  const char* HH_order;
  const char* Na_type;   // set before the defaults, which overwrite it where the family names its own
  const char* NaR_type;  // likewise
  double Iext;           // mA/cm²
  StepOps ops;           // per step, at this operating point
};

// The neuron a case describes, initialised, with a clock of its own.
struct CaseNeuron {
  StandaloneClock clock;
  std::unique_ptr<TNeuron> neuron;

  // everyGate: every gate advances, as when a view shows them all; otherwise
  // the slots without current and unseen stay at rest, as in a run that draws
  // nothing.
  explicit CaseNeuron(const StepCase& c, bool everyGate = false) {
    NeuronProperties np;
    np.HH_type = c.HH_type;
    np.HH_order = c.HH_order;
    np.Na_type = c.Na_type;
    np.NaR_type = c.NaR_type;
    np.If_I_V_or_g = 2;
    SetDefaults(np, clock.Vus);
    neuron = CreateNeuron(np, clock.View());
    if (auto* cb = dynamic_cast<TCondBasedNrn*>(neuron.get()); cb != nullptr && !everyGate) cb->ObserveSlots({});
    neuron->InitState();
  }
};

// One step as a run makes it. Not inlined, so that count_step_ops.py can
// measure what happens inside it.
[[gnu::noinline]] void AdvanceOneStep(TNeuron& neuron, StandaloneClock& clock, double Iext) {
  clock.t += clock.dt;
  neuron.Step(0, 0, 0, 0, 0, Iext, 0);
}

// The object form: the neuron object with its channel objects.
void BM_NeuronStep(benchmark::State& state, StepCase c, bool everyGate = false) {
  CaseNeuron n(c, everyGate);
  for (auto _ : state) {
    AdvanceOneStep(*n.neuron, n.clock, c.Iext);
    benchmark::DoNotOptimize(n.neuron->NV.V);
  }
  bench::ReportFloor(state, c.ops, [&](int steps) {
    for (int i = 0; i < steps; ++i) AdvanceOneStep(*n.neuron, n.clock, c.Iext);
  });
  if (!std::isfinite(n.neuron->NV.V)) state.SkipWithError("the membrane voltage left the finite range");
}

// The procedural form (the step on the session's own records) has its own
// comparison with the object form in procedural_bench.cpp. Its floor, case by
// case, goes here: a BM_ProceduralStep(state, StepCase) set up from the same
// case, and a second line per case below with the suffix "/procedural".

constexpr double kFiring = 0.002;
constexpr double kRest = 1e-4;

// The counts are those of count_step_ops.py for each case.
#define MEMBRIX_STEP(name, ...) BENCHMARK_CAPTURE(BM_NeuronStep, name, StepCase{__VA_ARGS__})

MEMBRIX_STEP(Rariza/firing, "Rariza", "1-point", "Rariza", "Rariza", kFiring, {9.0, 25.0});
MEMBRIX_STEP(Destexhe/firing, "Destexhe", "1-point", "Rariza", "Rariza", kFiring, {19.0, 48.0});
MEMBRIX_STEP(Migliore/firing, "Migliore", "1-point", "Migliore", "Migliore", kFiring, {13.7, 25.9});
MEMBRIX_STEP(Chow/firing, "Chow", "1-point", "Chow", "Chow", kFiring, {8.0, 18.0});
MEMBRIX_STEP(Naundorf/firing, "Naundorf", "1-point", "Naundorf", "", kFiring, {14.0, 32.0});
MEMBRIX_STEP(White/firing, "White", "1-point", "White", "", kFiring, {9.9, 17.0});
MEMBRIX_STEP(White2/firing, "White2", "1-point", "White2", "", kFiring, {1.0, 8.0});
MEMBRIX_STEP(Shu/firing, "Shu", "1-point", "Shu", "Shu", kFiring, {10.0, 32.0});
// The Bazhenov family is built for the two-compartment geometry its defaults describe.
MEMBRIX_STEP(Bazhenov/firing, "Bazhenov", "2-p-MainenSejn", "Bazhenov", "Bazhenov", kFiring, {10.0, 38.0});
// The schemes no family chooses by default, on a passive membrane. Their
// maximal conductances are 0 there, so they advance only as gates that are shown.
#define MEMBRIX_SHOWN_STEP(name, ...) BENCHMARK_CAPTURE(BM_NeuronStep, name, StepCase{__VA_ARGS__}, true)
MEMBRIX_SHOWN_STEP(PassiveFleid/firing, "Passive", "1-point", "Fleid", "", kFiring, {19.0, 45.0});
MEMBRIX_SHOWN_STEP(PassiveLyleMS/firing, "Passive", "1-point", "LyleMS", "LyleMS", kFiring, {21.0, 36.0});

MEMBRIX_STEP(Rariza/rest, "Rariza", "1-point", "", "", kRest, {9.0, 25.0});
MEMBRIX_STEP(Destexhe/rest, "Destexhe", "1-point", "", "", kRest, {19.0, 48.0});
MEMBRIX_STEP(Lyle/rest, "Lyle", "1-point", "", "", kRest, {31.0, 57.0});
MEMBRIX_STEP(Migliore/rest, "Migliore", "1-point", "", "", kRest, {13.9, 26.0});
// The Cummins family derives a negative leak from its strong resting currents
// and runs away after its first spike, even under 1e-4 mA/cm², so it is timed
// without input.
MEMBRIX_STEP(Cummins/rest, "Cummins", "1-point", "", "", 0.0, {19.0, 39.0});
MEMBRIX_STEP(Chow/rest, "Chow", "1-point", "", "", kRest, {8.0, 18.0});
MEMBRIX_STEP(Naundorf/rest, "Naundorf", "1-point", "", "", kRest, {14.0, 32.0});
MEMBRIX_STEP(White/rest, "White", "1-point", "", "", kRest, {10.0, 17.0});
MEMBRIX_STEP(Shu/rest, "Shu", "1-point", "", "", kRest, {10.0, 32.0});
MEMBRIX_STEP(Bazhenov/rest, "Bazhenov", "1-point", "", "", kRest, {10.0, 32.0});
// The after-potential currents and the M current nearly alone, shown.
MEMBRIX_SHOWN_STEP(Passive/rest, "Passive", "1-point", "", "", kRest, {10.0, 24.0});
#undef MEMBRIX_SHOWN_STEP

// Side by side with the same step advancing every gate, as when all are shown.
BENCHMARK_CAPTURE(BM_NeuronStep, Rariza/firing/every_gate,
                  StepCase{"Rariza", "1-point", "Rariza", "Rariza", kFiring, {22.0, 48.0}}, true);
BENCHMARK_CAPTURE(BM_NeuronStep, Lyle/rest/every_gate, StepCase{"Lyle", "1-point", "", "", kRest, {56.0, 105.0}},
                  true);

#undef MEMBRIX_STEP

}  // namespace
