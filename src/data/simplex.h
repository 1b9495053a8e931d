#pragma once
// Fitting model parameters to recordings by the downhill simplex (Nelder-Mead)
// method: reflection, expansion, contraction, and shrinking about the best
// vertex. The minimiser works on any objective; the fit's objective runs the
// clamp simulation once for every recording of the parameter file and adds up
// the runs' deviations from the recordings.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "data/fit_table.h"

namespace membrix {

struct Session;
class Host;
class RunViewSink;

inline constexpr double kFitPenalty = 1e8;  // the value of a point that cannot be scored
inline constexpr double kDefaultTolerance = 1e-4;
inline constexpr int kNMax = 5000;  // evaluations after which each pass says "NMAX exceeded"

// One pass of the minimisation, as it is shown.
struct SimplexPass {
  int pass = 0;                        // 1, 2, ...
  int nfunk = 0;                       // evaluations of the passes so far
  double best = 0.0;                   // the lowest value of the vertices
  std::span<const double> bestVertex;  // the vertex with that value, valid during the call
  bool nmaxExceeded = false;           // more than kNMax evaluations before this pass
};

// What the minimiser works on.
class SimplexProblem {
 public:
  virtual ~SimplexProblem() = default;
  virtual double Objective(std::span<const double> x) = 0;
  // Read at every pass; 0 or less means 1e-4.
  virtual double Tolerance() const { return kDefaultTolerance; }
  // Asked before every evaluation but the first (the start point): once true,
  // no further point is evaluated.
  virtual bool StopRequested() const { return false; }
  virtual void Pass(const SimplexPass& pass) { (void)pass; }
};

struct SimplexResult {
  std::vector<double> x;  // the best vertex, which the minimisation leaves as vertex 1
  double value = 0.0;     // its objective value
  int nfunk = 0;          // evaluations of the passes (the start's n + 1 are not counted)
  int passes = 0;
  bool stopped = false;  // ended by a stop request, not by the tolerance
  bool flat = false;     // every point evaluated scored the same: the parameters do not change the deviation
};

// Minimises from x0 (at most 26 coordinates). Vertex i = 1 ... n has
// coordinate i of x0 multiplied by 1.1 + 0.01·i; vertex n + 1 is x0. The
// passes go on until the values of the highest and the lowest vertex agree
// within the tolerance, relative to their size, or a stop is requested. Either
// way the result is the best vertex found. An objective value that is not a
// finite number counts as kFitPenalty.
SimplexResult Minimise(std::span<const double> x0, SimplexProblem& problem);

struct FitStatus;

// Where a fit shows its passes besides the session's memos: the line added to
// SimplexMemo, and the pass itself. Status has the fit's state in the form
// every method shares (global_fit.h), after every pass of the simplex and
// every evaluation or start of the other methods.
class FitProgress {
 public:
  virtual ~FitProgress() = default;
  virtual void Pass(const SimplexPass& pass, const std::string& line) { (void)pass, (void)line; }
  virtual void Status(const FitStatus& status) { (void)status; }
};

// The fit's objective at x (positions 1 ... FitCount in x[0] ... x[FitCount - 1]):
// kFitPenalty for a point outside the bounds, without a run; else the
// parameters go into NP0 and every recording Smpl = 1 ... NSmpls is run, adding
// the run's deviation divided by sc_Simplex. Smpl is left at NSmpls.
double FitObjective(Session& s, Host& host, RunViewSink& views, std::span<const double> x);

// What must hold before a fit runs: 1 ... 26 parameters selected, 1 ... 20
// recordings, at least one of them with a recording file that can be read, and
// a positive sc_Simplex. Reads the recording sections on a copy of the session,
// so nothing changes. Throws Error (or the IoError or FormatError of a
// recording) saying what is wrong.
void CheckFitRequest(const Session& s);

// The whole fit, on the selection CollectFitSelection made: CheckFitRequest,
// the minimisation from NP0's values (clamped into the bounds), one line per
// pass in SimplexMemo and the fit vector in CoeMemo, and at the end the best
// vertex in NP0, evaluated once more so that the traces and ModelData show it,
// and "Stop Simplex." in SimplexMemo. host.StopRequested() ends the fit before
// its next evaluation. While running, NP0 holds the point evaluated last.
SimplexResult RunSimplex(Session& s, Host& host, RunViewSink& views, FitProgress& progress);
SimplexResult RunSimplex(Session& s, Host& host, RunViewSink& views);
// The same without CheckFitRequest, for a caller that has checked the request
// itself (its recordings are put in place when each run loads its parameters).
SimplexResult RunCheckedSimplex(Session& s, Host& host, RunViewSink& views, FitProgress& progress);

// The lowest and highest finite value of the points a fit scored.
struct ValueSpread {
  double low = 0.0, high = 0.0;
  int count = 0;
  void Add(double v) {
    if (!(v < kFitPenalty)) return;  // unscored points do not count
    low = count == 0 ? v : (v < low ? v : low);
    high = count == 0 ? v : (v > high ? v : high);
    ++count;
  }
  void Add(const ValueSpread& o) {
    if (o.count == 0) return;
    if (count == 0) {
      *this = o;
      return;
    }
    low = o.low < low ? o.low : low;
    high = o.high > high ? o.high : high;
    count += o.count;
  }
  // More than one point scored, all alike within the relative tolerance the
  // simplex ends on: 2·|high − low| / (|high| + |low| + 1e-8) below it.
  bool Flat(double tolerance) const {
    const double size = (high < 0 ? -high : high) + (low < 0 ? -low : low) + 1e-8;
    return count > 1 && 2.0 * (high - low) / size < tolerance;
  }
};

// What a fit says when no selected parameter changed the deviation: every
// point scored the same, so the result is only the start. Names a likely cause
// (resurgent-Na coefficients selected while gNaR is 0).
std::string FlatFitNote(const Session& s);

// Adds note to SimplexMemo unless the memo holds it already.
void NoteOnce(Session& s, const std::string& note);

// A fit that failed with failure after scoring points: the best of them (when
// any) goes into NP0 and the fit vector, and the failure is thrown again as an
// Error whose message names that point; the message goes into SimplexMemo too.
[[noreturn]] void KeepBestPointOfFailedFit(Session& s, std::span<const double> bestX, double best,
                                           const Error& failure);

// The progress line of a pass: "nfunk=" nfunk (width 4) ",  F=" the lowest value.
std::string SimplexProgressLine(int nfunk, double best);

// Rewrites CoeMemo with the names and values of the fit vector FitX: up to
// eight parameters on a header and a value line, the others on a second pair.
void ShowFitVector(Session& s);

// The fitted values as a parameter file that "run --id" and the workbench read:
// the model family and geometry, then the values after "MembrixPhysParameters".
// A parameter the files cannot take back is written as a comment that says so.
// x holds positions 1 ... FitCount in x[0] ... x[FitCount - 1].
// An imported channel's fitted conductance is such a comment too, unless
// namingText (the parameter file the values join) names its channel: a file
// takes it back only beside the channel's NeuroMLChannel[k] key.
std::string FitParameterFileText(const Session& s, std::span<const double> x, const std::string& comment,
                                 std::string_view namingText = {});

// The comment line of a fitted value a parameter file cannot take back on its
// own: the assignment, then how to give it.
std::string FittedValueNote(const FitParameter& p, double x);

// Writes that text to path; throws IoError when the file cannot be written
// completely (and leaves no partial file looking complete).
void WriteFitParameterFile(const std::string& path, const std::string& text);

}  // namespace membrix
