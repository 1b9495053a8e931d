#include <benchmark/benchmark.h>

#include <string>

#include "common/version.h"

namespace {

// Keeps the benchmark program non-empty and checks that the harness links
// against the engine.
void BM_ProgramTitleCopy(benchmark::State& state) {
  for (auto _ : state) {
    std::string title(membrix::ProgramTitle());
    benchmark::DoNotOptimize(title);
  }
}
BENCHMARK(BM_ProgramTitleCopy);

}  // namespace
