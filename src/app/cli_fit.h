#pragma once
// membrix-cli fit: the fit of chosen model parameters to the recordings of a
// parameter file, by the simplex, a global search or the simplex from several
// starts, with its progress and the fitted values written as a parameter file.

#include <functional>
#include <string>
#include <vector>

#include "data/simplex.h"

namespace CLI {
class App;
}

namespace membrix {

struct FitOptions {
  std::string idFile;
  std::vector<std::string> parameters;  // Simplex menu items or field names; empty = the default marks
  std::string out;                      // parameter file of the fitted values; empty = none
  double tolerance = 0.0;               // 0 = 1e-4
  int maxPasses = 0;                    // 0 = until the tolerance is reached
  std::string method = "simplex";       // simplex, global or multistart
  int starts = kDefaultFitStarts;       // starting points of the multistart
  int maxEvaluations = 0;               // 0 = the method's own measure
  std::vector<std::string> bounds;      // NAME=LOWER:UPPER
  int workers = 0;                      // 0 = one per core
};

// Adds the "fit" subcommand with its options to app.
CLI::App* AddFitCommand(CLI::App& app, FitOptions& options);

// Runs the fit; returns the exit status. Errors are thrown as membrix::Error.
int FitCommand(const FitOptions& options);

// A fit of the batch tool with its progress: one printed line per pass (its
// number, the evaluations, the residual and the best vertex), Ctrl+C or SIGTERM
// as Stop, and a stop after maxPasses passes (0: no limit). solve runs the
// minimisation on the session with the host, views and progress given.
using FitSolver = std::function<SimplexResult(Session&, Host&, RunViewSink&, FitProgress&)>;
struct PrintedFit {
  SimplexResult result;
  bool interrupted = false;       // ended by a signal
  bool passLimitReached = false;  // ended by maxPasses
};
PrintedFit RunPrintedFit(Session& s, int maxPasses, const FitSolver& solve);

}  // namespace membrix
