#include <benchmark/benchmark.h>

#include <memory>

#include "neuron/neuron.h"
#include "params/model_defaults.h"

namespace {

// One step of a single-compartment neuron of the family, from its defaults and
// its resting state, with a small steady injected current.
void BM_PotassiumFamilyNeuronStep(benchmark::State& state, const char* family) {
  membrix::NeuronProperties np;
  np.HH_type = family;
  np.HH_order = "1-point";
  np.If_I_V_or_g = 2;
  membrix::StandaloneClock clock;
  membrix::SetDefaults(np, clock.Vus);
  std::unique_ptr<membrix::TNeuron> neuron = membrix::CreateNeuron(np, clock.View());
  neuron->InitState();
  const double Iext = 1e-4;  // mA/cm²
  for (auto _ : state) {
    clock.t += clock.dt;
    neuron->Step(0, 0, 0, 0, 0, Iext, 0);
    benchmark::DoNotOptimize(neuron->NV.V);
  }
}
BENCHMARK_CAPTURE(BM_PotassiumFamilyNeuronStep, Rariza, "Rariza");
BENCHMARK_CAPTURE(BM_PotassiumFamilyNeuronStep, Destexhe, "Destexhe");
BENCHMARK_CAPTURE(BM_PotassiumFamilyNeuronStep, Lyle, "Lyle");
BENCHMARK_CAPTURE(BM_PotassiumFamilyNeuronStep, Migliore, "Migliore");
BENCHMARK_CAPTURE(BM_PotassiumFamilyNeuronStep, Cummins, "Cummins");
BENCHMARK_CAPTURE(BM_PotassiumFamilyNeuronStep, Chow, "Chow");
BENCHMARK_CAPTURE(BM_PotassiumFamilyNeuronStep, Naundorf, "Naundorf");
BENCHMARK_CAPTURE(BM_PotassiumFamilyNeuronStep, White, "White");
BENCHMARK_CAPTURE(BM_PotassiumFamilyNeuronStep, Shu, "Shu");
BENCHMARK_CAPTURE(BM_PotassiumFamilyNeuronStep, Bazhenov, "Bazhenov");

}  // namespace
