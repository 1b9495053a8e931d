#pragma once
// The fit's strategies beside the downhill simplex: a global search of the
// parameter box by NLopt's controlled random search followed by a local
// polish, and the simplex started from several points spread over the box.
// Both score a point by running every recording 1 ... NSmpls on its own copy
// of the session as it stood when the fit began, through the pool of the
// independent runs, and add the deviations in recording order: a point's
// residual does not depend on the number of workers nor on the points scored
// before it. The simplex itself keeps its own evaluation on the session.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/fit_table.h"
#include "data/simplex.h"

namespace membrix {

struct Session;
class Host;
class RunViewSink;

// How a fit ends.
enum class FitEnd { Converged, Stopped, EvaluationLimit };

// "converged", "stopped", "evaluation limit".
std::string_view FitEndName(FitEnd end);

// "simplex", "global", "multistart".
std::string_view FitMethodName(FitMethod method);
// The method of a name FitMethodName gives; an Error naming the methods for any other.
FitMethod ParseFitMethod(std::string_view name);

// The state of a fit as its one progress line shows it.
struct FitStatus {
  FitMethod method = FitMethod::Simplex;
  std::string stage;                // "simplex", "global search", "polish", "start 3 of 8"
  int pass = 0;                     // passes of the simplex, or starts finished
  int evaluations = 0;              // points scored so far
  double best = 0.0;                // the lowest residual so far
  std::span<const double> bestX;    // its point, valid during the call
};

// "simplex  pass 12  evaluations 57  best residual 1.234567e-03  gNa=119.97 gK=36.01"
std::string FitStatusLine(const FitTable& fit, const FitStatus& status);

// The result of a fit of any method.
struct FitOutcome {
  FitMethod method = FitMethod::Simplex;
  std::vector<double> x;  // the best point, positions 1 ... FitCount in x[0] ...
  double value = 0.0;     // its residual
  int evaluations = 0;    // points scored (for the simplex: its passes' evaluations and the start's)
  int passes = 0;         // simplex passes, or starts run
  FitEnd end = FitEnd::Converged;
  bool flat = false;  // every point scored the same: the parameters do not change the deviation
};

// "global: converged after 180 evaluations, residual 1.2e-06; gNa = 119.99"
std::string FitEndLine(const FitTable& fit, const FitOutcome& outcome);

// The box a global method or the starts of the multistart explore, from the
// table's bounds and the start point x0: a parameter whose upper bound is left
// at kFitUpperBound (no bound set) is searched from half to twice its start
// value (a start of 0 or below: from start - max(|start|, 1) to start +
// max(|start|, 1)); always within the table's bounds.
void FitSearchBox(const FitTable& fit, std::span<const double> x0, std::vector<double>& lower,
                  std::vector<double>& upper);

// The starting points of the multistart: the start point itself, then
// count - 1 points of a Halton sequence spread over the box.
std::vector<std::vector<double>> MultistartPoints(std::span<const double> x0, std::span<const double> lower,
                                                  std::span<const double> upper, int count);

// Scores points on copies of the session as it was when the object was made:
// each recording of each point is an independent run on the pool, and a
// point's deviations are added in recording order. A point outside the
// table's bounds is kFitPenalty without a run. Notes the runs leave in
// SimplexMemo (a diverged run, a long recording) are collected in notes().
class FitEvaluator {
 public:
  FitEvaluator(const Session& s, Host& host);
  ~FitEvaluator();
  FitEvaluator(const FitEvaluator&) = delete;
  FitEvaluator& operator=(const FitEvaluator&) = delete;

  // The residuals of the points, in their order. Returns false when a stop
  // request ended the runs before every point was scored.
  bool Evaluate(std::span<const std::vector<double>> points, std::vector<double>& values);

  // One point on the calling thread's session copy, recording after recording
  // (the same value Evaluate gives); for a caller already on a worker. The
  // scratch session keeps its own recording tables.
  double EvaluateSerially(std::span<const double> x, Session& scratch, Host& host) const;

  const Session& base() const { return *base_; }
  const std::vector<std::string>& notes() const { return notes_; }

 private:
  bool InBounds(std::span<const double> x) const;
  double RunRecording(Session& copy, Host& host, std::span<const double> x, int k) const;

  const Session* base_;  // owned: the session as the fit began
  Host& host_;
  std::vector<std::string> notes_;
};

// The parameter file of a fit's result: the text of the file the fit read,
// with the fitted values assigned at the end of its neuron's section (just
// before "KeepParams=0") and the comment at the top, so that the file runs the
// same protocol and recordings with the fitted values. A text without that
// marker gives FitParameterFileText: the model and the values alone.
std::string FittedParameterFileText(const std::string& fileText, const Session& s, std::span<const double> x,
                                    const std::string& comment);

// A whole fit by the method the table chooses (FitTable::Method), on the
// selection CollectFitSelection made: the request is checked, the search runs
// from NP0's values (clamped into the bounds), and at the end the best point
// goes into NP0 and is run once more on the session so that the traces and
// ModelData show it; its end line goes into SimplexMemo, the fit vector into
// CoeMemo. The simplex is the described one (RunSimplex), unchanged; the
// others report through progress.Status.
FitOutcome RunFit(Session& s, Host& host, RunViewSink& views, FitProgress& progress);
// The same without CheckFitRequest.
FitOutcome RunCheckedFit(Session& s, Host& host, RunViewSink& views, FitProgress& progress);

}  // namespace membrix
