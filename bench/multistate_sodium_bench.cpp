#include <benchmark/benchmark.h>

#include <memory>

#include "channels/multistate_schemes.h"
#include "neuron/neuron.h"
#include "params/model_defaults.h"

namespace {

using namespace membrix;

// One neuron step of the "Lyle" family with its defaults, firing under a
// depolarising current, with the Na kinetics the record asks for.
void StepNeuron(benchmark::State& state, const char* Na_type, const char* Na_subtype) {
  NeuronProperties np;
  np.HH_type = "Lyle";
  np.HH_order = "1-point";
  np.If_I_V_or_g = 2;
  double vus = 0.0;
  SetDefaults(np, vus);
  np.Na_type = Na_type;
  np.Na_subtype = Na_subtype;
  StandaloneClock clock;
  clock.dt = 2e-5;
  std::unique_ptr<TNeuron> nrn = CreateNeuron(np, clock.View());
  nrn->InitState();
  const double Iext = 0.002;  // mA/cm2, a regular spike train
  for (auto _ : state) {
    clock.t += clock.dt;
    nrn->Step(0, 0, 0, 0, 0, Iext, 0);
    benchmark::DoNotOptimize(nrn->NV.V);
  }
}

void BM_LyleNeuronStep(benchmark::State& state) { StepNeuron(state, "Lyle", "Lyle-4"); }
BENCHMARK(BM_LyleNeuronStep);

void BM_Milescu26NeuronStep(benchmark::State& state) { StepNeuron(state, "Milescu", "Milescu-26"); }
BENCHMARK(BM_Milescu26NeuronStep);

// The occupancy update alone at rest: the frozen-inflow relaxation of the
// four-state scheme, and the implicit step the 26-state scheme needs there.
void AdvanceAtRest(benchmark::State& state, int N, bool lyle) {
  Transitions K;
  if (lyle) {
    BuildLyleTransitions(LyleScheme::Lyle4, -65.0, 0.0, K);
  } else {
    BuildMilescuTransitions(MilescuScheme::Milescu26, -65.0, K);
  }
  Occupancies P{};
  StationaryOccupancies(N, K, P);
  const LastState last = lyle ? LastState::Unclipped : LastState::ClippedAtZero;
  for (auto _ : state) {
    AdvanceOccupancies(N, K, 2e-5, last, P);
    benchmark::DoNotOptimize(P);
  }
}

void BM_Lyle4OccupancyStep(benchmark::State& state) { AdvanceAtRest(state, 4, true); }
BENCHMARK(BM_Lyle4OccupancyStep);

void BM_Milescu26OccupancyStep(benchmark::State& state) { AdvanceAtRest(state, 26, false); }
BENCHMARK(BM_Milescu26OccupancyStep);

}  // namespace
