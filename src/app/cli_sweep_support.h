#pragma once
// What the sweep subcommands of membrix-cli share: the model options of "run",
// the worker count, Ctrl+C as the stop, a progress line on a terminal, and the
// JSON and number helpers of their summaries.

#include <signal.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "run/host.h"

namespace CLI {
class App;
}

namespace membrix {

struct Session;

// The model options every subcommand takes, applied in this order.
struct SweepModelOptions {
  std::string idFile;
  int smpl = -1;
  std::string family, geometry;
  bool thrModel = false, lifModel = false;
  std::vector<std::string> assignments;
  double dt = -1.0;  // s
  int threads = 0;   // 0 = all cores
};

void AddSweepModelOptions(CLI::App& cmd, SweepModelOptions& o);

// A session at the program's start values with the model options applied.
void ApplySweepModelOptions(Session& s, const SweepModelOptions& o);

// Ctrl+C and SIGTERM (the signal a job scheduler sends before it ends a job)
// ask the command to stop while this object lives. The handler is reset on
// delivery, so a second signal ends the program at once.
class InterruptRequest {
 public:
  InterruptRequest();
  ~InterruptRequest();
  InterruptRequest(const InterruptRequest&) = delete;
  InterruptRequest& operator=(const InterruptRequest&) = delete;
  // A signal came since the last request was made (also after it has ended).
  static bool Interrupted();

 private:
  struct sigaction previous_[2]{};
  bool installed_[2] = {false, false};
};

// The stop of a sweep is Ctrl+C or SIGTERM while this object lives. Its
// progress goes to stderr: on a terminal a line "k of n, about T left"; as
// JSON lines ({"progress": ...}) for job scripts; or not at all.
class SweepHost final : public Host {
 public:
  enum class ProgressStyle { Terminal, JsonLines, None };
  explicit SweepHost(ProgressStyle style = ProgressStyle::Terminal);
  ~SweepHost() override;
  SweepHost(const SweepHost&) = delete;
  SweepHost& operator=(const SweepHost&) = delete;
  bool StopRequested() const override;
  bool Confirm(const std::string&) override { return true; }
  void Progress(std::int64_t done, std::int64_t total);
  // Ends the terminal's progress line (also done by the destructor).
  void EndProgress();
  bool interrupted() const;
  // Seconds since the host was made (the sweep's wall time).
  double ElapsedSeconds() const;

 private:
  InterruptRequest ctrlC_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  ProgressStyle style_;
  bool progressShown_ = false;
  double lastShown_ = -1.0;
};

// A sink of a sweep that keeps the points it is given (Sink::Point) and shows
// its progress on the host.
template <class Sink, class Item>
class CollectingSink final : public Sink {
 public:
  explicit CollectingSink(SweepHost& host) : host_(host) {}
  void Point(const Item& p) override { points.push_back(p); }
  void Progress(std::int64_t done, std::int64_t total) override { host_.Progress(done, total); }
  std::vector<Item> points;

 private:
  SweepHost& host_;
};

std::string CliNumber(double x);
std::string JsonString(const std::string& text);
// The start of a sweep's JSON summary: {"file": ..., "complete": true|false
std::string JsonSweepHead(const std::string& file, bool complete);

// The exit status and message of a sweep that ended early: prints on stderr
// that the file holds the first done of total points, returns 130.
int ReportStoppedSweep(const std::string& file, std::int64_t done, std::int64_t total, const char* unit);

}  // namespace membrix
