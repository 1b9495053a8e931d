// The noise ensemble's squid-axon members, one block of 32 over 2400 steps of
// 0.05 ms: one member after another (NoiseMember) against the block stepped
// together in registers of each width this processor has. The counter
// ns_per_neuron_step (the CPU time per member and step, in ns, although Google
// Benchmark prints it with an "s") includes the noise draws and the spike
// detection.

#include <benchmark/benchmark.h>

#include <memory>

#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "population/ensemble_kernel.h"
#include "run/clamp_run.h"
#include "run/independent_runs.h"
#include "run/session.h"

namespace {

constexpr std::int64_t kMembers = 32;

// The ensemble window's defaults: 120 ms at 0.05 ms, 300 pA, 3 mV.
const membrix::EnsembleInputs kEnsemble{};

std::unique_ptr<membrix::Session> NoiseBase() {
  auto s = std::make_unique<membrix::Session>();
  membrix::ApplyProgramStart(*s);
  membrix::SelectModelFamily(*s, "Rariza");
  s->stim.uu = s->stim.ss = 0.0;
  membrix::ApplyEnsembleProblem(*s, kEnsemble);
  membrix::SelectEnsembleModel(*s, membrix::EnsembleModel::ConductanceBased);
  s->prog.NoiseToSignal = 1.0;
  membrix::ResetRunState(*s);
  return s;
}

void Count(benchmark::State& state, const membrix::Session& base) {
  const double steps = static_cast<double>(kMembers) * static_cast<double>(base.run.nt_end);
  state.counters["ns_per_neuron_step"] = benchmark::Counter(
      steps * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_NoiseBlock_OneByOne(benchmark::State& state) {
  const auto base = NoiseBase();
  auto copy = std::make_unique<membrix::Session>(*base);
  for (auto _ : state) {
    for (std::int64_t i = 0; i < kMembers; ++i) {
      copy->NP0 = base->NP0;
      copy->NV0 = base->NV0;
      copy->run = base->run;
      copy->stim = base->stim;
      copy->spikes = base->spikes;
      copy->random.set_state(membrix::RunSeed(i));
      benchmark::DoNotOptimize(membrix::NoiseMember(*copy, kEnsemble, false, nullptr));
    }
  }
  Count(state, *base);
}

void BM_NoiseBlock_Lanes(benchmark::State& state, membrix::KernelIsa isa) {
  if (!membrix::KernelIsaAvailable(isa)) {
    state.SkipWithError("the processor lacks this register width");
    return;
  }
  const auto base = NoiseBase();
  auto copy = std::make_unique<membrix::Session>(*base);
  for (auto _ : state) {
    copy->NP0 = base->NP0;
    copy->NV0 = base->NV0;
    copy->run = base->run;
    copy->stim = base->stim;
    copy->spikes = base->spikes;
    benchmark::DoNotOptimize(membrix::NoiseMembersInLanes(*copy, kEnsemble, 32, 32 + kMembers, nullptr, isa));
  }
  Count(state, *base);
}

BENCHMARK(BM_NoiseBlock_OneByOne)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NoiseBlock_Lanes, generic, membrix::KernelIsa::Generic)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NoiseBlock_Lanes, avx2, membrix::KernelIsa::Avx2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NoiseBlock_Lanes, avx512, membrix::KernelIsa::Avx512)->Unit(benchmark::kMillisecond);

}  // namespace
