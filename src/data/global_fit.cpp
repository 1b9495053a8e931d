#include "data/global_fit.h"

#include <nlopt.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <memory>
#include <utility>

#include "common/error.h"
#include "common/number_format.h"
#include "params/parameter_file.h"
#include "run/clamp_run.h"
#include "run/host.h"
#include "run/independent_runs.h"
#include "run/recording.h"
#include "run/run_view_sink.h"
#include "run/session.h"

namespace membrix {

namespace {

constexpr std::string_view kMethodNames[] = {"simplex", "global", "multistart"};

// The global search scores this many points per coordinate (and one more)
// unless the table sets a number; the polish at most twice that.
constexpr int kGlobalEvaluationsPerCoordinate = 50;
// The polish starts with steps of this fraction of the box.
constexpr double kPolishStep = 0.02;
// Notes of the search's runs shown at the end; the rest are counted.
constexpr std::size_t kShownNotes = 5;

std::string Number(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.10g", x);
  return buf;
}

// The i-th element (from 1) of the van der Corput sequence in the base.
double RadicalInverse(int i, int base) {
  double f = 1.0, r = 0.0;
  while (i > 0) {
    f /= base;
    r += f * (i % base);
    i /= base;
  }
  return r;
}

constexpr int kPrimes[kMaxFitCount] = {2,  3,  5,  7,  11, 13, 17, 19, 23, 29, 31, 37, 41,
                                       43, 47, 53, 59, 61, 67, 71, 73, 79, 83, 89, 97, 101};

// The best point a search has seen, with the progress it reports.
struct Tracker {
  Tracker(const FitTable& fit, FitMethod method, FitProgress& progress, Host& host)
      : fit(fit), method(method), progress(progress), host(host) {}

  void Offer(std::span<const double> x, double value) {
    if (bestX.empty() || value < best) {
      best = value;
      bestX.assign(x.begin(), x.end());
    }
  }
  void Report(const std::string& stage, int pass) {
    FitStatus status;
    status.method = method;
    status.stage = stage;
    status.pass = pass;
    status.evaluations = evaluations;
    status.best = best;
    status.bestX = bestX;
    progress.Status(status);
    host.ProcessEvents();
  }

  const FitTable& fit;
  FitMethod method;
  FitProgress& progress;
  Host& host;
  int evaluations = 0;
  double best = std::numeric_limits<double>::infinity();
  std::vector<double> bestX;
  ValueSpread spread;
};

// --- the global search ---------------------------------------------------------

struct NloptCall {
  FitEvaluator* evaluator = nullptr;
  Tracker* tracker = nullptr;
  Host* host = nullptr;
  nlopt_opt opt = nullptr;
  std::string stage;
  bool stopped = false;
  std::exception_ptr error;  // an exception may not pass through the library
};

double NloptObjective(unsigned n, const double* x, double* grad, void* data) {
  (void)grad;  // the algorithms used take no gradient
  auto& call = *static_cast<NloptCall*>(data);
  try {
    if (call.host->StopRequested()) {
      call.stopped = true;
      nlopt_force_stop(call.opt);
      return kFitPenalty;
    }
    const std::vector<std::vector<double>> points = {std::vector<double>(x, x + n)};
    std::vector<double> values;
    if (!call.evaluator->Evaluate(points, values)) {
      call.stopped = true;
      nlopt_force_stop(call.opt);
      return kFitPenalty;
    }
    ++call.tracker->evaluations;
    call.tracker->spread.Add(values[0]);
    call.tracker->Offer(points[0], values[0]);
    call.tracker->Report(call.stage, 0);
    return values[0];
  } catch (...) {
    call.error = std::current_exception();
    nlopt_force_stop(call.opt);
    return kFitPenalty;
  }
}

class NloptHandle {
 public:
  NloptHandle(nlopt_algorithm algorithm, unsigned n) : opt_(nlopt_create(algorithm, n)) {
    if (opt_ == nullptr) throw Error("the optimisation library could not set up its search");
  }
  ~NloptHandle() { nlopt_destroy(opt_); }
  NloptHandle(const NloptHandle&) = delete;
  NloptHandle& operator=(const NloptHandle&) = delete;
  nlopt_opt get() const { return opt_; }

 private:
  nlopt_opt opt_;
};

// One stage of NLopt from x (which it leaves at the stage's best point).
nlopt_result RunNloptStage(nlopt_algorithm algorithm, const std::string& stage, std::vector<double>& x,
                           const std::vector<double>& lower, const std::vector<double>& upper, int maxEvaluations,
                           double tolerance, FitEvaluator& evaluator, Tracker& tracker, Host& host,
                           bool& stopped) {
  const auto n = static_cast<unsigned>(x.size());
  NloptHandle handle(algorithm, n);
  nlopt_opt opt = handle.get();
  nlopt_set_lower_bounds(opt, lower.data());
  nlopt_set_upper_bounds(opt, upper.data());
  nlopt_set_maxeval(opt, maxEvaluations);
  if (algorithm == NLOPT_LN_SBPLX) {
    std::vector<double> step(n);
    for (unsigned j = 0; j < n; ++j) step[j] = std::max(kPolishStep * (upper[j] - lower[j]), 1e-12);
    nlopt_set_initial_step(opt, step.data());
    nlopt_set_ftol_rel(opt, tolerance);
    nlopt_set_xtol_rel(opt, tolerance * 1e-2);
  }
  NloptCall call;
  call.evaluator = &evaluator;
  call.tracker = &tracker;
  call.host = &host;
  call.opt = opt;
  call.stage = stage;
  nlopt_set_min_objective(opt, NloptObjective, &call);
  // The random search draws from the library's generator: seeded, so a fit
  // repeats exactly.
  nlopt_srand(1);
  double value = 0.0;
  const nlopt_result result = nlopt_optimize(opt, x.data(), &value);
  if (call.error) std::rethrow_exception(call.error);
  if (call.stopped) stopped = true;
  return result;
}

// --- the multistart --------------------------------------------------------------

// One start's simplex on a worker: the recordings one after another on the
// worker's session, the evaluations counted against the start's limit.
class StartProblem final : public SimplexProblem {
 public:
  StartProblem(const FitEvaluator& evaluator, Session& scratch, Host& host, double tolerance, int limit)
      : evaluator_(evaluator), scratch_(scratch), host_(host), tolerance_(tolerance), limit_(limit) {}
  double Objective(std::span<const double> x) override {
    ++evaluations;
    const double v = evaluator_.EvaluateSerially(x, scratch_, host_);
    spread.Add(v);
    return v;
  }
  double Tolerance() const override { return tolerance_; }
  bool StopRequested() const override {
    if (host_.StopRequested()) return true;
    if (limit_ > 0 && evaluations >= limit_) {
      limited = true;
      return true;
    }
    return false;
  }
  int evaluations = 0;
  mutable bool limited = false;
  ValueSpread spread;

 private:
  const FitEvaluator& evaluator_;
  Session& scratch_;
  Host& host_;
  double tolerance_;
  int limit_;
};

struct StartResult {
  SimplexResult result;
  int evaluations = 0;
  bool limited = false;
  ValueSpread spread;
};

}  // namespace

std::string_view FitEndName(FitEnd end) {
  switch (end) {
    case FitEnd::Converged: return "converged";
    case FitEnd::Stopped: return "stopped";
    case FitEnd::EvaluationLimit: return "evaluation limit";
  }
  return "converged";
}

std::string_view FitMethodName(FitMethod method) {
  const auto i = static_cast<std::size_t>(method);
  return i < std::size(kMethodNames) ? kMethodNames[i] : kMethodNames[0];
}

FitMethod ParseFitMethod(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kMethodNames); ++i) {
    if (name == kMethodNames[i]) return static_cast<FitMethod>(i);
  }
  throw Error("unknown fitting method \"" + std::string(name) + "\": choose simplex, global or multistart");
}

std::string FitStatusLine(const FitTable& fit, const FitStatus& status) {
  std::string line = status.stage;
  if (status.pass > 0) {
    line += status.method == FitMethod::Multistart ? "  starts done " : "  pass ";
    line += std::to_string(status.pass);
  }
  line += "  evaluations " + std::to_string(status.evaluations) + "  best residual ";
  if (status.bestX.empty()) {
    line += "-";
    return line;
  }
  char best[32];
  std::snprintf(best, sizeof best, "%.6e", status.best);
  line += best;
  for (std::size_t k = 0; k < status.bestX.size() && static_cast<int>(k) < fit.FitCount; ++k) {
    line += "  " + std::string(FitParameterAt(fit, static_cast<int>(k) + 1).field) + "=" + Number(status.bestX[k]);
  }
  return line;
}

std::string FitEndLine(const FitTable& fit, const FitOutcome& outcome) {
  std::string line = std::string(FitMethodName(outcome.method)) + ": " + std::string(FitEndName(outcome.end)) +
                     " after " + std::to_string(outcome.evaluations) + " evaluations, residual " +
                     Number(outcome.value);
  for (std::size_t k = 0; k < outcome.x.size() && static_cast<int>(k) < fit.FitCount; ++k) {
    line += (k == 0 ? "; " : ", ") + std::string(FitParameterAt(fit, static_cast<int>(k) + 1).field) + " = " +
            Number(outcome.x[k]);
  }
  return line;
}

void FitSearchBox(const FitTable& fit, std::span<const double> x0, std::vector<double>& lower,
                  std::vector<double>& upper) {
  lower.assign(x0.size(), 0.0);
  upper.assign(x0.size(), 0.0);
  for (std::size_t j = 0; j < x0.size(); ++j) {
    const FitSlot& slot = fit.FitSlots[fit.FitOrder[j + 1] - 1];
    double lo = slot.FitLower, hi = slot.FitUpper;
    if (hi >= kFitUpperBound) {
      const double start = x0[j];
      if (start > 0.0) {
        lo = std::max(lo, 0.5 * start);
        hi = std::min(hi, 2.0 * start);
      } else {
        const double reach = std::max(std::abs(start), 1.0);
        lo = std::max(lo, start - reach);
        hi = std::min(hi, start + reach);
      }
    }
    if (hi < lo) hi = lo;
    lower[j] = lo;
    upper[j] = hi;
  }
}

std::vector<std::vector<double>> MultistartPoints(std::span<const double> x0, std::span<const double> lower,
                                                  std::span<const double> upper, int count) {
  std::vector<std::vector<double>> points;
  if (count < 1) return points;
  points.emplace_back(x0.begin(), x0.end());
  for (int i = 1; i < count; ++i) {
    std::vector<double> p(x0.size());
    for (std::size_t j = 0; j < x0.size(); ++j) {
      const double u = RadicalInverse(i, kPrimes[j % kMaxFitCount]);
      p[j] = lower[j] + u * (upper[j] - lower[j]);
    }
    points.push_back(std::move(p));
  }
  return points;
}

// --- FitEvaluator -----------------------------------------------------------------

FitEvaluator::FitEvaluator(const Session& s, Host& host) : base_(new Session(s)), host_(host) {
  auto& base = const_cast<Session&>(*base_);
  // The search's runs write no files and wait for no pause; the final run on
  // the session does what the settings ask.
  base.run.Writing = 0;
  base.run.WriteMode = 0;
  base.run.PauseFlag = ' ';
  base.SimplexMemo.clear();
  base.ParamsMemo.clear();
  base.CoeMemo.clear();
  // The runs fill the rows of their recording's columns that they read, so
  // the base carries no tables and every worker keeps its own (PerWorker):
  // the copies stay small.
  { const TraceTable released = std::move(base.ExpData); }
  { const TraceTable released = std::move(base.ModelData); }
}

FitEvaluator::~FitEvaluator() { delete base_; }

bool FitEvaluator::InBounds(std::span<const double> x) const {
  const FitTable& fit = base_->fit;
  for (int k = 1; k <= fit.FitCount; ++k) {
    const FitSlot& slot = fit.FitSlots[fit.FitOrder[k] - 1];
    if (!(x[k - 1] >= slot.FitLower && x[k - 1] <= slot.FitUpper)) return false;
  }
  return true;
}

double FitEvaluator::RunRecording(Session& copy, Host& host, std::span<const double> x, int k) const {
  // Every evaluation of a recording draws the same noise.
  copy.random.set_state(RunSeed(k, copy.random.seed()));
  FitTable& fit = copy.fit;
  for (int j = 1; j <= fit.FitCount; ++j) fit.FitX[j] = x[j - 1];
  FitToRecord(fit, copy.NP0);
  copy.rec.Smpl = k;
  NullRunViewSink views;
  double E = 0.0;
  try {
    E = RunClamp(copy, host, views);
  } catch (const DivergenceError& e) {
    // A point the model cannot run with scores as one outside the bounds:
    // the point's sum is not finite and so counts as kFitPenalty.
    copy.SimplexMemo.push_back(e.what());
    return std::numeric_limits<double>::infinity();
  }
  if (!(copy.prog.sc_Simplex > 0.0) || !std::isfinite(copy.prog.sc_Simplex)) {
    throw RangeError("sc_Simplex must be a positive number, not " + Number(copy.prog.sc_Simplex) + " (recording " +
                     std::to_string(k) + ")");
  }
  return E / copy.prog.sc_Simplex;
}

bool FitEvaluator::Evaluate(std::span<const std::vector<double>> points, std::vector<double>& values) {
  values.assign(points.size(), kFitPenalty);
  std::vector<std::size_t> scored;
  for (std::size_t p = 0; p < points.size(); ++p) {
    if (InBounds(points[p])) scored.push_back(p);
  }
  const std::int64_t recordings = base_->rec.NSmpls;
  if (scored.empty() || recordings < 1) return true;
  struct Run {
    double deviation = 0.0;
    std::vector<std::string> notes;
  };
  std::vector<double> sums(scored.size(), 0.0);
  const auto count = static_cast<std::int64_t>(scored.size()) * recordings;
  const RunsOutcome outcome = RunIndependent<Run>(
      *base_, host_, count,
      [&](Session& copy, Host& workerHost, std::int64_t i) {
        const auto& x = points[scored[static_cast<std::size_t>(i / recordings)]];
        Run run;
        run.deviation = RunRecording(copy, workerHost, x, static_cast<int>(i % recordings) + 1);
        run.notes = std::move(copy.SimplexMemo);
        return run;
      },
      [&](std::int64_t i, Run&& run) {
        // Delivered in index order: each point's sum runs over its recordings 1 ... NSmpls.
        sums[static_cast<std::size_t>(i / recordings)] += run.deviation;
        for (std::string& note : run.notes) notes_.push_back(std::move(note));
      },
      RecordingTables::PerWorker);
  if (outcome.stopped) return false;
  for (std::size_t q = 0; q < scored.size(); ++q) {
    values[scored[q]] = std::isfinite(sums[q]) ? sums[q] : kFitPenalty;
  }
  return true;
}

double FitEvaluator::EvaluateSerially(std::span<const double> x, Session& scratch, Host& host) const {
  if (!InBounds(x)) return kFitPenalty;
  double F = 0.0;
  for (int k = 1; k <= base_->rec.NSmpls; ++k) {
    AssignKeepingTables(scratch, *base_);
    F += RunRecording(scratch, host, x, k);
  }
  return std::isfinite(F) ? F : kFitPenalty;
}

std::string FittedParameterFileText(const std::string& fileText, const Session& s, std::span<const double> x,
                                    const std::string& comment) {
  const std::size_t at = FindToken(fileText, "KeepParams=0");
  if (at == std::string::npos) return FitParameterFileText(s, x, comment);
  // The values as FitParameterFileText writes them, taken from its neuron section.
  const std::string alone = FitParameterFileText(s, x, {}, fileText);
  const std::string marker = "MembrixPhysParameters\n";
  const std::size_t from = alone.find(marker) + marker.size();
  const std::string values = alone.substr(from, alone.find("KeepParams=0") - from);
  std::string note = comment;
  std::replace(note.begin(), note.end(), '}', ')');  // a brace would end the comment early
  std::string text;
  if (!note.empty()) text += "{ " + note + " }\n";
  text += fileText.substr(0, at);
  if (!text.empty() && text.back() != '\n') text += '\n';
  text += "{ the fitted values }\n" + values;
  text += fileText.substr(at);
  return text;
}

// --- the fit -------------------------------------------------------------------

namespace {

FitOutcome RunGlobal(FitEvaluator& evaluator, const std::vector<double>& x0, Tracker& tracker, Host& host) {
  const FitTable& fit = evaluator.base().fit;
  std::vector<double> lower, upper;
  FitSearchBox(fit, x0, lower, upper);
  const int n = static_cast<int>(x0.size());
  const int budget = fit.MaxEvaluations > 0 ? fit.MaxEvaluations : kGlobalEvaluationsPerCoordinate * (n + 1);
  FitOutcome outcome;
  outcome.method = FitMethod::Global;
  bool stopped = false;

  std::vector<double> x = x0;
  for (int j = 0; j < n; ++j) x[j] = std::clamp(x[j], lower[j], upper[j]);
  RunNloptStage(NLOPT_GN_CRS2_LM, "global search", x, lower, upper, budget, fit.Tolerance, evaluator, tracker, host,
                stopped);
  nlopt_result polished = NLOPT_FORCED_STOP;
  if (!stopped && !tracker.bestX.empty()) {
    x = tracker.bestX;
    polished = RunNloptStage(NLOPT_LN_SBPLX, "polish", x, lower, upper, 2 * budget, fit.Tolerance, evaluator,
                             tracker, host, stopped);
  }
  outcome.end = stopped                              ? FitEnd::Stopped
                : polished == NLOPT_MAXEVAL_REACHED ? FitEnd::EvaluationLimit
                                                     : FitEnd::Converged;
  outcome.passes = 0;
  return outcome;
}

FitOutcome RunMultistart(FitEvaluator& evaluator, const std::vector<double>& x0, Tracker& tracker, Host& host) {
  const FitTable& fit = evaluator.base().fit;
  std::vector<double> lower, upper;
  FitSearchBox(fit, x0, lower, upper);
  const auto points = MultistartPoints(x0, lower, upper, std::max(1, fit.Starts));
  const int starts = static_cast<int>(points.size());
  const double tolerance = fit.Tolerance;
  const int limit = fit.MaxEvaluations;

  FitOutcome outcome;
  outcome.method = FitMethod::Multistart;
  bool bestLimited = false;
  bool anyStopped = false;
  double best = std::numeric_limits<double>::infinity();
  tracker.Report("start 1 of " + std::to_string(starts), 0);
  const RunsOutcome runs = RunIndependent<StartResult>(
      evaluator.base(), host, starts,
      [&](Session& copy, Host& workerHost, std::int64_t i) {
        StartProblem problem(evaluator, copy, workerHost, tolerance, limit);
        StartResult start;
        start.result = Minimise(points[static_cast<std::size_t>(i)], problem);
        start.evaluations = problem.evaluations;
        start.limited = problem.limited;
        start.spread = problem.spread;
        return start;
      },
      [&](std::int64_t i, StartResult&& start) {
        tracker.evaluations += start.evaluations;
        tracker.spread.Add(start.spread);
        ++outcome.passes;
        const bool stoppedByUser = start.result.stopped && !start.limited;
        if (stoppedByUser) anyStopped = true;
        // The lowest residual wins; on a tie the earlier start.
        if (start.result.value < best) {
          best = start.result.value;
          bestLimited = start.limited;
          tracker.Offer(start.result.x, start.result.value);
        }
        const std::string stage = i + 1 < starts ? "start " + std::to_string(i + 2) + " of " + std::to_string(starts)
                                                 : "multistart";
        tracker.Report(stage, outcome.passes);
      },
      RecordingTables::PerWorker);
  outcome.end = (runs.stopped || anyStopped) ? FitEnd::Stopped
                : bestLimited                ? FitEnd::EvaluationLimit
                                             : FitEnd::Converged;
  return outcome;
}

// Adds the distinct notes of the search's runs to SimplexMemo, a few of them.
void ShowSearchNotes(Session& s, const std::vector<std::string>& notes) {
  std::vector<std::string> distinct;
  for (const std::string& note : notes) {
    if (std::find(distinct.begin(), distinct.end(), note) == distinct.end()) distinct.push_back(note);
  }
  for (std::size_t i = 0; i < distinct.size() && i < kShownNotes; ++i) s.SimplexMemo.push_back(distinct[i]);
  if (distinct.size() > kShownNotes) {
    s.SimplexMemo.push_back("... and " + std::to_string(distinct.size() - kShownNotes) +
                            " more notes of the search's runs");
  }
}

}  // namespace

FitOutcome RunFit(Session& s, Host& host, RunViewSink& views, FitProgress& progress) {
  CheckFitRequest(s);
  return RunCheckedFit(s, host, views, progress);
}

FitOutcome RunCheckedFit(Session& s, Host& host, RunViewSink& views, FitProgress& progress) {
  FitTable& fit = s.fit;
  if (fit.Method == FitMethod::Simplex) {
    const SimplexResult r = RunCheckedSimplex(s, host, views, progress);
    FitOutcome outcome;
    outcome.method = FitMethod::Simplex;
    outcome.x = r.x;
    outcome.value = r.value;
    outcome.evaluations = r.nfunk + fit.FitCount + 1;
    outcome.passes = r.passes;
    outcome.end = r.stopped ? FitEnd::Stopped : FitEnd::Converged;
    outcome.flat = r.flat;
    return outcome;
  }

  FitFromRecord(fit, s.NP0);
  if (!(fit.Tolerance > 0.0)) fit.Tolerance = kDefaultTolerance;
  fit.nfunk = 0;
  fit.SimplexStop = 0;
  const std::vector<double> x0(fit.FitX.begin() + 1, fit.FitX.begin() + 1 + fit.FitCount);

  FitEvaluator evaluator(s, host);
  Tracker tracker(fit, fit.Method, progress, host);
  FitOutcome outcome;
  try {
    outcome = fit.Method == FitMethod::Global ? RunGlobal(evaluator, x0, tracker, host)
                                              : RunMultistart(evaluator, x0, tracker, host);
  } catch (const Error& e) {
    fit.SimplexStop = 1;
    fit.nfunk = tracker.evaluations;
    ShowSearchNotes(s, evaluator.notes());
    KeepBestPointOfFailedFit(s, tracker.bestX, tracker.best, e);
  }
  fit.SimplexStop = 1;
  fit.nfunk = tracker.evaluations;
  outcome.evaluations = tracker.evaluations;
  outcome.x = tracker.bestX.empty() ? x0 : tracker.bestX;
  ShowSearchNotes(s, evaluator.notes());

  // The best point into NP0, and its runs once more on the session so that the
  // traces and ModelData show the result.
  for (int k = 1; k <= fit.FitCount; ++k) fit.FitX[k] = outcome.x[k - 1];
  FitToRecord(fit, s.NP0);
  const double shown = FitObjective(s, host, views, outcome.x);
  outcome.value = tracker.bestX.empty() ? shown : tracker.best;
  ShowFitVector(s);
  s.SimplexMemo.push_back(FitEndLine(fit, outcome));
  outcome.flat = tracker.spread.Flat(fit.Tolerance);
  if (outcome.flat) s.SimplexMemo.push_back(FlatFitNote(s));
  host.ShowParameters();
  return outcome;
}

}  // namespace membrix
