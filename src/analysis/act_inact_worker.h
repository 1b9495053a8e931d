#pragma once
// The background worker of the activation and inactivation curves: runs the
// peak computation on a thread of its own, on its own copy of the session, so
// that the windows stay responsive and the researcher can stop it. Nothing the
// worker does touches the caller's data: what it draws and its result reach
// the caller only through calls it posts, which the caller runs on its own
// (interface) thread.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "analysis/act_inact.h"
#include "run/session.h"

namespace membrix {

class ActInactWorker {
 public:
  // Runs a call later on the interface thread; callable from any thread.
  using Post = std::function<void(std::function<void()>)>;

  // What a run leaves: its session (with the last protocol's levels), the
  // peaks, the window state, and how it ended.
  struct Outcome {
    Session session;
    ActInactPeaks peaks;
    ActInactState state;
    bool stopped = false;
    std::string error;  // empty when the run completed or was stopped
  };

  explicit ActInactWorker(Post post);
  // Stops a running worker and waits for it.
  ~ActInactWorker();
  ActInactWorker(const ActInactWorker&) = delete;
  ActInactWorker& operator=(const ActInactWorker&) = delete;

  // Starts CalcPeaks on the copies given, unless a worker is running (then
  // nothing happens and false is returned). Drawing goes to `sink` and `done`
  // receives the outcome, both through posted calls; when `done` runs, the
  // worker's flags are already clear.
  bool Start(const Session& session, const std::string& startFolder, const ActInactPeaks& peaks,
             const ActInactState& state, ActInactSink& sink, std::function<void(Outcome&)> done);

  // " Stop ": the running protocol ends without peaks and the run ends.
  void Stop() { stop_.store(true); }
  bool ActInactRunning() const { return running_.load(); }
  bool ActInactStop() const { return stop_.load(); }

  // Waits until the worker's thread has ended.
  void Wait();

 private:
  void Run(std::unique_ptr<Outcome> outcome, std::string startFolder, ActInactSink* sink,
           std::function<void(Outcome&)> done);

  Post post_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stop_{false};
};

}  // namespace membrix
