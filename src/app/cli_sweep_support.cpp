#include "app/cli_sweep_support.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cstdio>
#include <iostream>

#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "params/parameter_file.h"
#include "run/session.h"
#include "run/session_values.h"
#include "tasks/task_cost.h"

namespace membrix {

namespace {

// Set by Ctrl+C or SIGTERM. A signal handler reaches nothing but program-wide
// state, so this flag is the batch tool's one exception to keeping state in
// the session.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) { interrupted.store(true); }

constexpr int kSignals[2] = {SIGINT, SIGTERM};

}  // namespace

void AddSweepModelOptions(CLI::App& cmd, SweepModelOptions& o) {
  cmd.add_option("--id", o.idFile, "Open a .id parameter file first, as the workbench's File menu does")
      ->check(CLI::ExistingFile);
  cmd.add_option("--smpl", o.smpl, "Use recording K (0 ... 20) of the parameter file")->check(CLI::Range(0, 20));
  cmd.add_option("--family", o.family,
                 "Model family, as the HH_type menu: Rariza, Passive, Destexhe, Migliore, Cummins, Chow, Lyle, "
                 "Naundorf, White, White2, Shu, Bazhenov (resets the parameters to its defaults)");
  cmd.add_option("--geometry", o.geometry, "Geometry: 1-point, 2-points, 2-p-MainenSejn, 2-p-ActiveDend");
  cmd.add_flag("--thr-model", o.thrModel, "Use the threshold neuron of the family");
  cmd.add_flag("--lif-model", o.lifModel, "Use the adaptive exponential integrate-and-fire neuron");
  cmd.add_option("--set", o.assignments,
                 "KEY=VALUE: set a protocol global or a parameter field (NP0.gNa, ...) in internal units "
                 "(s, V); may be repeated; applied after the options above")
      ->type_name("KEY=VALUE");
  cmd.add_option("--dt", o.dt, "Time step in seconds (default 5e-5)")->check(CLI::PositiveNumber);
  cmd.add_option("--threads", o.threads, "Number of workers (default 0: one per core)")
      ->check(CLI::NonNegativeNumber);
}

void ApplySweepModelOptions(Session& s, const SweepModelOptions& o) {
  ApplyProgramStart(s);
  if (!o.idFile.empty()) LoadParameterFile(s, o.idFile);
  if (o.smpl >= 0) s.rec.Smpl = o.smpl;
  if (!o.family.empty()) SelectModelFamily(s, o.family);
  if (!o.geometry.empty()) SelectGeometry(s, o.geometry);
  if (o.thrModel) SetThrModel(s, true);
  if (o.lifModel) SetLIFModel(s, true);
  for (const std::string& a : o.assignments) SetSessionAssignment(s, a);
  if (o.dt > 0) SetTimeStep(s.run, o.dt);
  s.parallel.workers = o.threads;
}

InterruptRequest::InterruptRequest() {
  interrupted.store(false);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;  // a second Ctrl+C ends the program at once
  for (int i = 0; i < 2; ++i) installed_[i] = sigaction(kSignals[i], &action, &previous_[i]) == 0;
}

InterruptRequest::~InterruptRequest() {
  for (int i = 0; i < 2; ++i) {
    if (installed_[i]) sigaction(kSignals[i], &previous_[i], nullptr);
  }
}

bool InterruptRequest::Interrupted() { return interrupted.load(); }

SweepHost::SweepHost(ProgressStyle style)
    : style_(style == ProgressStyle::Terminal && isatty(STDERR_FILENO) != 1 ? ProgressStyle::None : style) {}

SweepHost::~SweepHost() { EndProgress(); }

void SweepHost::EndProgress() {
  if (progressShown_ && style_ == ProgressStyle::Terminal) std::cerr << "\n";
  progressShown_ = false;
}

bool SweepHost::StopRequested() const { return InterruptRequest::Interrupted(); }
bool SweepHost::interrupted() const { return InterruptRequest::Interrupted(); }

double SweepHost::ElapsedSeconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void SweepHost::Progress(std::int64_t done, std::int64_t total) {
  if (style_ == ProgressStyle::None) return;
  const double elapsed = ElapsedSeconds();
  // At most a few lines a second, and always the last.
  if (done < total && elapsed - lastShown_ < (style_ == ProgressStyle::JsonLines ? 1.0 : 0.2)) return;
  lastShown_ = elapsed;
  const double left = done > 0 && done < total ? elapsed * static_cast<double>(total - done) / static_cast<double>(done)
                                               : 0.0;
  if (style_ == ProgressStyle::JsonLines) {
    std::cerr << "{\"progress\": {\"done\": " << done << ", \"total\": " << total
              << ", \"elapsed_seconds\": " << CliNumber(elapsed) << ", \"remaining_seconds\": "
              << (done > 0 ? CliNumber(left) : "null") << "}}\n"
              << std::flush;
    return;
  }
  std::cerr << "\r" << done << " of " << total;
  if (done > 0 && done < total) std::cerr << ", about " << DurationText(left) << " left";
  std::cerr << "        " << std::flush;
  progressShown_ = true;
}

std::string CliNumber(double x) { return PlainNumber(x); }

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string JsonSweepHead(const std::string& file, bool complete) {
  return "{\"file\": " + JsonString(file) + ", \"complete\": " + (complete ? "true" : "false");
}

int ReportStoppedSweep(const std::string& file, std::int64_t done, std::int64_t total, const char* unit) {
  std::cerr << "membrix-cli: stopped after " << done << " of " << total << " " << unit << "; " << file
            << " holds the lines of those " << done << " and is not complete\n";
  return 130;
}

}  // namespace membrix
