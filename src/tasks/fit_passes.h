#pragma once
// The progress lines of the fits (fit, reverse): one line per pass of the
// simplex, or the status of the global methods, written where the batch tool
// asks (standard output for its text, standard error under --json, where
// standard output holds the summary alone).

#include <nlohmann/json_fwd.hpp>

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace membrix {

struct Session;
class Host;
class RunViewSink;
class FitProgress;

// Where the pass lines go, and whether that is a terminal (a status line is
// then rewritten in place). Standard output by default.
struct FitPassOutput {
  std::ostream* out;
  bool terminal;
};
FitPassOutput& FitPassLines();

// solve runs a minimisation on the session with the host, views and progress
// given. The host passes on the stop requests of the call's host and stops
// after maxPasses passes of the simplex (0: no limit) as well.
using FitSolver = std::function<void(Session&, Host&, RunViewSink&, FitProgress&)>;
struct PrintedFit {
  bool stopped = false;           // ended by a stop request of the host (Ctrl+C, SIGTERM)
  bool passLimitReached = false;  // ended by maxPasses
};
// Runs solve with one line per pass on FitPassLines(); watcher, when given, is
// told every pass and status as well.
PrintedFit RunPrintedFit(Session& s, Host& host, int maxPasses, const FitSolver& solve,
                         FitProgress* watcher = nullptr);

// The "done" part of a fit's last line from its results: "12 passes, 80
// evaluations (and 3 at the start)" for the simplex, "180 evaluations [in 8
// starts]" for the others.
std::string FitDoneText(const nlohmann::ordered_json& results);

// The names of a repeated, comma-separated option ("--fit gNa,gK --fit VL").
std::vector<std::string> SplitNames(const std::vector<std::string>& given);

}  // namespace membrix
