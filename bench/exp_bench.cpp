// The bounded exponential of the kinetics against the C library's exp on the
// same arguments, side by side: what the program's own evaluation saves.

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>

#include "neuron/numerics.h"

namespace {

// 64 arguments spread over the range the kinetics use.
std::array<double, 64> Arguments() {
  std::array<double, 64> x{};
  for (int i = 0; i < 64; ++i) x[i] = -19.0 + 38.0 * ((i * 37) % 64) / 64.0;
  return x;
}

template <class Exp>
void RunExp(benchmark::State& state, Exp exp) {
  const std::array<double, 64> x = Arguments();
  double sum = 0.0;
  for (auto _ : state) {
    for (double a : x) sum += exp(a);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 64);
}

void BM_Exp_Library(benchmark::State& state) {
  RunExp(state, [](double a) { return std::exp(a); });
}
void BM_Exp_SafeExp(benchmark::State& state) {
  RunExp(state, [](double a) { return membrix::SafeExp(a); });
}
BENCHMARK(BM_Exp_Library);
BENCHMARK(BM_Exp_SafeExp);

}  // namespace
