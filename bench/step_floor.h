#pragma once
// The floor of a model step: the time its bounded exponentials and its
// divisions take alone, with nothing else around them. A step of the neuron
// is compared with it to see how much the step spends beyond its arithmetic.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>

#include "neuron/numerics.h"

namespace membrix::bench {

// How many bounded exponentials and divisions one step evaluates, averaged over
// the steps of the benchmark (count_step_ops.py measures them).
struct StepOps {
  double exps;
  double divs;
};

// nExp exponentials and nDiv divisions of independent operands, the exponents
// spread over the range the kinetics use. Returns their sum so that nothing
// can be left out.
[[gnu::noinline]] inline double FloorKernel(int nExp, int nDiv, double shift) {
  static constexpr std::array<double, 16> kExponents = {-4.1, 2.3, -0.7, 1.9, -3.3, 0.4,  -1.6, 3.8,
                                                        -2.2, 0.9, -5.0, 1.2, -0.2, 2.7,  -3.9, 4.4};
  static constexpr std::array<double, 16> kDenominators = {1.3, 7.2, 18.0, 0.021, 3.5, 80.0, 9.0,  2.9,
                                                           0.7, 5.5, 20.0, 1.7,   4.6, 12.0, 0.33, 65.0};
  double a = 0.0;
  double b = 0.0;
  for (int i = 0; i < nExp; ++i) a += SafeExp(kExponents[i & 15] + shift);
  for (int i = 0; i + 1 < nDiv; i += 2) {
    a += (shift + kExponents[i & 15]) / kDenominators[i & 15];
    b += (shift - kExponents[(i + 1) & 15]) / kDenominators[(i + 1) & 15];
  }
  if (nDiv % 2 == 1) b += shift / kDenominators[(nDiv - 1) & 15];
  return a + b;
}

// Adds the step's counts and floor to a benchmark's output: "exp" and "div" per
// step; "step_ns" and "floor_ns", one step and its floor; "x_floor", the step's
// time over its floor. advance(n) makes n steps. Steps and floors are timed in
// alternating rounds, so that both see the machine alike, and the medians count.
template <class Advance>
void ReportFloor(benchmark::State& state, const StepOps& ops, Advance&& advance) {
  using Clock = std::chrono::steady_clock;
  constexpr int kRounds = 15;
  constexpr int kSteps = 2000;
  const int nExp = static_cast<int>(ops.exps + 0.5);
  const int nDiv = static_cast<int>(ops.divs + 0.5);
  std::array<double, kRounds> stepNs{}, floorNs{}, ratio{};
  for (int r = 0; r < kRounds; ++r) {
    const auto start = Clock::now();
    advance(kSteps);
    const auto middle = Clock::now();
    double sum = 0.0;
    for (int k = 0; k < kSteps; ++k) sum += FloorKernel(nExp, nDiv, 1e-9 * (k & 7));
    benchmark::DoNotOptimize(sum);
    const auto end = Clock::now();
    stepNs[r] = std::chrono::duration<double, std::nano>(middle - start).count() / kSteps;
    floorNs[r] = std::chrono::duration<double, std::nano>(end - middle).count() / kSteps;
    ratio[r] = stepNs[r] / floorNs[r];
  }
  const auto median = [](std::array<double, kRounds> x) {
    std::nth_element(x.begin(), x.begin() + kRounds / 2, x.end());
    return x[kRounds / 2];
  };
  state.counters["exp"] = ops.exps;
  state.counters["div"] = ops.divs;
  state.counters["step_ns"] = median(stepNs);
  state.counters["floor_ns"] = median(floorNs);
  state.counters["x_floor"] = median(ratio);
}

}  // namespace membrix::bench
