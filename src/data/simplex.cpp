#include "data/simplex.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <utility>

#include "common/error.h"
#include "common/number_format.h"
#include "data/global_fit.h"
#include "params/parameter_file.h"
#include "run/clamp_run.h"
#include "run/host.h"
#include "run/recording.h"
#include "run/run_view_sink.h"
#include "run/session.h"
#include "run/trace_files.h"

namespace membrix {

namespace {

constexpr int kMaxVertices = kMaxFitCount + 1;
using Point = std::array<double, kMaxFitCount>;

// The simplex: vertices 0 ... n (the program's vertices 1 ... n + 1), their
// values and the coordinate sums over all vertices. Fixed arrays: a pass
// allocates nothing.
class Simplex {
 public:
  Simplex(std::span<const double> x0, SimplexProblem& problem)
      : problem_(problem), n_(static_cast<int>(x0.size())) {
    if (n_ > kMaxFitCount) {
      throw RangeError("the simplex holds at most " + std::to_string(kMaxFitCount) + " coordinates, not " +
                       std::to_string(n_));
    }
    for (int i = 0; i <= n_; ++i) {
      for (int j = 0; j < n_; ++j) p_[i][j] = x0[j];
      if (i < n_) p_[i][i] *= 1.1 + 0.01 * (i + 1);
      y_[i] = std::numeric_limits<double>::infinity();  // not evaluated yet
    }
  }

  SimplexResult Run() {
    // The start point first: a stop requested during the start then still
    // leaves a scored vertex.
    y_[n_] = Value(p_[n_]);
    for (int i = 0; i < n_ && !Stopping(); ++i) y_[i] = Value(p_[i]);
    nfunk_ = 0;
    SumVertices();
    bool stop = false;
    int pass = 0;
    do {
      ++pass;
      int ihi = 0, ilo = 0;
      for (int i = 0; i <= n_; ++i) {
        if (y_[i] > y_[ihi]) ihi = i;
        if (y_[i] < y_[ilo]) ilo = i;
      }
      int inhi = ilo;
      for (int i = 0; i <= n_; ++i) {
        if (i != ihi && i != ilo && y_[i] > y_[inhi]) inhi = i;
      }
      const double tolerance = problem_.Tolerance() > 0.0 ? problem_.Tolerance() : kDefaultTolerance;
      const double rtol = 2.0 * std::abs(y_[ihi] - y_[ilo]) / (std::abs(y_[ihi]) + std::abs(y_[ilo]) + 1e-8);
      if (rtol < tolerance) stop = true;
      if (Stopping()) stop = true;
      const bool nmaxExceeded = !stop && nfunk_ >= kNMax;
      if (!stop) {
        const double ytry = Try(-1.0, ihi);
        if (Stopping()) {
          stop = true;
        } else if (ytry <= y_[ilo]) {
          Try(2.0, ihi);
        } else if (ytry >= y_[inhi]) {
          const double ysave = y_[ihi];
          if (Try(0.5, ihi) >= ysave && !Stopping()) Shrink(ilo);
        }
        if (Stopping()) stop = true;
      }
      const int best = Lowest();
      problem_.Pass({pass, nfunk_, y_[best], std::span<const double>(p_[best].data(), n_), nmaxExceeded});
    } while (!stop && !Stopping());

    // Vertex 1 becomes the best vertex; when the tolerance ended the passes it
    // is the lowest of the last ordering, the vertex the program exchanges.
    const int best = Lowest();
    std::swap(p_[0], p_[best]);
    std::swap(y_[0], y_[best]);
    SimplexResult result;
    result.x.assign(p_[0].begin(), p_[0].begin() + n_);
    result.value = y_[0];
    result.nfunk = nfunk_;
    result.passes = pass;
    result.stopped = stopped_;
    return result;
  }

 private:
  bool Stopping() {
    if (!stopped_ && problem_.StopRequested()) stopped_ = true;
    return stopped_;
  }

  double Value(const Point& x) {
    const double v = problem_.Objective(std::span<const double>(x.data(), n_));
    return std::isfinite(v) ? v : kFitPenalty;
  }

  // An evaluation of a pass; none once a stop is requested.
  bool Evaluate(const Point& x, double& v) {
    if (Stopping()) return false;
    v = Value(x);
    ++nfunk_;
    return true;
  }

  void SumVertices() {
    for (int j = 0; j < n_; ++j) {
      double sum = 0.0;
      for (int i = 0; i <= n_; ++i) sum += p_[i][j];
      psum_[j] = sum;
    }
  }

  // The trial point on the line through the highest vertex and the centre of
  // the others: fac -1 reflects, 2 expands, 0.5 contracts. It replaces the
  // highest vertex when it is lower.
  double Try(double fac, int ihi) {
    const double fac1 = (1.0 - fac) / n_;
    const double fac2 = fac1 - fac;
    for (int j = 0; j < n_; ++j) ptry_[j] = psum_[j] * fac1 - p_[ihi][j] * fac2;
    double ytry = 0.0;
    if (!Evaluate(ptry_, ytry)) return std::numeric_limits<double>::infinity();
    if (ytry < y_[ihi]) {
      y_[ihi] = ytry;
      for (int j = 0; j < n_; ++j) {
        psum_[j] += ptry_[j] - p_[ihi][j];
        p_[ihi][j] = ptry_[j];
      }
    }
    return ytry;
  }

  // Every vertex moves halfway to the lowest one. A vertex is replaced only
  // together with its new value, so a stop in between leaves a simplex whose
  // values belong to its vertices.
  void Shrink(int ilo) {
    for (int i = 0; i <= n_; ++i) {
      if (i == ilo) continue;
      for (int j = 0; j < n_; ++j) ptry_[j] = 0.5 * (p_[i][j] + p_[ilo][j]);
      double v = 0.0;
      if (!Evaluate(ptry_, v)) break;
      p_[i] = ptry_;
      y_[i] = v;
    }
    SumVertices();
  }

  int Lowest() const {
    int ilo = 0;
    for (int i = 0; i <= n_; ++i) {
      if (y_[i] < y_[ilo]) ilo = i;
    }
    return ilo;
  }

  SimplexProblem& problem_;
  int n_;
  std::array<Point, kMaxVertices> p_{};
  std::array<double, kMaxVertices> y_{};
  Point psum_{};
  Point ptry_{};
  int nfunk_ = 0;
  bool stopped_ = false;
};

// The fit's objective on a session, with its progress into the memos.
class FitProblem final : public SimplexProblem {
 public:
  FitProblem(Session& s, Host& host, RunViewSink& views, FitProgress& progress)
      : s_(s), host_(host), views_(views), progress_(progress) {}

  double Objective(std::span<const double> x) override {
    const double v = FitObjective(s_, host_, views_, x);
    spread.Add(v);
    if (std::isfinite(v) && v < kFitPenalty && (bestX.empty() || v < best)) {
      best = v;
      bestX.assign(x.begin(), x.end());
    }
    return v;
  }
  double Tolerance() const override { return s_.fit.Tolerance; }
  bool StopRequested() const override { return host_.StopRequested(); }
  void Pass(const SimplexPass& pass) override {
    s_.fit.nfunk = pass.nfunk;
    const std::string line = SimplexProgressLine(pass.nfunk, pass.best);
    s_.SimplexMemo.push_back(line);
    if (pass.nmaxExceeded) s_.SimplexMemo.push_back("NMAX exceeded");
    ShowFitVector(s_);
    host_.ShowParameters();
    progress_.Pass(pass, line);
    FitStatus status;
    status.stage = "simplex";
    status.pass = pass.pass;
    status.evaluations = pass.nfunk + s_.fit.FitCount + 1;
    status.best = pass.best;
    status.bestX = pass.bestVertex;
    progress_.Status(status);
    host_.ProcessEvents();
  }

  // The lowest value evaluated and its point, kept should the fit fail.
  double best = 0.0;
  std::vector<double> bestX;
  ValueSpread spread;

 private:
  Session& s_;
  Host& host_;
  RunViewSink& views_;
  FitProgress& progress_;
};

// A number as the parameter files read it back exactly: the shortest text that
// converts to the same double, with a lower-case exponent.
std::string ExactNumber(double x) {
  char buf[32];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x);
  return ec == std::errc() ? std::string(buf, end) : std::to_string(x);
}

// A value of the coefficient display: fixed point, or exponent form when small.
void AppendCoefficient(std::string& line, double x) {
  if (std::abs(x) <= 0.001) {
    AppendScientific(line, x, 12);
  } else {
    AppendFixed(line, x, 13, 4);
  }
  line += ',';
}

}  // namespace

std::string FlatFitNote(const Session& s) {
  const FitTable& fit = s.fit;
  std::string note =
      "the selected parameters cannot change the deviation: every point tried scored the same to "
      "within the tolerance, so the result is the start";
  bool resurgent = false, gNaR = false;
  for (int k = 1; k <= fit.FitCount; ++k) {
    const std::string_view field = FitParameterAt(fit, k).field;
    if (field == "gNaR") {
      gNaR = true;
    } else if (field.find("NaR") != std::string_view::npos) {
      resurgent = true;
    }
  }
  if (resurgent && s.NP0.gNaR == 0.0) {
    note += gNaR ? "; gNaR is 0, which the simplex's start keeps at 0, so the resurgent-Na coefficients have no "
                   "effect: start gNaR above 0 (NP0.gNaR) or select other parameters"
                 : "; gNaR is 0, so the resurgent-Na coefficients have no effect: set gNaR above 0 or select "
                   "other parameters";
  }
  return note;
}

void KeepBestPointOfFailedFit(Session& s, std::span<const double> bestX, double best, const Error& failure) {
  std::string message = failure.what();
  if (!bestX.empty() && best < kFitPenalty) {
    FitTable& fit = s.fit;
    for (int k = 1; k <= fit.FitCount; ++k) fit.FitX[k] = bestX[k - 1];
    FitToRecord(fit, s.NP0);
    ShowFitVector(s);
    message += "; the parameters keep the best point found before, residual " + ExactNumber(best);
    for (int k = 1; k <= fit.FitCount; ++k) {
      message += (k == 1 ? ": " : ", ") + std::string(FitParameterAt(fit, k).field) + " = " + ExactNumber(bestX[k - 1]);
    }
  }
  s.SimplexMemo.push_back(message);
  throw Error(message);
}

void NoteOnce(Session& s, const std::string& note) {
  if (std::find(s.SimplexMemo.begin(), s.SimplexMemo.end(), note) == s.SimplexMemo.end()) {
    s.SimplexMemo.push_back(note);
  }
}

SimplexResult Minimise(std::span<const double> x0, SimplexProblem& problem) {
  Simplex simplex(x0, problem);
  return simplex.Run();
}

double FitObjective(Session& s, Host& host, RunViewSink& views, std::span<const double> x) {
  FitTable& fit = s.fit;
  for (int k = 1; k <= fit.FitCount; ++k) fit.FitX[k] = x[k - 1];
  for (int k = 1; k <= fit.FitCount; ++k) {
    const FitSlot& slot = fit.FitSlots[fit.FitOrder[k] - 1];
    if (fit.FitX[k] < slot.FitLower || fit.FitX[k] > slot.FitUpper) return kFitPenalty;
  }
  FitToRecord(fit, s.NP0);
  double F = 0.0;
  for (int k = 1; k <= s.rec.NSmpls; ++k) {
    s.rec.Smpl = k;
    double E = 0.0;
    try {
      E = RunClamp(s, host, views);
    } catch (const DivergenceError& e) {
      // Parameters the model cannot run with score as a point outside the bounds.
      NoteOnce(s, e.what());
      return kFitPenalty;
    }
    // A run may read sc_Simplex from its recording's section.
    if (!(s.prog.sc_Simplex > 0.0) || !std::isfinite(s.prog.sc_Simplex)) {
      throw RangeError("sc_Simplex must be a positive number, not " + ExactNumber(s.prog.sc_Simplex) +
                       " (recording " + std::to_string(k) + ")");
    }
    F += E / s.prog.sc_Simplex;
  }
  return F;
}

void CheckFitRequest(const Session& s) {
  const FitTable& fit = s.fit;
  if (fit.FitCount == 0) throw Error("no parameter is selected for the fit");
  if (fit.FitCount > kMaxFitCount) {
    throw RangeError(std::to_string(fit.FitCount) + " parameters are selected for the fit; at most " +
                     std::to_string(kMaxFitCount) + " can be fitted at once");
  }
  CheckImportedFitSlots(fit, s.NP0);
  const std::string source = s.rec.IdFileName.empty() ? "the built-in parameters" : s.rec.IdFileName;
  if (s.rec.NSmpls < 1 || s.rec.NSmpls > kMaxRecording) {
    throw RangeError(source + " has NSmpls = " + std::to_string(s.rec.NSmpls) + "; a fit needs 1 ... " +
                     std::to_string(kMaxRecording) + " recordings");
  }
  Session scratch = s;
  int withFile = 0;
  for (int k = 1; k <= s.rec.NSmpls; ++k) {
    scratch.rec.Smpl = k;
    LoadRecordingSection(scratch, k);
    if (!(scratch.prog.sc_Simplex > 0.0) || !std::isfinite(scratch.prog.sc_Simplex)) {
      throw RangeError("sc_Simplex must be a positive number, not " + ExactNumber(scratch.prog.sc_Simplex) +
                       " (recording " + std::to_string(k) + " of " + source + ")");
    }
    if (NamesRecordingFile(scratch.rec.SmplFile[scratch.rec.Smpl])) {
      ReadRecording(scratch);  // a recording that cannot be read fails here, before any run
      ++withFile;
    }
  }
  if (withFile == 0) {
    throw Error(source + " names no recording file for its " + std::to_string(s.rec.NSmpls) +
                " recording(s) (SmplFile[Smpl]); there is nothing to fit to");
  }
}

SimplexResult RunSimplex(Session& s, Host& host, RunViewSink& views, FitProgress& progress) {
  CheckFitRequest(s);
  return RunCheckedSimplex(s, host, views, progress);
}

SimplexResult RunCheckedSimplex(Session& s, Host& host, RunViewSink& views, FitProgress& progress) {
  FitTable& fit = s.fit;
  FitFromRecord(fit, s.NP0);
  if (!(fit.Tolerance > 0.0)) fit.Tolerance = kDefaultTolerance;
  fit.nfunk = 0;
  fit.SimplexStop = 0;
  const std::vector<double> x0(fit.FitX.begin() + 1, fit.FitX.begin() + 1 + fit.FitCount);

  FitProblem problem(s, host, views, progress);
  SimplexResult result;
  try {
    result = Minimise(x0, problem);
  } catch (const Error& e) {
    fit.SimplexStop = 1;
    KeepBestPointOfFailedFit(s, problem.bestX, problem.best, e);
  }
  fit.SimplexStop = 1;
  // Every start vertex moves one parameter by 10 % or more: when none of them
  // moved the deviation by the tolerance, the parameters do not change it.
  result.flat = problem.spread.Flat(fit.Tolerance);

  // The best vertex into NP0, and its runs once more so that the traces and
  // ModelData show the result.
  for (int k = 1; k <= fit.FitCount; ++k) fit.FitX[k] = result.x[k - 1];
  FitToRecord(fit, s.NP0);
  FitObjective(s, host, views, result.x);
  // The fit vector shows the result, as the parameters do, not the point the
  // last pass tried.
  ShowFitVector(s);
  if (result.flat) s.SimplexMemo.push_back(FlatFitNote(s));
  s.SimplexMemo.push_back("Stop Simplex.");
  return result;
}

SimplexResult RunSimplex(Session& s, Host& host, RunViewSink& views) {
  FitProgress none;
  return RunSimplex(s, host, views, none);
}

std::string SimplexProgressLine(int nfunk, double best) {
  std::string line = "nfunk=";
  AppendFixed(line, nfunk, 4, 0);
  line += ",  F=";
  AppendScientific(line, best, 11);
  return line;
}

void ShowFitVector(Session& s) {
  const FitTable& fit = s.fit;
  s.CoeMemo.clear();
  const int first = std::min(fit.FitCount, 8);
  std::string header = "     ";
  std::string values;
  for (int k = 1; k <= first; ++k) {
    header += "  " + fit.FitSlots[fit.FitOrder[k] - 1].FitName;
    AppendCoefficient(values, fit.FitX[k]);
  }
  s.CoeMemo.push_back(header);
  s.CoeMemo.push_back(values);
  if (fit.FitCount > 8) {
    header = "    ";
    values.clear();
    for (int k = 9; k <= fit.FitCount; ++k) {
      header += "  " + fit.FitSlots[fit.FitOrder[k] - 1].FitName;
      AppendFixed(values, fit.FitX[k], 9, 3);
      values += ',';
    }
    s.CoeMemo.push_back(header);
    s.CoeMemo.push_back(values);
  }
}

std::string FitParameterFileText(const Session& s, std::span<const double> x, const std::string& comment,
                                 std::string_view namingText) {
  const FitTable& fit = s.fit;
  std::string text;
  if (!comment.empty()) {
    std::string note = comment;
    std::replace(note.begin(), note.end(), '}', ')');  // a brace would end the comment early
    text += "{ " + note + " }\n";
  }
  text += "CommonParametersFromFile\n";
  text += "NP0.HH_type := '" + s.NP0.HH_type + "';\n";
  text += "NP0.HH_order := '" + s.NP0.HH_order + "';\n";
  text += "MembrixPhysParameters\n";
  for (int k = 1; k <= fit.FitCount; ++k) {
    const FitParameter& p = FitParameterAt(fit, k);
    const bool named = p.imported < 0 || namingText.find("NeuroMLChannel[" + std::to_string(p.imported + 1) + "]") !=
                                             std::string_view::npos;
    if (p.inParameterFiles && named) {
      text += FitParameterKey(p) + " := " + ExactNumber(x[k - 1]) + ";\n";
    } else {
      text += FittedValueNote(p, x[k - 1]);
    }
  }
  text += "KeepParams=0\nend.\n";
  return text;
}

std::string FittedValueNote(const FitParameter& p, double x) {
  const std::string assignment = FitParameterKey(p) + " := " + ExactNumber(x) + ";";
  if (p.imported >= 0) {
    const std::string k = std::to_string(p.imported + 1);
    return "/ " + assignment + "   a parameter file takes it beside NeuroMLChannel[" + k +
           "] := 'FILE(ID)' (the channel file in its folder); or give it as --channel FILE#ID:" + ExactNumber(x) +
           ":E\n";
  }
  return "/ " + assignment + "   parameter files do not set " + std::string(p.field) + "; give it as --set NP0." +
         std::string(p.field) + "=" + ExactNumber(x) + "\n";
}

void WriteFitParameterFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::out | std::ios::trunc | std::ios::binary);
  if (!out) throw IoError(path, std::strerror(errno));
  out << text;
  out.close();
  if (!out) {
    const std::string reason = errno != 0 ? std::strerror(errno) : "the file could not be written";
    EmptyFile(path);
    throw IoError(path, "writing failed: " + reason);
  }
}

}  // namespace membrix
