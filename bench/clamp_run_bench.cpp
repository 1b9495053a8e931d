// Whole runs as the batch tool makes them: the "Lyle" neuron of the start-up
// set, one step and a clamp run of 10^6 steps; the classic squid axon (the
// "Rariza" family) under a current step, the same length; each run with
// drawing and writing off, and again writing a trace line every fifth step.
// Then a squid-axon run of 10^7 steps against one of 10^6: cost per step and
// peak memory. Last, the parameter-file reader on a large file.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "neuron/cond_based_neuron.h"
#include "neuron/neuron.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "params/parameter_file.h"
#include "run/clamp_run.h"
#include "run/host.h"
#include "run/run_view_sink.h"
#include "run/session.h"
#include "run/session_values.h"
#include "run/trace_files.h"
#include "step_floor.h"

namespace {

using namespace membrix;

// A file in the temporary folder, removed with the object.
struct TemporaryFile {
  std::string path;
  explicit TemporaryFile(const std::string& name)
      : path((std::filesystem::temp_directory_path() / name).string()) {}
  ~TemporaryFile() { std::remove(path.c_str()); }
};

// ---- The start-up neuron ------------------------------------------------------

// One step of the neuron the program starts with ("Lyle", one compartment),
// under the dendritic input u - s*(V - Vus) of the start-up protocol.
[[gnu::noinline]] void AdvanceStartUpNeuron(TNeuron& neuron, Session& s) {
  s.run.t += s.run.dt;
  neuron.Step(s.stim.uu, s.stim.ss, 0, 0, 0, 0, 0);
}

void BM_StartUpNeuronStep(benchmark::State& state) {
  Session s;
  ApplyProgramStart(s);
  std::unique_ptr<TNeuron> neuron = CreateNeuron(s.NP0, s.View());
  // As in a run that draws nothing: the slots without current stay at rest.
  dynamic_cast<TCondBasedNrn&>(*neuron).ObserveSlots({});
  neuron->InitState();
  for (auto _ : state) {
    AdvanceStartUpNeuron(*neuron, s);
    benchmark::DoNotOptimize(neuron->NV.V);
  }
  // The counts are those of count_step_ops.py.
  bench::ReportFloor(state, {31.7, 58.4}, [&](int steps) {
    for (int i = 0; i < steps; ++i) AdvanceStartUpNeuron(*neuron, s);
  });
}
BENCHMARK(BM_StartUpNeuronStep);

// ---- Clamp runs ---------------------------------------------------------------

enum class Protocol { StartUp, SquidAxon };

// A session set for a run of `steps` steps with the input on throughout.
Session PreparedSession(Protocol protocol, std::int64_t steps = 1000000) {
  Session s;
  ApplyProgramStart(s);
  if (protocol == Protocol::SquidAxon) {
    // The classic Hodgkin-Huxley membrane, 300 pA (11 µA/cm²) into its 27.3e-6 cm².
    SelectModelFamily(s, "Rariza");
    for (const char* a : {"uu=0", "ss=0", "Iind=300"}) SetSessionAssignment(s, a);
    SetTimeStep(s.run, 2.5e-5);
  }
  SetSessionAssignment(s, "t_Iind=1000");
  SetRunLength(s.run, (static_cast<double>(steps) + 0.5) * s.run.dt);
  return s;
}

// One run of a copy of the prepared session, timed alone (seconds of processor
// time, the writing's system time included, so that other work on the machine
// does not count); traceFile empty runs without a trace file. Sets an error
// when the run falls short.
double TimedRun(benchmark::State& state, const Session& prepared, const std::string& traceFile,
                std::int64_t steps = 1000000) {
  auto s = std::make_unique<Session>(prepared);
  BatchHost host(true);
  NullRunViewSink views;
  const std::clock_t start = std::clock();
  if (traceFile.empty()) {
    RunClamp(*s, host, views);
  } else {
    SaveTraceRun(*s, host, views, traceFile, 1);  // t and V every n_Write = 5 steps
  }
  const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  if (s->run.nt != steps) state.SkipWithError("the run did not make the steps asked for");
  return seconds;
}

// A run's time in ms is its time per step in ns.
void BM_ClampRun(benchmark::State& state, Protocol protocol) {
  const auto prepared = std::make_unique<Session>(PreparedSession(protocol));
  for (auto _ : state) state.SetIterationTime(TimedRun(state, *prepared, {}));
}

// The same run writing "Save V to file" lines; "x_silent" is its time over that
// of the run without the file, both measured in each iteration.
void BM_ClampRunWritingTrace(benchmark::State& state, Protocol protocol) {
  const auto prepared = std::make_unique<Session>(PreparedSession(protocol));
  const TemporaryFile trace("membrix-bench-trace.dat");
  double silent = 0.0;
  double writing = 0.0;
  for (auto _ : state) {
    silent += TimedRun(state, *prepared, {});
    const double w = TimedRun(state, *prepared, trace.path);
    writing += w;
    state.SetIterationTime(w);
  }
  state.counters["x_silent"] = writing / silent;
}

BENCHMARK_CAPTURE(BM_ClampRun, StartUp, Protocol::StartUp)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ClampRunWritingTrace, StartUp, Protocol::StartUp)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ClampRun, SquidAxon, Protocol::SquidAxon)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ClampRunWritingTrace, SquidAxon, Protocol::SquidAxon)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// ---- Long runs -------------------------------------------------------------------

// The peak resident memory of the process since the last ResetPeakMemory, in
// bytes (0 where the system does not say).
double PeakMemory() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) * 1024.0;
  }
  return 0.0;
}
void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

// A run of 10^7 steps of the squid axon against one of 10^6, both measured in
// each iteration: "x_per_step" is the long run's time per step over the short
// run's (1 when the length costs nothing per step), "peak_MB_1e6" and
// "peak_MB_1e7" the process's peak resident memory during each run.
void BM_LongClampRun(benchmark::State& state) {
  constexpr std::int64_t kShort = 1000000, kLong = 10000000;
  const auto shortRun = std::make_unique<Session>(PreparedSession(Protocol::SquidAxon, kShort));
  const auto longRun = std::make_unique<Session>(PreparedSession(Protocol::SquidAxon, kLong));
  double bestShort = 1e300, bestLong = 1e300, peakShort = 0.0, peakLong = 0.0;
  for (auto _ : state) {
    ResetPeakMemory();
    bestShort = std::min(bestShort, TimedRun(state, *shortRun, {}, kShort));
    peakShort = std::max(peakShort, PeakMemory());
    ResetPeakMemory();
    const double l = TimedRun(state, *longRun, {}, kLong);
    peakLong = std::max(peakLong, PeakMemory());
    bestLong = std::min(bestLong, l);
    state.SetIterationTime(l);
  }
  state.counters["x_per_step"] = (bestLong / kLong) / (bestShort / kShort);
  state.counters["peak_MB_1e6"] = peakShort / 1e6;
  state.counters["peak_MB_1e7"] = peakLong / 1e6;
}
BENCHMARK(BM_LongClampRun)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// ---- The parameter-file reader ---------------------------------------------------

// A parameter file of every section, each recording's section long: numbers,
// texts in quotes, brace and slash comments, as saved files have them.
void WriteLargeParameterFile(const std::string& path, int assignmentsPerRecording) {
  std::ofstream out(path);
  out << "{ a long parameter file }\nCommonParametersFromFile\nNSmpls := 19;\nt_end := 0.6;\n"
         "MembrixPhysParameters\nMembrixPhysParameters(NP) := 1;\nNP0.HH_type := 'Lyle';\n"
         "NP0.gNa := 2.28; NP0.gK := 0.76;\nKeepParams=0\nKeepParams := 1;\n";
  for (int k = 1; k <= 19; ++k) {
    out << (k == 1 ? std::string("ParametersFromFile") : "ParametersFromFile" + std::to_string(k)) << "\n";
    out << "SmplFile[Smpl] := 'NoFile';\n";
    for (int i = 0; i < assignmentsPerRecording; ++i) {
      switch (i % 5) {
        case 0: out << "NP0.gNa := " << 2.0 + 0.001 * i << ";  / sodium\n"; break;
        case 1: out << "{ leak } NP0.gL := 0.0" << i % 97 + 1 << ";\n"; break;
        case 2: out << "Iind := " << 10 * (i % 13) << ".5; t_Iind := 1e-3;\n"; break;
        case 3: out << "NP0.NaR_type := 'Lyle';\n"; break;
        default: out << "uu := -0.004; ss:=0.1 ;\n"; break;
      }
    }
  }
  out << "end.\n";
}

void BM_ParameterFileRead(benchmark::State& state) {
  const TemporaryFile file("membrix-bench-large.id");
  WriteLargeParameterFile(file.path, 1000);
  const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(file.path));
  const auto s = std::make_unique<Session>();
  ApplyProgramStart(*s);
  for (auto _ : state) {
    // Every assignment of the file, as the memo is read back.
    ReadSection(*s, file.path, "Any", "Any");
    state.PauseTiming();
    s->ParamsMemo.clear();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(bytes * state.iterations());
}
BENCHMARK(BM_ParameterFileRead)->Unit(benchmark::kMillisecond);

}  // namespace
