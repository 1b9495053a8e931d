#include "analysis/act_inact_worker.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>

#include "analysis/act_inact_test_support.h"

namespace membrix {
namespace {

// The interface thread of a test: calls posted by the worker wait in a queue
// until the test's own thread runs them.
class CallQueue {
 public:
  ActInactWorker::Post Poster() {
    return [this](std::function<void()> call) {
      std::lock_guard<std::mutex> lock(mutex_);
      calls_.push_back(std::move(call));
      ready_.notify_one();
    };
  }
  // Runs posted calls until `done` holds after one of them.
  void RunUntil(const std::function<bool()>& done, const std::function<void()>& meanwhile = {}) {
    while (!done()) {
      std::function<void()> call;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait_for(lock, std::chrono::milliseconds(5), [this] { return !calls_.empty(); });
        if (calls_.empty()) continue;
        call = std::move(calls_.front());
        calls_.pop_front();
      }
      call();
      if (meanwhile) meanwhile();
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> calls_;
};

class ActInactWorkerTest : public testing::ActInactFixture {
 protected:
  // Runs the worker to its end; returns the outcome handed over.
  ActInactWorker::Outcome RunWorker(const std::function<void(ActInactWorker&)>& afterStart = {}) {
    ActInactWorker worker(queue.Poster());
    ActInactWorker::Outcome result;
    bool finished = false;
    bool flagsClearAtEnd = false;
    const bool started =
        worker.Start(s, Folder(""), peaks, state, sink, [&](ActInactWorker::Outcome& o) {
          flagsClearAtEnd = !worker.ActInactRunning() && !worker.ActInactStop();
          result = std::move(o);
          finished = true;
        });
    EXPECT_TRUE(started);
    if (afterStart) afterStart(worker);
    // The window's own session is changed while the worker runs on its copy.
    queue.RunUntil([&] { return finished; }, [&] { s.NP0.Vrest += 1e-6; });
    EXPECT_TRUE(flagsClearAtEnd);
    return result;
  }
  CallQueue queue;
};

TEST_F(ActInactWorkerTest, RunsOnItsOwnCopyAndHandsPointsAndPeaksToTheCallingThread) {
  const double Vh = s.stim.Vh;
  const double Vrest = s.NP0.Vrest;
  const ActInactWorker::Outcome o = RunWorker();
  EXPECT_TRUE(o.error.empty()) << o.error;
  EXPECT_FALSE(o.stopped);
  for (bool done : o.peaks.done) EXPECT_TRUE(done);
  EXPECT_EQ(sink.Count(ActInactCurve::PeakExp), kActInactProtocols);
  EXPECT_EQ(sink.Count(ActInactCurve::PeakAct) + sink.Count(ActInactCurve::PeakInact), kActInactProtocols);
  // The worker's session ends at the last protocol's levels; the caller's is untouched.
  EXPECT_NEAR(o.session.NP0.Vrest, -0.015, 1e-12);
  EXPECT_EQ(s.stim.Vh, Vh);
  EXPECT_GE(s.NP0.Vrest, Vrest);
  EXPECT_LT(s.NP0.Vrest, Vrest + 0.01);
}

TEST_F(ActInactWorkerTest, StopEndsWithinAProtocolAndASecondStartIsIgnored) {
  SetRunLength(s.run, 1.0);  // 20000 steps a protocol: long enough to be stopped
  const ActInactWorker::Outcome o = RunWorker([&](ActInactWorker& w) {
    EXPECT_TRUE(w.ActInactRunning());
    EXPECT_FALSE(w.Start(s, Folder(""), peaks, state, sink, [](ActInactWorker::Outcome&) { FAIL(); }));
    w.Stop();
  });
  EXPECT_TRUE(o.stopped);
  EXPECT_TRUE(o.error.empty());
  EXPECT_LT(sink.Count(ActInactCurve::PeakExp), 2);
}

TEST_F(ActInactWorkerTest, AMissingRecordingEndsTheRunWithItsPathAndClearFlags) {
  std::filesystem::remove(ActInactRecordingPath(Folder(""), 0));
  const ActInactWorker::Outcome o = RunWorker();
  EXPECT_NE(o.error.find(ActInactRecordingPath(Folder(""), 0)), std::string::npos) << o.error;
  EXPECT_EQ(sink.Count(ActInactCurve::PeakExp), kActInactHalf);
}

}  // namespace
}  // namespace membrix
