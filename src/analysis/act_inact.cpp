#include "analysis/act_inact.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "analysis/procedural_neuron.h"
#include "channels/channel.h"
#include "channels/procedural/hh_canal.h"
#include "common/error.h"
#include "common/number_format.h"
#include "run/clamp_run.h"
#include "run/recording.h"
#include "run/session.h"
#include "run/trace_files.h"

namespace membrix {

namespace {

constexpr ActInactCurveInfo kCurves[kActInactCurves] = {
    {"g/gMax", ActInactPlot::Normalised, ActInactAxis::Right},
    {"I/IMax", ActInactPlot::Normalised, ActInactAxis::Left},
    {"m_inf^3", ActInactPlot::Normalised, ActInactAxis::Right},
    {"h_inf", ActInactPlot::Normalised, ActInactAxis::Right},
    {"m^3, exp", ActInactPlot::Normalised, ActInactAxis::Right},
    {"h, exp", ActInactPlot::Normalised, ActInactAxis::Left},
    {"BAX, exp.", ActInactPlot::Peaks, ActInactAxis::Left},
    {"BAX, inact.", ActInactPlot::Peaks, ActInactAxis::Left},
    {"BAX, act.", ActInactPlot::Peaks, ActInactAxis::Left},
    {"I(t)", ActInactPlot::TimeCourse, ActInactAxis::Left},
    {"I(t), exp.", ActInactPlot::TimeCourse, ActInactAxis::Left},
    {"tau_m", ActInactPlot::TauM, ActInactAxis::Left},
    {"alpha for tau_m", ActInactPlot::TauM, ActInactAxis::Right},
    {"beta for tau_m", ActInactPlot::TauM, ActInactAxis::Right},
    {"tau_h", ActInactPlot::TauH, ActInactAxis::Left},
    {"alpha for tau_h", ActInactPlot::TauH, ActInactAxis::Right},
    {"beta for tau_h", ActInactPlot::TauH, ActInactAxis::Right},
};

// The conductance behind a clamp current at the step level: -I/(Vh - VNaR).
// At the reversal itself no conductance can be told; it is taken as 0 rather
// than made infinite.
double Conductance(double I, double Vh, double VNaR) {
  const double drive = Vh - VNaR;
  return drive == 0.0 ? 0.0 : -I / drive;
}

void Place(ActInactSink& sink, const ActInactState& st, ActInactPlot plot, const char* corner) {
  sink.PlaceLegend(plot, LegendPlacement(st.LegendCorner, corner));
}

void Write(ActInactState& st, std::initializer_list<double> values, bool blankAfterEach = false) {
  if (st.file != nullptr) st.file->Write(std::span<const double>(values.begin(), values.size()), blankAfterEach);
}

}  // namespace

double MaxAbsInRange(std::span<const double> a, int from, int to) {
  double held = 0.0;
  const int first = std::max(from, 0);
  const int last = std::min(to, static_cast<int>(a.size()) - 1);
  for (int k = first; k <= last; ++k) {
    const double x = a[static_cast<std::size_t>(k)];
    if (std::abs(x) > std::abs(held)) held = x;
  }
  return held;
}

ActInactProtocol ActInactProtocolOf(int r) {
  if (r <= 0) {
    const double Vh = -r * 0.005 - 0.05;
    return {r, -0.1, Vh, Vh};
  }
  const double Vrest = r * 0.005 - 0.115;
  return {r, Vrest, 0.0, Vrest};
}

std::string ActInactRecordingName(double V) {
  return "a" + std::to_string(static_cast<long>(std::lround(1000.0 * V))) + ".d";
}

std::string ActInactRecordingPath(const std::string& startFolder, int r) {
  const std::filesystem::path folder = std::filesystem::path(startFolder) /
                                       std::filesystem::path(r > 0 ? kInactivationFolder : kActivationFolder);
  return (folder / ActInactRecordingName(ActInactProtocolOf(r).V)).make_preferred().string();
}

std::string ActInactDataFolder(const std::string& startFolder, const std::string& idFile) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::is_directory(fs::path(startFolder) / kActivationFolder, ec) || idFile.empty()) return startFolder;
  const fs::path beside = fs::path(idFile).parent_path();
  if (fs::is_directory(beside / kActivationFolder, ec)) return beside.string();
  return startFolder;
}

const ActInactCurveInfo& CurveInfo(ActInactCurve c) { return kCurves[static_cast<int>(c)]; }

// ---- Column file -----------------------------------------------------------------

ActInactFile::ActInactFile(std::string path) : path_(std::move(path)), out_(path_, std::ios::out | std::ios::trunc) {
  if (!out_) throw IoError(path_, std::strerror(errno));
}

void ActInactFile::Write(std::span<const double> values, bool blankAfterEach) {
  line_.clear();
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0 && !blankAfterEach) line_ += ' ';
    AppendFixed(line_, values[i], 9, 3);
    if (blankAfterEach) line_ += ' ';
  }
  line_ += '\n';
  out_ << line_;
  Check();
}

void ActInactFile::Check() {
  if (out_.good()) return;
  const std::string reason = errno != 0 ? std::strerror(errno) : "the file could not be written";
  throw IoError(path_, "writing failed: " + reason);
}

void ActInactFile::Close() {
  if (!out_.is_open()) return;
  out_.flush();
  Check();
  out_.close();
  if (out_.fail()) throw IoError(path_, "writing failed: the file could not be closed");
}

// ---- Legends ------------------------------------------------------------------------

std::string LegendPlacement(int LegendCorner, const std::string& requested) {
  static const char* const kCorners[] = {"lt", "lb", "rb", "rt"};
  if (LegendCorner >= 1 && LegendCorner <= 4) return kCorners[LegendCorner - 1];
  return requested;
}

int NextLegendCorner(int LegendCorner) {
  return LegendCorner >= 1 && LegendCorner <= 4 ? LegendCorner + 1 : 1;
}

// ---- Commands -------------------------------------------------------------------------

namespace {

// Keeps x when it is strictly larger in magnitude than the value held, as
// MaxAbsInRange does over a range.
void KeepLarger(double& held, double x) {
  if (std::abs(x) > std::abs(held)) held = x;
}

}  // namespace

void CalcPeaks(Session& s, const std::string& startFolder, ActInactPeaks& peaks, ActInactTraces& traces,
               ActInactState& st, Host& host, ActInactSink& sink) {
  RunGlobals& run = s.run;
  if (run.nt_end < 1) {
    throw RangeError("the run length of " + std::to_string(run.t_end * 1000.0) +
                     " ms gives no step: the voltage-clamp protocols need at least one");
  }
  // Every protocol runs all its steps.
  const std::int64_t nMax = run.nt_end;
  CheckRunLength(run);
  // The first millisecond of a recording is not searched (step 0 is never a
  // step of the protocol, also for steps longer than 1 ms).
  if (!(run.dt > 0.0)) throw RangeError("the time step must be positive for the voltage-clamp protocols");
  const double firstSearched = std::min(std::trunc(0.001 / run.dt), static_cast<double>(nMax) + 1.0);
  const std::int64_t k0 = std::max<std::int64_t>(1, static_cast<std::int64_t>(firstSearched));
  ProceduralGlobals& g = s.proc;
  // Recordings hold inward currents negative, as recorded; unless a format
  // was chosen, they are read negated, in the sign of the model's current, as
  // a recording chosen with "Set exp. data file" is.
  // The format is the computation's own: the session's is given back at the end.
  struct FormatKept {
    std::int32_t& format;
    std::int32_t kept;
    ~FormatKept() { format = kept; }
  } formatKept{s.rec.DataFormat, s.rec.DataFormat};
  if (s.rec.DataFormat == 0) s.rec.DataFormat = 2;
  peaks.done.fill(false);

  for (int r = -kActInactHalf; r <= kActInactHalf; ++r) {
    const ActInactProtocol p = ActInactProtocolOf(r);
    s.NP0.Vrest = p.Vrest;
    s.stim.Vh = p.Vh;
    peaks.V[r] = p.V;
    s.rec.Smpl = 1;
    s.rec.SmplFile[1] = ActInactRecordingPath(startFolder, r);
    try {
      LoadRecording(s);
    } catch (const IoError& e) {
      char what[120];
      std::snprintf(what, sizeof what, "%s (the recording of the %s protocol at %.0f mV)", e.reason().c_str(),
                    r > 0 ? "inactivation" : "activation", 1000.0 * p.V);
      throw IoError(e.path(), what);
    }
    ResetRunState(s);
    ProcInitGates(s, g);  // the cell has been held at the holding level long enough
    sink.Clear(ActInactCurve::It);
    sink.Clear(ActInactCurve::ItExp);

    const double VNaR = s.NP0.VNaR;
    traces = {};
    do {
      ++run.nt;
      run.t = run.nt * run.dt;
      ProceduralStep(s, g);
      const std::int64_t nt = run.nt;
      const double Imod = s.NV0.PSC;
      const double Iexp = s.ExpData.At(nt, s.rec.Smpl);
      // The model's peaks from the second step on, the recording's from k0 on.
      if (nt >= 2) {
        KeepLarger(traces.Imod, Imod);
        KeepLarger(traces.gmod, Conductance(Imod, p.Vh, VNaR));
      }
      if (nt >= k0) {
        KeepLarger(traces.Iexp, Iexp);
        KeepLarger(traces.gexp, Conductance(Iexp, p.Vh, VNaR));
      }
      if (nt == 1 || IsMultiple(nt, run.n_Draw)) {
        sink.AddPoint(ActInactCurve::It, 1000.0 * run.t, Imod);
        sink.AddPoint(ActInactCurve::ItExp, 1000.0 * run.t, Iexp);
      }
      host.ProcessEvents();
    } while (run.nt < nMax && !host.StopRequested());

    // A stopped protocol gives no peaks, and no further protocol runs.
    if (host.StopRequested()) break;

    sink.RepaintTimeCourse();
    peaks.Imod[r] = traces.Imod;
    peaks.Iexp[r] = traces.Iexp;
    peaks.gmod[r] = traces.gmod;
    peaks.gexp[r] = traces.gexp;
    if (std::abs(p.Vh - VNaR) < 0.002) peaks.gexp[r] = 0.0;
    peaks.done[static_cast<std::size_t>(r + kActInactHalf)] = true;

    const double v = 1000.0 * p.V;
    sink.AddPoint(ActInactCurve::PeakExp, v, peaks.Iexp[r]);
    sink.AddPoint(r > 0 ? ActInactCurve::PeakInact : ActInactCurve::PeakAct, v, peaks.Imod[r]);
    if (r > 0) {
      sink.AddPoint(ActInactCurve::INorm, v, peaks.Imod[r]);
      sink.AddPoint(ActInactCurve::HExp, v, peaks.Iexp[r]);
      if (st.ActInactSaveMode == 2) Write(st, {v, peaks.Iexp[r], peaks.Imod[r]});
    } else {
      sink.AddPoint(ActInactCurve::GNorm, v, peaks.gmod[r]);
      sink.AddPoint(ActInactCurve::M3Exp, v, peaks.gexp[r]);
      if (st.ActInactSaveMode == 1) Write(st, {v, peaks.gexp[r], peaks.gmod[r]});
    }
  }

  Place(sink, st, ActInactPlot::Normalised, "lb");
  Place(sink, st, ActInactPlot::Peaks, "rt");
  Place(sink, st, ActInactPlot::TimeCourse, "rt");
  if (st.ActInactSaveMode == 1) st.ColumnsNote = kNoteActivationG;
  if (st.ActInactSaveMode == 2) st.ColumnsNote = kNoteInactivationI;
}

void NormalizePeaks(const ActInactPeaks& peaks, ActInactState& st, ActInactSink& sink) {
  sink.SetAxisRange(ActInactPlot::Normalised, ActInactAxis::Left, 0.0, 1.0);
  sink.SetAxisRange(ActInactPlot::Normalised, ActInactAxis::Right, 0.0, 1.0);
  // The recorded conductance leaves out the five highest steps; neither
  // conductance includes r = 0, both currents do.
  const double A = peaks.gmod.MaxAbs(-20, -1);
  const double B = peaks.gexp.MaxAbs(-15, -1);
  const double C = peaks.Imod.MaxAbs(0, 20);
  const double D = peaks.Iexp.MaxAbs(0, 20);
  if (A == 0.0 || B == 0.0 || C == 0.0 || D == 0.0) return;

  for (ActInactCurve c : {ActInactCurve::GNorm, ActInactCurve::INorm, ActInactCurve::M3Exp, ActInactCurve::HExp})
    sink.Clear(c);
  for (int r = -kActInactHalf; r <= kActInactHalf; ++r) {
    const double v = 1000.0 * peaks.V[r];
    // The plot scales the recording by the model's maximum; the file scales
    // each column by its own.
    if (r > 0) {
      sink.AddPoint(ActInactCurve::INorm, v, peaks.Imod[r] / C);
      sink.AddPoint(ActInactCurve::HExp, v, peaks.Iexp[r] / C);
      if (st.ActInactSaveMode == 2) Write(st, {v, peaks.Iexp[r] / D, peaks.Imod[r] / C});
    } else {
      sink.AddPoint(ActInactCurve::GNorm, v, peaks.gmod[r] / A);
      sink.AddPoint(ActInactCurve::M3Exp, v, peaks.gexp[r] / A);
      if (st.ActInactSaveMode == 1) Write(st, {v, peaks.gexp[r] / B, peaks.gmod[r] / A});
    }
  }
  Place(sink, st, ActInactPlot::Normalised, "lb");
  if (st.ActInactSaveMode == 1) st.ColumnsNote = kNoteActivationNorm;
  if (st.ActInactSaveMode == 2) st.ColumnsNote = kNoteInactivationNorm;
}

void SteadyStateCurves(Session& s, ActInactState& st, ActInactSink& sink) {
  const double keptVrest = s.NP0.Vrest;
  sink.SetAxisRange(ActInactPlot::Normalised, ActInactAxis::Right, 0.0, 1.0);
  ProceduralGlobals& g = s.proc;
  for (int i = 0; i <= 160; ++i) {
    s.NP0.Vrest = i * 0.001 - 0.11;
    ResetRunState(s);
    ProcInitGates(s, g);  // the gates at their steady state at this level
    const double v = 1000.0 * s.NP0.Vrest;
    const double m3 = s.NV0.mmR * s.NV0.mmR * s.NV0.mmR;
    sink.AddPoint(ActInactCurve::MInf3, v, m3);
    sink.AddPoint(ActInactCurve::HInf, v, s.NV0.hhR);
    if (st.ActInactSaveMode == 1) Write(st, {v, m3, s.NV0.hhR});
  }
  Place(sink, st, ActInactPlot::Normalised, "lb");
  if (st.ActInactSaveMode == 1) st.ColumnsNote = kNoteSteady;
  s.NP0.Vrest = keptVrest;
}

void RateCurves(const Session& s, ActInactState& st, ActInactSink& sink) {
  const NeuronProperties& np = s.NP0;
  for (int i = 0; i <= 80; ++i) {
    const double V = i * 0.002 - 0.11;
    const double v = 1000.0 * V - np.Tr_Na;
    const double am = np.a1NaR * HHRate(np.a2NaR - v, np.a3NaR, np.a4NaR);
    const double bm = np.b1NaR * HHRate(np.b2NaR - v, np.b3NaR, np.b4NaR);
    const double taum = 1.0 / (am + bm);
    const double ah = np.c1NaR * HHRate(np.c2NaR - v, np.c3NaR, np.c4NaR);
    const double bh = np.d1NaR * HHRateInv(np.d2NaR - v, np.d3NaR, np.d4NaR);
    const double tauh = 1.0 / (ah + bh);
    const double x = 1000.0 * V;
    sink.AddPoint(ActInactCurve::TauM, x, taum);
    sink.AddPoint(ActInactCurve::AlphaM, x, am);
    sink.AddPoint(ActInactCurve::BetaM, x, bm);
    sink.AddPoint(ActInactCurve::TauH, x, tauh);
    sink.AddPoint(ActInactCurve::AlphaH, x, ah);
    sink.AddPoint(ActInactCurve::BetaH, x, bh);
    if (st.ActInactSaveMode == 1) Write(st, {V, taum, am, bm, tauh, ah, bh}, true);
  }
  Place(sink, st, ActInactPlot::TauM, "rt");
  Place(sink, st, ActInactPlot::TauH, "rt");
  if (st.ActInactSaveMode == 1) st.ColumnsNote = kNoteTau;
}

void SaveActInact(ActInactState& st, const std::string& path, int saveMode, Host& host,
                  const std::function<void()>& command) {
  ActInactFile file(path);
  st.file = &file;
  st.ActInactSaveMode = saveMode;
  st.ColumnsNote.clear();
  try {
    command();
    file.Close();
  } catch (...) {
    st.file = nullptr;
    st.ActInactSaveMode = 0;
    EmptyFile(path);
    throw;
  }
  st.file = nullptr;
  st.ActInactSaveMode = 0;
  if (st.ColumnsNote.empty()) {
    // The command had nothing to write (no peaks to normalise yet): say so
    // rather than confirm an empty file as a result.
    throw Error(path + ": nothing was written; compute the peaks (g and I) first");
  }
  if (!host.Confirm(st.ColumnsNote + ". OK?")) EmptyFile(path);
}

}  // namespace membrix
