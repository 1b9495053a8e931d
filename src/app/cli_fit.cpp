#include "app/cli_fit.h"
#include "tasks/model_inputs.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <iostream>

#include "app/cli_model_options.h"
#include "app/cli_sweep_support.h"
#include "common/error.h"
#include "data/global_fit.h"
#include "data/simplex.h"
#include "params/model_defaults.h"
#include "params/parameter_file.h"
#include "run/host.h"
#include "run/run_view_sink.h"
#include "run/session.h"

namespace membrix {

namespace {

class FitHost final : public Host {
 public:
  bool StopRequested() const override { return InterruptRequest::Interrupted() || passLimitReached; }
  bool Confirm(const std::string&) override { return true; }
  bool passLimitReached = false;
};

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
                << CliNumber(pass.bestVertex[k]);
    }
    std::cout << std::endl;  // a log that is watched shows every pass at once
    if (maxPasses_ > 0 && pass.pass >= maxPasses_) host_.passLimitReached = true;
  }

 private:
  const FitTable& fit_;
  FitHost& host_;
  int maxPasses_;
};

// The progress of the global methods: on a terminal one line that is
// rewritten; in a log a line at every change of stage and every 25th
// evaluation.
class StatusPrinter final : public FitProgress {
 public:
  explicit StatusPrinter(const FitTable& fit) : fit_(fit), terminal_(isatty(STDOUT_FILENO) == 1) {}
  void Status(const FitStatus& status) override {
    const std::string line = FitStatusLine(fit_, status);
    if (terminal_) {
      std::cout << "\r" << line << "\x1b[K" << std::flush;
      open_ = true;
    } else if (status.stage != stage_ || status.evaluations - printed_ >= 25) {
      std::cout << line << std::endl;
      printed_ = status.evaluations;
    }
    stage_ = status.stage;
  }
  // Ends the rewritten line.
  void Finish() {
    if (open_) std::cout << std::endl;
    open_ = false;
  }

 private:
  const FitTable& fit_;
  bool terminal_;
  bool open_ = false;
  std::string stage_;
  int printed_ = 0;
};

// NAME=LOWER:UPPER into the bounds of the table.
void ApplyBound(FitTable& fit, const std::string& text) {
  const std::size_t eq = text.find('=');
  const std::size_t colon = eq == std::string::npos ? std::string::npos : text.find(':', eq);
  if (colon == std::string::npos) {
    throw Error("--bound " + text + ": expected NAME=LOWER:UPPER, for example gNa=50:200");
  }
  const std::string name = text.substr(0, eq);
  const int slot = FindFitSlot(name);
  if (slot < 0) throw Error("--bound " + text + ": the fit table has no parameter \"" + name + "\"");
  double lower = 0.0, upper = 0.0;
  std::istringstream lo(text.substr(eq + 1, colon - eq - 1)), hi(text.substr(colon + 1));
  if (!(lo >> lower) || !lo.eof() || !(hi >> upper) || !hi.eof() || !std::isfinite(lower) || !std::isfinite(upper) ||
      !(lower < upper)) {
    throw Error("--bound " + text + ": LOWER and UPPER must be numbers with LOWER < UPPER");
  }
  fit.FitSlots[slot].FitLower = lower;
  fit.FitSlots[slot].FitUpper = upper;
}

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
  fit.interrupted = InterruptRequest::Interrupted();
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
      "Fit model parameters to the recordings of a parameter file by the downhill simplex (default), a "
      "global search with a local polish, or the simplex from several starts: every evaluation runs each "
      "recording 1 ... NSmpls and adds up the deviations (the global methods run the recordings and starts "
      "in parallel). Prints one line per pass of the simplex, or the progress of the others; Ctrl+C stops "
      "at the next evaluation and still reports (and writes) the best point. --out writes the fitted file: "
      "the protocol and recordings of --id with the fitted values.");
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
  cmd->add_option("--max-passes", o.maxPasses, "Stop after this many passes of the simplex (default: no limit)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--method", o.method,
                  "simplex: the downhill simplex from the parameters' values (default); global: a controlled "
                  "random search of the bounds followed by a local polish; multistart: the simplex from "
                  "--starts points spread over the bounds, the best kept")
      ->check(CLI::IsMember({"simplex", "global", "multistart"}));
  cmd->add_option("--starts", o.starts, "Starting points of the multistart, the parameters' values first (default 8)")
      ->check(CLI::Range(1, 1000));
  cmd->add_option("--max-evaluations", o.maxEvaluations,
                  "global: evaluations of the random search before the polish (default 50 per parameter, "
                  "and 50); multistart: evaluations each start may make (default: until it converges)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--bound", o.bounds,
                  "NAME=LOWER:UPPER: the range a parameter may take, which the global methods search whole; a "
                  "parameter without one is searched from half to twice its value. May be repeated")
      ->type_name("NAME=LO:HI");
  cmd->add_option("--workers", o.workers,
                  "Workers that run the recordings of an evaluation and the starts in parallel (default: one per core)")
      ->check(CLI::NonNegativeNumber);
  return cmd;

}

int FitCommand(const FitOptions& o) {
  std::error_code ec;
  if (!o.out.empty() && std::filesystem::exists(o.out, ec) && std::filesystem::equivalent(o.out, o.idFile, ec)) {
    throw IoError(o.out, "is the parameter file of the fit; --out would overwrite it: choose another file");
  }
  if (!o.out.empty()) {
    // Found out before a long fit, not after it.
    const auto folder = std::filesystem::absolute(o.out, ec).parent_path();
    if (!ec && !std::filesystem::is_directory(folder, ec)) {
      throw IoError(o.out, "its folder " + folder.string() + " does not exist");
    }
  }
  Session s;
  ApplyProgramStart(s);
  InitFitTable(s.fit);
  LoadParameterFile(s, o.idFile);
  CheckRunSettings(s);
  if (!o.parameters.empty()) SelectFitParameters(s.fit, o.parameters);
  CollectFitSelection(s.fit);
  s.fit.Tolerance = o.tolerance;
  for (const std::string& bound : o.bounds) ApplyBound(s.fit, bound);
  s.fit.Method = ParseFitMethod(o.method);
  if (s.fit.Method != FitMethod::Simplex && o.maxPasses > 0) {
    throw Error("--max-passes counts the passes of the simplex; the " + o.method +
                " method is limited by --max-evaluations");
  }
  s.fit.Starts = o.starts;
  s.fit.MaxEvaluations = o.maxEvaluations;
  s.parallel.workers = o.workers;
  CheckFitRequest(s);
  const std::string inputText = s.rec.IdFileText;  // the file as it was read for the fit

  std::cout << "fitting";
  for (int k = 1; k <= s.fit.FitCount; ++k) {
    const FitParameter& p = FitParameterAt(s.fit, k);
    std::cout << " " << p.field << "=" << CliNumber(s.NP0.*p.member);
  }
  std::cout << " to " << s.rec.NSmpls << " recording(s) of " << o.idFile << " by the " << o.method
            << " method" << std::endl;

  FitHost host;
  NullRunViewSink views;
  FitOutcome outcome;
  std::string how;
  std::string done;
  if (s.fit.Method == FitMethod::Simplex) {
    PassPrinter printer(s.fit, host, o.maxPasses);
    {
      InterruptRequest ctrlC;
      outcome = RunCheckedFit(s, host, views, printer);
    }
    how = InterruptRequest::Interrupted() ? "stopped by a signal"
          : host.passLimitReached         ? "stopped after --max-passes"
                                          : "converged";
    done = std::to_string(outcome.passes) + " passes, " + std::to_string(outcome.evaluations - s.fit.FitCount - 1) +
           " evaluations (and " + std::to_string(s.fit.FitCount + 1) + " at the start)";
  } else {
    StatusPrinter printer(s.fit);
    {
      InterruptRequest ctrlC;
      outcome = RunCheckedFit(s, host, views, printer);
    }
    printer.Finish();
    how = InterruptRequest::Interrupted() ? "stopped by a signal" : std::string(FitEndName(outcome.end));
    done = std::to_string(outcome.evaluations) + " evaluations";
    if (s.fit.Method == FitMethod::Multistart) done += " in " + std::to_string(outcome.passes) + " starts";
  }
  const bool wasInterrupted = InterruptRequest::Interrupted();
  std::cout << "fit " << how << " after " << done << "\n"
            << "residual: " << CliNumber(outcome.value) << "\n";
  for (int k = 1; k <= s.fit.FitCount; ++k) {
    const FitParameter& p = FitParameterAt(s.fit, k);
    const double fitted = outcome.x[k - 1];
    std::cout << p.field << " = " << CliNumber(fitted) << "\n";
    // A recording section that sets the parameter, or a model that derives it
    // at rest, overrides the fitted value in every run.
    const double used = s.NP0.*p.member;
    if (std::abs(used - fitted) > 1e-9 * std::max(1.0, std::abs(fitted))) {
      std::cerr << "membrix-cli: note: the runs replace " << p.field << " (" << CliNumber(used)
                << " after the last run): a recording section sets it or the model derives it, so the fit "
                   "cannot move it\n";
    }
  }
  if (!o.out.empty()) {
    const std::string comment = "Fitted by membrix-cli fit --method " + o.method + " from " + o.idFile +
                                ": " + how + ", residual " + CliNumber(outcome.value) + " after " + done;
    WriteFitParameterFile(o.out, FittedParameterFileText(inputText, s, outcome.x, comment));
    std::cout << "written: " << o.out << "\n";
    // The recordings are named as the fit's file names them: relative names are
    // found from the current folder or next to the file that is read.
    std::error_code ec;
    const auto outDir = std::filesystem::absolute(o.out, ec).parent_path();
    const auto idDir = std::filesystem::absolute(o.idFile, ec).parent_path();
    if (!ec && outDir != idDir) {
      std::cerr << "membrix-cli: note: " << o.out << " names the recordings as " << o.idFile
                << " does; relative recording names are found next to it only when it is in the same folder\n";
    }
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
