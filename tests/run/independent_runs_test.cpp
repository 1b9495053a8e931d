#include "run/independent_runs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "common/error.h"
#include "run/session.h"

namespace membrix {
namespace {

// Stops after a given number of deliveries; counts the event points.
class StoppingHost final : public Host {
 public:
  explicit StoppingHost(std::int64_t stopAfter) : stopAfter_(stopAfter) {}
  void ProcessEvents() override { ++events; }
  bool StopRequested() const override { return delivered >= stopAfter_; }
  bool Confirm(const std::string&) override { return true; }
  std::int64_t delivered = 0;
  int events = 0;

 private:
  std::int64_t stopAfter_;
};

struct Delivery {
  std::int64_t index;
  double value;
};

// Each run changes its copy and draws from its generator; the deliveries list
// what reached the calling thread, in order.
std::vector<Delivery> NoisyRuns(int workers, std::int64_t count) {
  Session s;
  s.parallel.workers = workers;
  s.stim.Iind = 7.0;
  BatchHost host;
  std::vector<Delivery> got;
  const std::thread::id caller = std::this_thread::get_id();
  RunIndependent<double>(
      s, host, count,
      [](Session& copy, Host&, std::int64_t i) {
        copy.stim.Iind += static_cast<double>(i);
        double sum = copy.stim.Iind;
        for (int k = 0; k < 1000; ++k) sum += copy.random.Normal(0.0, 1.0);
        return sum;
      },
      [&](std::int64_t i, double&& value) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        got.push_back({i, value});
      });
  EXPECT_EQ(s.stim.Iind, 7.0) << "the caller's session is never a run's copy";
  EXPECT_EQ(s.random.state(), 0u);
  return got;
}

TEST(IndependentRuns, DeliverInIndexOrderWithTheSameResultsForAnyNumberOfWorkers) {
  const std::vector<Delivery> one = NoisyRuns(1, 23);
  ASSERT_EQ(one.size(), 23u);
  for (std::size_t i = 0; i < one.size(); ++i) EXPECT_EQ(one[i].index, static_cast<std::int64_t>(i));
  EXPECT_NE(one[0].value - 7.0, one[1].value - 8.0) << "neighbouring runs draw different noise";
  for (int workers : {2, 3}) {
    const std::vector<Delivery> many = NoisyRuns(workers, 23);
    ASSERT_EQ(many.size(), one.size()) << workers << " workers";
    for (std::size_t i = 0; i < one.size(); ++i) {
      EXPECT_EQ(many[i].index, one[i].index);
      EXPECT_EQ(many[i].value, one[i].value) << "run " << i << " with " << workers << " workers";
    }
  }
}

TEST(IndependentRuns, TwoWorkersRunTwoRunsAtOnce) {
  Session s;
  s.parallel.workers = 2;
  BatchHost host;
  std::atomic<int> inFlight{0}, peak{0};
  RunIndependent<int>(
      s, host, 2,
      [&](Session&, Host&, std::int64_t) {
        peak = std::max(peak.load(), ++inFlight);
        // Waits, at most a few seconds, for the other run to be in flight too.
        for (int k = 0; k < 400 && peak < 2; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        peak = std::max(peak.load(), inFlight.load());
        --inFlight;
        return 0;
      },
      [](std::int64_t, int&&) {});
  EXPECT_EQ(peak, 2);
}

TEST(IndependentRuns, StopCancelsTheRunsNotStartedAndKeepsTheDeliveredOnes) {
  Session s;
  s.parallel.workers = 2;
  StoppingHost host(3);
  std::atomic<int> started{0};
  std::vector<std::int64_t> got;
  const RunsOutcome outcome = RunIndependent<std::int64_t>(
      s, host, 200,
      [&](Session&, Host& workerHost, std::int64_t i) {
        ++started;
        // A long run that ends early once the stop reaches its worker.
        for (int k = 0; k < 100 && !workerHost.StopRequested(); ++k) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return i;
      },
      [&](std::int64_t i, std::int64_t&& value) {
        EXPECT_EQ(value, i);
        got.push_back(i);
        ++host.delivered;
      });
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outcome.delivered, static_cast<std::int64_t>(got.size()));
  EXPECT_GE(outcome.delivered, 3);
  EXPECT_LT(started, 20) << "runs not started when the stop came are never run";
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], static_cast<std::int64_t>(i));
  EXPECT_GT(host.events, 0) << "the calling thread lets the windows breathe";
}

TEST(IndependentRuns, AFailedRunReachesTheCallerAfterTheResultsBeforeIt) {
  Session s;
  s.parallel.workers = 2;
  BatchHost host;
  std::vector<std::int64_t> got;
  const auto sweep = [&] {
    RunIndependent<std::int64_t>(
        s, host, 50,
        [](Session&, Host&, std::int64_t i) -> std::int64_t {
          if (i == 4) throw RangeError("run 4 failed");
          return i;
        },
        [&](std::int64_t i, std::int64_t&&) { got.push_back(i); });
  };
  EXPECT_THROW(sweep(), RangeError);
  EXPECT_EQ(got, (std::vector<std::int64_t>{0, 1, 2, 3}));

  // A run that ends at the stop the failure caused does not hide the failure.
  got.clear();
  const auto failureStopsARunningOne = [&] {
    RunIndependent<std::int64_t>(
        s, host, 50,
        [](Session&, Host& worker, std::int64_t i) -> std::int64_t {
          if (i == 1) throw RangeError("run 1 failed");
          if (i == 0) {
            for (int k = 0; k < 400 && !worker.StopRequested(); ++k) {
              std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            throw RunStopped{};
          }
          return i;
        },
        [&](std::int64_t i, std::int64_t&&) { got.push_back(i); });
  };
  EXPECT_THROW(failureStopsARunningOne(), RangeError);
  EXPECT_TRUE(got.empty());

  got.clear();
  const auto failingDelivery = [&] {
    RunIndependent<std::int64_t>(
        s, host, 50, [](Session&, Host&, std::int64_t i) { return i; },
        [&](std::int64_t i, std::int64_t&&) {
          if (i == 2) throw IoError("v.dat", "disk full");
          got.push_back(i);
        });
  };
  EXPECT_THROW(failingDelivery(), IoError);
  EXPECT_EQ(got, (std::vector<std::int64_t>{0, 1}));
}

TEST(IndependentRuns, NoRunsNothingDelivered) {
  Session s;
  BatchHost host;
  int calls = 0;
  const RunsOutcome outcome = RunIndependent<int>(
      s, host, 0, [&](Session&, Host&, std::int64_t) { return ++calls; }, [&](std::int64_t, int&&) { ++calls; });
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(outcome.delivered, 0);
  EXPECT_FALSE(outcome.stopped);
  EXPECT_GE(WorkerCount(ParallelSettings{}), 1);
  EXPECT_EQ(WorkerCount(ParallelSettings{3}), 3);
}

// With tables per worker, every run reads the base's recordings (or blank
// tables where the base handed its own away) and the rest of the base as it
// stands, whatever an earlier run on the worker changed.
TEST(IndependentRuns, TablesPerWorkerStartAsTheBaseOrBlank) {
  for (const bool baseHasTables : {true, false}) {
    SCOPED_TRACE(baseHasTables ? "base with tables" : "base without tables");
    Session s;
    s.parallel.workers = 2;
    s.stim.Iind = 7.0;
    s.ExpData.Resize(3, 25000);
    s.ExpData(25000, 3) = 2.5;
    if (!baseHasTables) {
      const TraceTable gone = std::move(s.ExpData), goneToo = std::move(s.ModelData);
    }
    BatchHost host;
    std::vector<double> seen;
    RunIndependent<double>(
        s, host, 6,
        [](Session& copy, Host&, std::int64_t i) {
          const double read = copy.ExpData.At(25000, 3) + copy.stim.Iind +
                              copy.ModelData.At(25000, TraceTable::kLastColumn);
          copy.stim.Iind = 100.0;  // not seen by the next run
          copy.ModelData.Resize(1, 0);
          copy.ModelData(0, 1) = static_cast<double>(i);  // a run's own output
          return read;
        },
        [&](std::int64_t, double&& read) { seen.push_back(read); },
        RecordingTables::PerWorker);
    EXPECT_EQ(seen, std::vector<double>(6, baseHasTables ? 9.5 : 7.0));
  }
}

TEST(IndependentRuns, AssignKeepingTablesCopiesAllButTheTables) {
  Session from, to;
  from.stim.Iind = 3.0;
  from.ExpData(5, 2) = 1.0;
  to.ExpData(5, 2) = 4.0;
  to.ModelData(6, 1) = 5.0;
  AssignKeepingTables(to, from);
  EXPECT_EQ(to.stim.Iind, 3.0);
  EXPECT_EQ(to.ExpData(5, 2), 4.0);
  EXPECT_EQ(to.ModelData(6, 1), 5.0);
}

}  // namespace
}  // namespace membrix
