// The procedural point neuron against the neuron object of the same family,
// one step each, in one run: the ratio of the two is what the analyses gain by
// driving the procedural form.

#include <benchmark/benchmark.h>

#include <memory>

#include "analysis/procedural_neuron.h"
#include "neuron/cond_based_neuron.h"
#include "neuron/neuron.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "run/session.h"

namespace {

constexpr double kInjected = 1e-4;  // mA/cm², a small steady current

void UseFamily(membrix::Session& s, const char* family) {
  s.NP0.HH_order = "1-point";
  s.NP0.If_I_V_or_g = 2;
  s.NP0.IfBlockNaR = 1;
  membrix::SelectModelFamily(s, family);
}

void BM_ProceduralStep(benchmark::State& state, const char* family, bool everyGate = false) {
  auto s = std::make_unique<membrix::Session>();
  UseFamily(*s, family);
  membrix::ProceduralGlobals g;
  g.everyGate = everyGate;
  s->NV0.V = s->NP0.Vrest;
  membrix::ProceduralRest(*s, g);
  s->stim.t_IindShift = 0.0;
  s->stim.t_Iind = 1e9;
  s->stim.Iind = kInjected * s->NP0.Square * 1e9;  // pA
  for (auto _ : state) {
    s->run.t += s->run.dt;
    membrix::ProceduralStep(*s, g);
    benchmark::DoNotOptimize(s->NV0.V);
  }
}

void BM_ObjectNeuronStep(benchmark::State& state, const char* family) {
  auto s = std::make_unique<membrix::Session>();
  UseFamily(*s, family);
  membrix::StandaloneClock clock;
  clock.dt = s->run.dt;
  std::unique_ptr<membrix::TNeuron> neuron = membrix::CreateNeuron(s->NP0, clock.View());
  if (auto* cb = dynamic_cast<membrix::TCondBasedNrn*>(neuron.get())) cb->ObserveSlots({});
  neuron->InitState();
  for (auto _ : state) {
    clock.t += clock.dt;
    neuron->Step(0, 0, 0, 0, 0, kInjected, 0);
    benchmark::DoNotOptimize(neuron->NV.V);
  }
}

BENCHMARK_CAPTURE(BM_ProceduralStep, Rariza, "Rariza");
// The same step advancing the gates of the currents without conductance as well.
BENCHMARK_CAPTURE(BM_ProceduralStep, Rariza/every_gate, "Rariza", true);
BENCHMARK_CAPTURE(BM_ObjectNeuronStep, Rariza, "Rariza");
BENCHMARK_CAPTURE(BM_ProceduralStep, Migliore, "Migliore");
BENCHMARK_CAPTURE(BM_ObjectNeuronStep, Migliore, "Migliore");
BENCHMARK_CAPTURE(BM_ProceduralStep, Lyle, "Lyle");
BENCHMARK_CAPTURE(BM_ObjectNeuronStep, Lyle, "Lyle");

}  // namespace
