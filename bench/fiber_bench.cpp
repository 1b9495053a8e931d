// One step of the axon fiber (N + 1 squid-membrane nodes and the tridiagonal
// solve) against what it is made of: N + 1 steps of single neurons of the same
// family plus one tridiagonal solve of the same size. The counter "ratio" is
// the fiber step's time over that sum; the cable should add little beyond its
// membranes (goal: at most 1.2).

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

#include "fiber/fiber.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "run/session.h"

namespace {

using namespace membrix;

// A squid-membrane axon 3 mm long, driven at the soma so that it fires.
std::unique_ptr<TFiber> MakeFiber(Session& s, int N) {
  ApplyProgramStart(s);
  SelectModelFamily(s, "Rariza");
  s.NP0.If_I_V_or_g = 2;
  s.run.dt = 2e-5;
  FiberInputs in;
  in.N = N;
  in.L = 3000.0;
  in.NaDistribution = 2;
  in.Stimulation = FiberStimulation::EndSteps;
  in.Iind_Left = 3000.0;
  auto fiber = SetupFiber(s, in);
  InitFiber(s, *fiber);
  return fiber;
}

void BM_FiberStep(benchmark::State& state) {
  const int N = static_cast<int>(state.range(0));
  Session s;
  auto fiber = MakeFiber(s, N);
  std::int64_t n = 0;
  for (auto _ : state) {
    ++n;
    s.run.t = n * s.run.dt;
    fiber->ClearInputs();
    StimulateFiber(s, *fiber);
    StepFiber(s, *fiber, s.run.t);
    benchmark::DoNotOptimize(fiber->V[static_cast<std::size_t>(N)]);
  }
  const double fiberSeconds = [&] {
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < 200; ++k) {
      ++n;
      s.run.t = n * s.run.dt;
      fiber->ClearInputs();
      StimulateFiber(s, *fiber);
      StepFiber(s, *fiber, s.run.t);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }();

  // The parts: N + 1 single neurons firing under a current, and one solve.
  StandaloneClock clock;
  clock.dt = s.run.dt;
  std::vector<std::unique_ptr<TNeuron>> neurons;
  for (int i = 0; i <= N; ++i) {
    neurons.push_back(CreateNeuron(fiber->Nodes[0]->NP, clock.View()));
    neurons.back()->InitState();
  }
  std::vector<double> lower(N + 1, -1.0), diag(N + 1, 3.0), upper(N + 1, -1.0), rhs(N + 1, 1.0), U(N + 1);
  const double partsSeconds = [&] {
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < 200; ++k) {
      clock.t += clock.dt;
      for (auto& neuron : neurons) neuron->Step(0, 0, 0, 0, 0, 0.002, 0);
      std::fill(diag.begin(), diag.end(), 3.0);
      std::fill(rhs.begin(), rhs.end(), 1.0);
      SolveTridiagonal(lower, diag, upper, rhs, U, N);
      benchmark::DoNotOptimize(U[0]);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }();
  state.counters["ratio"] = fiberSeconds / partsSeconds;
}

BENCHMARK(BM_FiberStep)->Arg(100)->Arg(500)->Unit(benchmark::kMicrosecond);

}  // namespace
