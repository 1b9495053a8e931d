#include "app/cli_fit.h"

#include <signal.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "app/cli_model_options.h"
#include "common/error.h"
#include "data/simplex.h"
#include "params/model_defaults.h"
#include "params/parameter_file.h"
#include "run/host.h"
#include "run/run_view_sink.h"
#include "run/session.h"

namespace membrix {

namespace {

// Set by Ctrl+C (or by the SIGTERM a job scheduler sends before it ends a job).
// A signal handler reaches nothing but program-wide state, so this flag is the
// batch tool's one exception to keeping state in the session.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) { interrupted.store(true); }

// Ctrl+C and SIGTERM ask the fit to stop while this object lives. The handler
// is reset on delivery, so a second signal ends the program at once.
class InterruptRequest {
 public:
  InterruptRequest() {
    interrupted.store(false);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int i = 0; i < 2; ++i) installed_[i] = sigaction(kSignals[i], &action, &previous_[i]) == 0;
  }
  ~InterruptRequest() {
    for (int i = 0; i < 2; ++i) {
      if (installed_[i]) sigaction(kSignals[i], &previous_[i], nullptr);
    }
  }
  InterruptRequest(const InterruptRequest&) = delete;
  InterruptRequest& operator=(const InterruptRequest&) = delete;

 private:
  static constexpr int kSignals[2] = {SIGINT, SIGTERM};
  struct sigaction previous_[2]{};
  bool installed_[2] = {false, false};
};

class FitHost final : public Host {
 public:
  bool StopRequested() const override { return interrupted.load() || passLimitReached; }
  bool Confirm(const std::string&) override { return true; }
  bool passLimitReached = false;
};

std::string Number(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.10g", x);
  return buf;
}

// One line per pass: its number, the evaluations so far, the lowest value and
// the vertex that has it.
class PassPrinter final : public FitProgress {
 public:
  PassPrinter(const FitTable& fit, FitHost& host, int maxPasses)
      : fit_(fit), host_(host), maxPasses_(maxPasses) {}
  void Pass(const SimplexPass& pass, const std::string&) override {
    if (pass.nmaxExceeded) std::cout << "NMAX exceeded\n";
    char head[80];
    std::snprintf(head, sizeof head, "pass %4d  nfunk=%5d  residual %.6e ", pass.pass, pass.nfunk, pass.best);
    std::cout << head;
    for (std::size_t k = 0; k < pass.bestVertex.size(); ++k) {
      std::cout << " " << FitParameterAt(fit_, static_cast<int>(k) + 1).field << "="
                << Number(pass.bestVertex[k]);
    }
    std::cout << std::endl;  // a log that is watched shows every pass at once
    if (maxPasses_ > 0 && pass.pass >= maxPasses_) host_.passLimitReached = true;
  }

 private:
  const FitTable& fit_;
  FitHost& host_;
  int maxPasses_;
};

}  // namespace

PrintedFit RunPrintedFit(Session& s, int maxPasses, const FitSolver& solve) {
  FitHost host;
  PassPrinter printer(s.fit, host, maxPasses);
  NullRunViewSink views;
  PrintedFit fit;
  {
    InterruptRequest ctrlC;
    fit.result = solve(s, host, views, printer);
  }
  fit.interrupted = interrupted.load();
  fit.passLimitReached = host.passLimitReached;
  return fit;
}

CLI::App* AddFitCommand(CLI::App& app, FitOptions& o) {
  std::string names;
  for (const FitParameter& p : FitParameters()) {
    names += (names.empty() ? "" : ", ") + std::string(p.menuItem);
  }
  CLI::App* cmd = app.add_subcommand(
      "fit",
      "Fit model parameters to the recordings of a parameter file by the downhill simplex: every "
      "evaluation runs each recording 1 ... NSmpls and adds up the deviations. Prints one line per "
      "pass; Ctrl+C stops at the next evaluation and still reports (and writes) the best point.");
  cmd->add_option("--id", o.idFile, "The .id parameter file with the model, the protocol and the recordings")
      ->required()
      ->check(CLI::ExistingFile);
  const std::string fitHelp =
      "Parameter to fit, by its Parameters -> Simplex item or its field name (gNa[1] or gNa); may be "
      "repeated or comma-separated. Items: " + names +
      ". Without --fit the workbench's default marks (the resurgent-Na set) are fitted";
  cmd->add_option("--fit", o.parameters, fitHelp)
      ->delimiter(',')
      ->type_name("NAME");
  cmd->add_option("--out", o.out, "Write the fitted values as a parameter file that run --id reads")
      ->type_name("FILE");
  cmd->add_option("--tolerance", o.tolerance,
                  "Stop when the highest and lowest values of the simplex agree within this fraction "
                  "(default 1e-4)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--max-passes", o.maxPasses, "Stop after this many passes (default: no limit)")
      ->check(CLI::NonNegativeNumber);
  return cmd;
}

int FitCommand(const FitOptions& o) {
  CheckParameterFileReadable(o.idFile);
  std::error_code ec;
  if (!o.out.empty() && std::filesystem::exists(o.out, ec) && std::filesystem::equivalent(o.out, o.idFile, ec)) {
    throw IoError(o.out, "is the parameter file of the fit; --out would overwrite it: choose another file");
  }
  Session s;
  ApplyProgramStart(s);
  InitFitTable(s.fit);
  LoadParameterFile(s, o.idFile);
  CheckRunSettings(s);
  if (!o.parameters.empty()) SelectFitParameters(s.fit, o.parameters);
  CollectFitSelection(s.fit);
  s.fit.Tolerance = o.tolerance;
  CheckFitRequest(s);

  std::cout << "fitting";
  for (int k = 1; k <= s.fit.FitCount; ++k) {
    const FitParameter& p = FitParameterAt(s.fit, k);
    std::cout << " " << p.field << "=" << Number(s.NP0.*p.member);
  }
  std::cout << " to " << s.rec.NSmpls << " recording(s) of " << o.idFile << std::endl;

  FitHost host;
  PassPrinter printer(s.fit, host, o.maxPasses);
  NullRunViewSink views;
  SimplexResult result;
  {
    InterruptRequest ctrlC;
    result = RunSimplex(s, host, views, printer);
  }

  const bool wasInterrupted = interrupted.load();
  const char* how = wasInterrupted          ? "stopped by a signal"
                    : host.passLimitReached ? "stopped after --max-passes"
                                            : "converged";
  std::cout << "fit " << how << " after " << result.passes << " passes, " << result.nfunk
            << " evaluations (and " << s.fit.FitCount + 1 << " at the start)\n"
            << "residual: " << Number(result.value) << "\n";
  for (int k = 1; k <= s.fit.FitCount; ++k) {
    const FitParameter& p = FitParameterAt(s.fit, k);
    const double fitted = result.x[k - 1];
    std::cout << p.field << " = " << Number(fitted) << "\n";
    // A recording section that sets the parameter, or a model that derives it
    // at rest, overrides the fitted value in every run.
    const double used = s.NP0.*p.member;
    if (std::abs(used - fitted) > 1e-9 * std::max(1.0, std::abs(fitted))) {
      std::cerr << "membrix-cli: note: the runs replace " << p.field << " (" << Number(used)
                << " after the last run): a recording section sets it or the model derives it, so the fit "
                   "cannot move it\n";
    }
  }
  if (!o.out.empty()) {
    const std::string comment = "Fitted by membrix-cli fit from " + o.idFile + ": residual " +
                                Number(result.value) + " after " + std::to_string(result.passes) + " passes" +
                                (result.stopped ? " (stopped before the tolerance was reached)" : "");
    WriteFitParameterFile(o.out, FitParameterFileText(s, result.x, comment));
    std::cout << "written: " << o.out << "\n";
  }
  if (wasInterrupted) {
    // The best point so far is kept, but the fit did not end as asked.
    std::cerr << "membrix-cli: the fit was interrupted before it converged; the best point so far is shown"
              << (o.out.empty() ? "" : " and written") << "\n";
    return 1;
  }
  return 0;
}

}  // namespace membrix
