#include "tasks/task_cost.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include "common/error.h"
#include "run/clamp_run.h"
#include "run/independent_runs.h"
#include "run/recording.h"
#include "run/run_view_sink.h"
#include "run/session.h"

namespace membrix {

namespace {

class NoViews final : public RunViewSink {
 public:
  bool Drawing() const override { return false; }
};

std::string Rounded(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.3g", x);
  return buf;
}

}  // namespace

double MeasureStepSeconds(const Session& s) {
  constexpr std::int32_t kSteps = 2000;
  auto copy = std::make_unique<Session>(s);
  copy->run.WriteMode = 0;
  copy->run.Writing = 0;
  SetRunLength(copy->run, copy->run.dt * kSteps);
  BatchHost host;
  NoViews views;
  const auto start = std::chrono::steady_clock::now();
  try {
    RunClamp(*copy, host, views);
  } catch (const Error&) {
    return 1e-6;  // the model cannot run alone (it needs its task's set-up): a typical step
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double steps = std::max<double>(copy->run.nt, 1.0);
  return std::max(seconds / steps, 1e-8);
}

double MachineMemoryBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long size = sysconf(_SC_PAGE_SIZE);
  return pages > 0 && size > 0 ? static_cast<double>(pages) * static_cast<double>(size) : 0.0;
}

std::string DurationText(double seconds) {
  if (!std::isfinite(seconds)) return "for ever";
  if (seconds < 60) return Rounded(seconds) + " s";
  const double minutes = seconds / 60;
  if (minutes < 60) return std::to_string(static_cast<long>(minutes)) + " min";
  const double hours = minutes / 60;
  if (hours < 48) {
    return std::to_string(static_cast<long>(hours)) + " h " +
           std::to_string(static_cast<long>(minutes - 60 * std::floor(hours))) + " min";
  }
  return Rounded(hours / 24) + " days";
}

double ClampRunRecordingBytes(const Session& s, double steps) {
  const int k = s.rec.Smpl;
  if (k < 0 || k > kMaxRecording || !NamesRecordingFile(s.rec.SmplFile[static_cast<std::size_t>(k)])) return 0.0;
  std::error_code ec;
  const auto size = std::filesystem::file_size(RecordingPath(s, s.rec.SmplFile[static_cast<std::size_t>(k)]), ec);
  // The text is read whole, then held as points of 16 bytes, a point for
  // every line of at least 8 characters.
  const double text = ec ? 0.0 : static_cast<double>(size);
  return 3.0 * text + RecordingTableBytes(steps);
}

void CheckMemory(const std::string& what, double bytes) {
  const double memory = MachineMemoryBytes();
  if (memory > 0 && bytes > memory) {
    throw RangeError("this " + what + " would hold about " + Rounded(bytes / 1e9) + " GB at once, more than the " +
                     Rounded(memory / 1e9) + " GB of this machine");
  }
}

CostEstimate CheckTaskCost(const TaskDeclaration& task, const TaskValues& values, const Session& s,
                           const TaskInputs& inputs, std::ostream& notes) {
  CostEstimate e;
  if (!task.cost) return e;
  e.cost = task.cost(s, inputs, values);
  e.workers = task.sharedRuns ? WorkerCount(s.parallel) : 1;
  CheckMemory(task.name, e.cost.bytes);
  const double steps = e.cost.runs * e.cost.stepsPerRun;
  // A short measurement is worth it only when the work may be long; a run
  // past the longest is refused by the run itself, naming its length.
  if (steps < 2e7 || e.cost.stepsPerRun >= static_cast<double>(kMaxSteps)) return e;
  e.seconds = steps * MeasureStepSeconds(s) / e.workers;
  if (e.seconds > kSayCostSeconds) {
    notes << "membrix-cli: this " << task.name << " makes " << Rounded(e.cost.runs) << " run"
          << (e.cost.runs == 1 ? "" : "s") << " of about " << Rounded(e.cost.stepsPerRun) << " steps; at the "
          << Rounded(steps > 0 ? e.seconds * e.workers / steps * 1e6 : 0) << " µs a step measured here, on "
          << e.workers << " worker" << (e.workers == 1 ? "" : "s") << ", that is about " << DurationText(e.seconds)
          << " (Ctrl+C stops it and keeps what is done)\n";
  }
  return e;
}

}  // namespace membrix
