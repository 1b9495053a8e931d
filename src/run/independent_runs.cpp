#include "run/independent_runs.h"

#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/info.h>
#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <string>

#include "run/session.h"

namespace membrix {

namespace {

// What a run sees of the host on a worker: the caller's stop, nothing else.
class WorkerHost final : public Host {
 public:
  explicit WorkerHost(const std::atomic<bool>& stop) : stop_(stop) {}
  bool StopRequested() const override { return stop_.load(std::memory_order_relaxed); }
  // No question can be put to the user from a worker; the cautious answer.
  bool Confirm(const std::string&) override { return false; }

 private:
  const std::atomic<bool>& stop_;
};

enum class Slot : char { Pending, Done, Failed, Stopped };

// The state the workers and the calling thread share during one call.
struct Shared {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Slot> slots;
  std::vector<std::exception_ptr> errors;
  std::atomic<std::int64_t> next{0};
  std::atomic<bool> stop{false};
  int active = 0;  // worker loops still running
  std::exception_ptr workerError;  // a worker that could not even start its runs
};

// Ends the runs whatever way the caller leaves: no worker outlives the call.
class StopAndWait {
 public:
  explicit StopAndWait(Shared& shared) : shared_(shared) {}
  ~StopAndWait() {
    shared_.stop = true;
    std::unique_lock lock(shared_.mutex);
    shared_.changed.wait(lock, [&] { return shared_.active == 0; });
  }
  StopAndWait(const StopAndWait&) = delete;
  StopAndWait& operator=(const StopAndWait&) = delete;

 private:
  Shared& shared_;
};

}  // namespace

int WorkerCount(const ParallelSettings& settings) {
  if (settings.workers > 0) return settings.workers;
  return std::max(1, tbb::info::default_concurrency());
}

std::uint32_t RunSeed(std::int64_t index, std::uint32_t seed) {
  // The SplitMix64 finaliser: every bit of the index and the seed moves about
  // half the bits.
  std::uint64_t z = static_cast<std::uint64_t>(index) + 0x9E3779B97F4A7C15ull +
                    static_cast<std::uint64_t>(seed) * 0xD1B54A32D192ED03ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<std::uint32_t>(z >> 32);
}

namespace {
RunPartition* currentPartition = nullptr;
}  // namespace

void SetRunPartition(RunPartition* partition) { currentPartition = partition; }
RunPartition* CurrentRunPartition() { return currentPartition; }
bool IsHelperProcess() { return currentPartition != nullptr && currentPartition->Process() != 0; }

void AssignKeepingTables(Session& to, const Session& from) {
  TraceTable expData = std::move(to.ExpData), modelData = std::move(to.ModelData);
  try {
    to = from;
  } catch (...) {
    to.ExpData = std::move(expData);
    to.ModelData = std::move(modelData);
    throw;
  }
  to.ExpData = std::move(expData);
  to.ModelData = std::move(modelData);
}

RunsOutcome RunIndependentIndexed(const Session& base, Host& host, std::int64_t count,
                                  const std::function<void(Session&, Host&, std::int64_t)>& run,
                                  const std::function<void(std::int64_t)>& deliver, RecordingTables tables) {
  return RunIndependentStrided(base, host, 0, 1, count, run, deliver, tables);
}

RunsOutcome RunIndependentStrided(const Session& base, Host& host, std::int64_t first, std::int64_t stride,
                                  std::int64_t count,
                                  const std::function<void(Session&, Host&, std::int64_t)>& run,
                                  const std::function<void(std::int64_t)>& deliver, RecordingTables tables) {
  RunsOutcome outcome;
  if (count <= 0) return outcome;
  // The runs start from the session as it is now; the windows may change the
  // caller's session while the workers compute.
  Session snapshot = base;
  // With tables per worker, the snapshot is kept without its tables (they
  // are most of its size), and what they held apart from it.
  const bool perWorker = tables == RecordingTables::PerWorker;
  std::optional<TraceTable> snapshotExp, snapshotModel;
  if (perWorker) {
    snapshotExp.emplace(std::move(snapshot.ExpData));
    snapshotModel.emplace(std::move(snapshot.ModelData));
  }
  const int workers = static_cast<int>(std::min<std::int64_t>(WorkerCount(base.parallel), count));

  Shared shared;
  shared.slots.assign(static_cast<std::size_t>(count), Slot::Pending);
  shared.errors.resize(static_cast<std::size_t>(count));
  shared.active = workers;

  // The calling thread only waits and delivers, so the pool needs a thread per
  // worker of its own, also where that is more than the cores.
  tbb::global_control threads(tbb::global_control::max_allowed_parallelism, static_cast<std::size_t>(workers) + 1);
  tbb::task_arena arena(workers, 0);
  StopAndWait ending(shared);

  auto workerRuns = [&] {
    WorkerHost workerHost(shared.stop);
    // The worker's own session, set to the snapshot for every run; assigning
    // reuses its tables' memory.
    Session copy;
    bool tablesSet = false;
    while (!shared.stop) {
      const std::int64_t i = shared.next++;
      if (i >= count) break;
      std::exception_ptr error;
      Slot slot = Slot::Done;
      try {
        if (perWorker) {
          AssignKeepingTables(copy, snapshot);
          if (!tablesSet && !snapshotExp->Empty()) {
            // The worker's first run: its tables start as the base's.
            copy.ExpData = *snapshotExp;
            copy.ModelData = *snapshotModel;
          }
          tablesSet = true;
        } else {
          copy = snapshot;
        }
        copy.random.set_state(RunSeed(first + i * stride, copy.random.seed()));
        run(copy, workerHost, first + i * stride);
      } catch (const RunStopped&) {
        slot = Slot::Stopped;
      } catch (...) {
        slot = Slot::Failed;
        error = std::current_exception();
      }
      {
        std::lock_guard lock(shared.mutex);
        shared.slots[static_cast<std::size_t>(i)] = slot;
        shared.errors[static_cast<std::size_t>(i)] = error;
      }
      if (error) shared.stop = true;
      shared.changed.notify_all();
    }
  };
  // The worker's last touch of the shared state is its sign-off, made under the
  // lock: once the caller sees no worker active it may return.
  auto workerLoop = [&] {
    std::exception_ptr error;
    try {
      workerRuns();
    } catch (...) {  // no memory for the worker's session
      error = std::current_exception();
      shared.stop = true;
    }
    std::lock_guard lock(shared.mutex);
    if (error && !shared.workerError) shared.workerError = error;
    --shared.active;
    shared.changed.notify_all();
  };
  for (int w = 0; w < workers; ++w) arena.enqueue(workerLoop);

  bool stopAsked = false;
  std::unique_lock lock(shared.mutex);
  while (outcome.delivered < count) {
    const auto i = static_cast<std::size_t>(outcome.delivered);
    if (shared.slots[i] == Slot::Done) {
      lock.unlock();
      deliver(first + outcome.delivered * stride);
      ++outcome.delivered;
      host.ProcessEvents();
    } else if (shared.slots[i] == Slot::Failed) {
      std::rethrow_exception(shared.errors[i]);
    } else if (shared.slots[i] == Slot::Stopped || shared.active == 0) {
      break;  // stopped: this run and the ones after it never started
    } else {
      shared.changed.wait_for(lock, std::chrono::milliseconds(20));
      lock.unlock();
      host.ProcessEvents();
    }
    if (!stopAsked && host.StopRequested()) {
      stopAsked = true;
      shared.stop = true;
    }
    lock.lock();
  }
  // Runs were cut short; a failure that caused it is reported, not a stop.
  for (std::size_t i = 0; i < shared.slots.size(); ++i) {
    if (shared.slots[i] == Slot::Failed) std::rethrow_exception(shared.errors[i]);
  }
  if (shared.workerError && outcome.delivered < count) std::rethrow_exception(shared.workerError);
  outcome.stopped = outcome.delivered < count;
  return outcome;
}

}  // namespace membrix
