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
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
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
// bits and the series' seed, so neighbouring runs get unrelated sequences.
// Seed 0 gives the program's own sequence of starts.
std::uint32_t RunSeed(std::int64_t index, std::uint32_t seed = 0);

// What became of the runs.
struct RunsOutcome {
  std::int64_t delivered = 0;  // results handed over, indices 0 ... delivered-1
  bool stopped = false;        // a stop request ended the runs before all were delivered
};

// How the runs use the recording tables (ExpData, ModelData), which are most
// of a session's memory.
enum class RecordingTables {
  PerRun,     // every run starts from the base's tables
  PerWorker,  // a worker's copy keeps its tables from run to run: they start as
              // the base's (blank where the base carries none), and no run leaves
              // in them anything that a later run reads; the tables are then
              // copied once per worker instead of before every run
};

// Sets a session to another without its recording tables: to keeps its own.
// This is how a worker's copy is taken with RecordingTables::PerWorker.
void AssignKeepingTables(Session& to, const Session& from);

// The untyped core: run(copy, host, index) on a worker, then deliver(index) on
// the calling thread once run(index) and all runs before it have finished.
RunsOutcome RunIndependentIndexed(const Session& base, Host& host, std::int64_t count,
                                  const std::function<void(Session&, Host&, std::int64_t)>& run,
                                  const std::function<void(std::int64_t)>& deliver,
                                  RecordingTables tables = RecordingTables::PerRun);

// Runs count independent runs with the workers of base.parallel:
//   Result run(Session& copy, Host& workerHost, std::int64_t index)  on a worker;
//   void deliver(std::int64_t index, Result&& result)                on the calling thread.
// The copy is base as it stands, with its generator at RunSeed(index, seed of base). The
// worker's host answers StopRequested (the caller's stop) and nothing else.
template <class Result, class Run, class Deliver>
RunsOutcome RunIndependent(const Session& base, Host& host, std::int64_t count, Run&& run,
                           Deliver&& deliver, RecordingTables tables = RecordingTables::PerRun) {
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
      tables);
}

// Runs shared among several processes (the nodes of a cluster). The batch tool
// installs a partition when it is started as one of several cooperating
// processes; the engine itself knows no transport. Process 0 is the writer:
// it computes its share, receives the others' results and hands every result
// to its caller in index order, so it writes the same files as a single
// process would. Every other process is a helper: it computes its share with
// its own workers, sends the results to the writer and writes no files.
//
// The share is static: process p runs the indices p, p+P, p+2P, ... Neighbouring
// points of a map or currents of a sweep cost about the same, so taking every
// P-th index gives each process an even mix of cheap and dear runs without a
// round trip per run.
class RunPartition {
 public:
  virtual ~RunPartition() = default;
  virtual int Processes() const = 0;  // at least 1
  virtual int Process() const = 0;    // 0 = the writer
  // Helper: hands one result to the writer; results go in the helper's index order.
  virtual void Send(const std::string& bytes) = 0;
  // Writer: the next result of helper p, in p's index order; nothing when the
  // stop was asked while it waited (host.StopRequested()).
  virtual std::optional<std::string> Receive(int process, const Host& host) = 0;
};

// The partition of this process; nullptr (the default) = a single process.
void SetRunPartition(RunPartition* partition);
RunPartition* CurrentRunPartition();
// True in a helper process: its results go to the writer, and it writes no files.
bool IsHelperProcess();

// Thrown in a helper once it has sent its share: the command it serves ends
// there, quietly (the writer reports). stopped: the helper's runs were cut short.
struct HelperFinished {
  bool stopped = false;
};

// Leaves the command in a helper: for work that only the writer does.
inline void LeaveIfHelper() {
  if (IsHelperProcess()) throw HelperFinished{};
}

// The core with a stride: local run m of count is the run of index
// first + m*stride (its seed, the index run and deliver see).
RunsOutcome RunIndependentStrided(const Session& base, Host& host, std::int64_t first, std::int64_t stride,
                                  std::int64_t count,
                                  const std::function<void(Session&, Host&, std::int64_t)>& run,
                                  const std::function<void(std::int64_t)>& deliver, RecordingTables tables);

// How many of count indices process p of P runs.
inline std::int64_t ShareCount(std::int64_t count, int p, int P) {
  return count > p ? (count - p + P - 1) / P : 0;
}

// How a result travels between processes. A trivially copyable result goes as
// its bytes; a result that holds vectors specialises SharedCodec next to its
// type (before the RunShared that carries it), with PutShared / SharedReader.
template <class T>
void PutShared(std::string& out, const T& x) {
  static_assert(std::is_trivially_copyable_v<T>);
  out.append(reinterpret_cast<const char*>(&x), sizeof(T));
}
template <class T>
void PutShared(std::string& out, const std::vector<T>& v) {
  static_assert(std::is_trivially_copyable_v<T>);
  PutShared(out, static_cast<std::uint64_t>(v.size()));
  if (!v.empty()) out.append(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(T));
}

class SharedReader {
 public:
  explicit SharedReader(const std::string& bytes) : bytes_(bytes) {}
  template <class T>
  void Get(T& x) {
    static_assert(std::is_trivially_copyable_v<T>);
    Need(sizeof(T));
    std::memcpy(static_cast<void*>(&x), bytes_.data() + at_, sizeof(T));
    at_ += sizeof(T);
  }
  template <class T>
  void Get(std::vector<T>& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    std::uint64_t n = 0;
    Get(n);
    if (n > (bytes_.size() - at_) / (sizeof(T) > 0 ? sizeof(T) : 1)) Fail();
    v.resize(static_cast<std::size_t>(n));
    if (n > 0) std::memcpy(static_cast<void*>(v.data()), bytes_.data() + at_, v.size() * sizeof(T));
    at_ += v.size() * sizeof(T);
  }
  // Every byte has been read.
  void End() const {
    if (at_ != bytes_.size()) Fail();
  }

 private:
  void Need(std::size_t n) const {
    if (n > bytes_.size() - at_) Fail();
  }
  [[noreturn]] static void Fail() { throw std::runtime_error("a result from another process arrived damaged"); }
  const std::string& bytes_;
  std::size_t at_ = 0;
};

template <class R>
struct SharedCodec {
  static_assert(std::is_trivially_copyable_v<R>, "a shared result that holds vectors needs its SharedCodec");
  static void Write(std::string& out, const R& r) { PutShared(out, r); }
  static void Read(SharedReader& in, R& r) { in.Get(r); }
};

// RunIndependent whose runs may be shared among processes (see RunPartition).
// Result travels between processes through SharedCodec<Result>. A process takes part in one shared call per command: a helper
// leaves the command by throwing HelperFinished once its share is sent.
template <class Result, class Run, class Deliver>
RunsOutcome RunShared(const Session& base, Host& host, std::int64_t count, Run&& run, Deliver&& deliver,
                      RecordingTables tables = RecordingTables::PerRun) {
  RunPartition* partition = CurrentRunPartition();
  if (partition == nullptr || partition->Processes() <= 1 || count <= 0) {
    return RunIndependent<Result>(base, host, count, std::forward<Run>(run), std::forward<Deliver>(deliver),
                                  tables);
  }
  const int P = partition->Processes(), me = partition->Process();
  const std::int64_t mine = ShareCount(count, me, P);
  std::vector<std::optional<Result>> results(static_cast<std::size_t>(mine));
  auto local = [&](std::int64_t g) { return static_cast<std::size_t>(g / P); };
  auto compute = [&](Session& copy, Host& workerHost, std::int64_t g) {
    results[local(g)].emplace(run(copy, workerHost, g));
  };
  if (me != 0) {
    const RunsOutcome ran = RunIndependentStrided(
        base, host, me, P, mine, compute,
        [&](std::int64_t g) {
          auto& slot = results[local(g)];
          std::string bytes;
          SharedCodec<Result>::Write(bytes, *slot);
          slot.reset();
          partition->Send(bytes);
        },
        tables);
    throw HelperFinished{ran.stopped};
  }
  // The writer: before its own result g, every helper's result below g.
  RunsOutcome outcome;
  bool stopped = false;
  auto deliverRemoteBelow = [&](std::int64_t end) {
    while (!stopped && outcome.delivered < end) {
      const std::int64_t k = outcome.delivered;
      const std::optional<std::string> bytes = partition->Receive(static_cast<int>(k % P), host);
      if (!bytes) {
        stopped = true;
        return;
      }
      Result r{};
      SharedReader reader(*bytes);
      SharedCodec<Result>::Read(reader, r);
      reader.End();
      deliver(k, std::move(r));
      ++outcome.delivered;
    }
  };
  const RunsOutcome ran = RunIndependentStrided(
      base, host, 0, P, mine, compute,
      [&](std::int64_t g) {
        deliverRemoteBelow(g);
        if (stopped) return;  // the stop was asked: the runs end after this call
        auto& slot = results[local(g)];
        deliver(g, std::move(*slot));
        slot.reset();
        ++outcome.delivered;
      },
      tables);
  if (!ran.stopped) deliverRemoteBelow(count);
  outcome.stopped = outcome.delivered < count;
  return outcome;
}

}  // namespace membrix
