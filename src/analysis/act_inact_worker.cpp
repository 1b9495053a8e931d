#include "analysis/act_inact_worker.h"

#include <chrono>
#include <exception>
#include <utility>
#include <vector>

namespace membrix {

namespace {

// Collects what the peak computation draws and hands it to the interface
// thread in batches: at most every few tens of milliseconds while a protocol
// runs, and whenever a protocol is complete.
class PostingSink final : public ActInactSink {
 public:
  PostingSink(const ActInactWorker::Post& post, ActInactSink& target) : post_(post), target_(&target) {}

  void Clear(ActInactCurve c) override { events_.push_back({Kind::Clear, static_cast<int>(c), 0, 0, 0, {}}); }
  void AddPoint(ActInactCurve c, double x, double y) override {
    events_.push_back({Kind::Point, static_cast<int>(c), 0, x, y, {}});
  }
  void SetAxisRange(ActInactPlot p, ActInactAxis a, double min, double max) override {
    events_.push_back({Kind::Range, static_cast<int>(p), static_cast<int>(a), min, max, {}});
  }
  void PlaceLegend(ActInactPlot p, const std::string& corner) override {
    events_.push_back({Kind::Legend, static_cast<int>(p), 0, 0, 0, corner});
  }
  void RepaintTimeCourse() override {
    events_.push_back({Kind::Repaint, 0, 0, 0, 0, {}});
    Flush();
  }

  // The worker's breathing point: hands over what waits, now and then.
  void Yield() {
    if (events_.empty()) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastFlush_ < std::chrono::milliseconds(30)) return;
    Flush();
  }

  void Flush() {
    if (events_.empty()) return;
    lastFlush_ = std::chrono::steady_clock::now();
    post_([events = std::move(events_), target = target_] {
      for (const Event& e : events) e.Replay(*target);
    });
    events_ = {};
  }

 private:
  enum class Kind { Clear, Point, Range, Legend, Repaint };
  struct Event {
    Kind kind;
    int a, b;
    double x, y;
    std::string corner;
    void Replay(ActInactSink& sink) const {
      switch (kind) {
        case Kind::Clear: sink.Clear(static_cast<ActInactCurve>(a)); break;
        case Kind::Point: sink.AddPoint(static_cast<ActInactCurve>(a), x, y); break;
        case Kind::Range: sink.SetAxisRange(static_cast<ActInactPlot>(a), static_cast<ActInactAxis>(b), x, y); break;
        case Kind::Legend: sink.PlaceLegend(static_cast<ActInactPlot>(a), corner); break;
        case Kind::Repaint: sink.RepaintTimeCourse(); break;
      }
    }
  };

  const ActInactWorker::Post& post_;
  ActInactSink* target_;
  std::vector<Event> events_;
  std::chrono::steady_clock::time_point lastFlush_{};
};

class WorkerHost final : public Host {
 public:
  WorkerHost(const std::atomic<bool>& stop, PostingSink& sink) : stop_(stop), sink_(sink) {}
  void ProcessEvents() override { sink_.Yield(); }
  bool StopRequested() const override { return stop_.load(); }
  bool Confirm(const std::string&) override { return false; }

 private:
  const std::atomic<bool>& stop_;
  PostingSink& sink_;
};

}  // namespace

ActInactWorker::ActInactWorker(Post post) : post_(std::move(post)) {}

ActInactWorker::~ActInactWorker() {
  Stop();
  Wait();
}

void ActInactWorker::Wait() {
  if (thread_.joinable()) thread_.join();
}

bool ActInactWorker::Start(const Session& session, const std::string& startFolder, const ActInactPeaks& peaks,
                           const ActInactState& state, ActInactSink& sink, std::function<void(Outcome&)> done) {
  if (running_.load()) return false;
  Wait();  // a worker that has just ended
  auto outcome = std::make_unique<Outcome>();
  outcome->session = session;
  outcome->peaks = peaks;
  outcome->state = state;
  outcome->state.file = nullptr;  // the worker writes no file
  outcome->state.ActInactSaveMode = 0;
  stop_.store(false);
  running_.store(true);
  thread_ = std::thread(&ActInactWorker::Run, this, std::move(outcome), startFolder, &sink, std::move(done));
  return true;
}

void ActInactWorker::Run(std::unique_ptr<Outcome> outcome, std::string startFolder, ActInactSink* sink,
                         std::function<void(Outcome&)> done) {
  PostingSink posting(post_, *sink);
  WorkerHost host(stop_, posting);
  try {
    ActInactTraces traces;
    CalcPeaks(outcome->session, startFolder, outcome->peaks, traces, outcome->state, host, posting);
  } catch (const std::exception& e) {
    outcome->error = e.what();
  } catch (...) {
    outcome->error = "the peak computation failed";
  }
  posting.Flush();
  outcome->stopped = stop_.load();
  // The procedure has returned: the flags are clear before the result is handed over.
  running_.store(false);
  stop_.store(false);
  std::shared_ptr<Outcome> shared(std::move(outcome));
  post_([shared, done = std::move(done)] { done(*shared); });
}

}  // namespace membrix
