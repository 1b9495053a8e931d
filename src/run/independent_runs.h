#pragma once
// Independent runs in parallel: the currents of a sweep, the points of a map,
// the members of an uncoupled ensemble, the trials of a series. Each run works
// on its own copy of the session, taken afresh for the run, on a worker of the
// pool; its result is handed back on the calling thread, in index order, so
// what a caller writes and draws is the same whatever the number of workers.
//
// While the workers compute, the calling thread lets the windows breathe
// (Host::ProcessEvents) and watches Host::StopRequested: a stop cancels every
// run that has not started; runs already running see the stop through the host
// they are given and may end early; the results before the first run that was
// cancelled are still delivered. A run's copy draws its noise from a generator
// started from the run's index (RunSeed), never from the caller's generator.
//
// A run that notices the stop on its host may end by throwing RunStopped: it
// counts as not started, and nothing of it is delivered.
//
// A failure of a run (an exception) or of the delivery stops the remaining
// runs, waits for the running ones and is rethrown on the calling thread, after
// every result before it has been delivered.

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "run/host.h"

namespace membrix {

struct Session;

struct RunStopped {};

// How many workers the independent runs of a session use.
struct ParallelSettings {
  std::int32_t workers = 0;  // 0 = one per core of the machine
};

// The number of workers a setting means on this machine (at least 1).
int WorkerCount(const ParallelSettings& settings);

// The generator state a run with this index starts from: a mix of the index
// bits, so neighbouring runs get unrelated sequences.
std::uint32_t RunSeed(std::int64_t index);

// What became of the runs.
struct RunsOutcome {
  std::int64_t delivered = 0;  // results handed over, indices 0 ... delivered-1
  bool stopped = false;        // a stop request ended the runs before all were delivered
};

// The untyped core: run(copy, host, index) on a worker, then deliver(index) on
// the calling thread once run(index) and all runs before it have finished.
// Runs that neither read nor write the recording tables (ExpData, ModelData)
// may say so with tablesUntouched: a worker then copies those tables once
// instead of before every run (they are most of the session's memory).
RunsOutcome RunIndependentIndexed(const Session& base, Host& host, std::int64_t count,
                                  const std::function<void(Session&, Host&, std::int64_t)>& run,
                                  const std::function<void(std::int64_t)>& deliver,
                                  bool tablesUntouched = false);

// Runs count independent runs with the workers of base.parallel:
//   Result run(Session& copy, Host& workerHost, std::int64_t index)  on a worker;
//   void deliver(std::int64_t index, Result&& result)                on the calling thread.
// The copy is base as it stands, with its generator at RunSeed(index). The
// worker's host answers StopRequested (the caller's stop) and nothing else.
template <class Result, class Run, class Deliver>
RunsOutcome RunIndependent(const Session& base, Host& host, std::int64_t count, Run&& run,
                           Deliver&& deliver, bool tablesUntouched = false) {
  std::vector<std::optional<Result>> results(static_cast<std::size_t>(count > 0 ? count : 0));
  return RunIndependentIndexed(
      base, host, count,
      [&](Session& copy, Host& workerHost, std::int64_t i) {
        results[static_cast<std::size_t>(i)].emplace(run(copy, workerHost, i));
      },
      [&](std::int64_t i) {
        auto& slot = results[static_cast<std::size_t>(i)];
        deliver(i, std::move(*slot));
        slot.reset();
      },
      tablesUntouched);
}

}  // namespace membrix
