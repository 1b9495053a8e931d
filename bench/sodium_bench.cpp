#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

#include "neuron/neuron.h"
#include "params/model_defaults.h"

namespace {

// One step of a whole neuron of a model family whose sodium currents are the
// gate-based schemes: the family's defaults, a resting start, then a constant
// injected current Iext (mA/cm²). Na_type and NaR_type are set before the
// defaults, which overwrite them where the family names its own.
void BM_SodiumFamilyNeuronStep(benchmark::State& state, const char* HH_type, const char* HH_order,
                               const char* Na_type, const char* NaR_type, double Iext) {
  membrix::NeuronProperties np;
  np.HH_type = HH_type;
  np.HH_order = HH_order;
  np.Na_type = Na_type;
  np.NaR_type = NaR_type;
  np.If_I_V_or_g = 2;
  double Vus = 0.0;
  membrix::SetDefaults(np, Vus);
  membrix::StandaloneClock clock;
  clock.Vus = Vus;
  auto neuron = membrix::CreateNeuron(np, clock.View());
  neuron->InitState();
  for (auto _ : state) {
    clock.t += clock.dt;
    neuron->Step(0, 0, 0, 0, 0, Iext, 0);
    benchmark::DoNotOptimize(neuron->NV.V);
  }
  if (!std::isfinite(neuron->NV.V)) state.SkipWithError("the membrane voltage left the finite range");
}

BENCHMARK_CAPTURE(BM_SodiumFamilyNeuronStep, Rariza, "Rariza", "1-point", "Rariza", "Rariza", 0.002);
BENCHMARK_CAPTURE(BM_SodiumFamilyNeuronStep, Destexhe, "Destexhe", "1-point", "Rariza", "Rariza", 0.002);
BENCHMARK_CAPTURE(BM_SodiumFamilyNeuronStep, Migliore, "Migliore", "1-point", "Migliore", "Migliore", 0.002);
// The Cummins family derives a negative leak from its strong resting currents
// and runs away after its first spike, so it is timed at rest.
BENCHMARK_CAPTURE(BM_SodiumFamilyNeuronStep, Cummins, "Cummins", "1-point", "Cummins", "Cummins", 0.0);
BENCHMARK_CAPTURE(BM_SodiumFamilyNeuronStep, Chow, "Chow", "1-point", "Chow", "Chow", 0.002);
BENCHMARK_CAPTURE(BM_SodiumFamilyNeuronStep, Naundorf, "Naundorf", "1-point", "Naundorf", "", 0.002);
BENCHMARK_CAPTURE(BM_SodiumFamilyNeuronStep, White, "White", "1-point", "White", "", 0.002);
BENCHMARK_CAPTURE(BM_SodiumFamilyNeuronStep, White2, "White2", "1-point", "White2", "", 0.002);
BENCHMARK_CAPTURE(BM_SodiumFamilyNeuronStep, Shu, "Shu", "1-point", "Shu", "Shu", 0.002);
// The Bazhenov family is built for the two-compartment geometry its defaults describe.
BENCHMARK_CAPTURE(BM_SodiumFamilyNeuronStep, Bazhenov, "Bazhenov", "2-p-MainenSejn", "Bazhenov", "Bazhenov",
                  0.002);
// The schemes no family chooses by default, on a passive membrane.
BENCHMARK_CAPTURE(BM_SodiumFamilyNeuronStep, PassiveFleid, "Passive", "1-point", "Fleid", "", 0.002);
BENCHMARK_CAPTURE(BM_SodiumFamilyNeuronStep, PassiveLyleMS, "Passive", "1-point", "LyleMS", "LyleMS", 0.002);

}  // namespace
