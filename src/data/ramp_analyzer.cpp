#include "data/ramp_analyzer.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

#include "common/error.h"
#include "common/number_columns.h"
#include "common/number_format.h"
#include "run/session.h"
#include "tasks/task_files.h"

namespace membrix {

const char* const kRampHelp =
    "Ramp analyzer. Reads a file of voltage-clamp sweeps (time in s, voltage in mV, current in pA, one "
    "sample per line, the sweeps one after another), filters voltage and current, and finds in each sweep "
    "the first spike-shaped inward current after the ramp has started. The filtered voltage at its onset "
    "is the threshold VT, plotted against the delay tau from the end of the prepulse; \"AllSamples\" "
    "writes VT_tau.dat. \"DataFromSimulation\" takes the sweeps from the last runs instead "
    "(voltage: the recordings, current: the model). Click here to hide this note.";

namespace {

namespace fs = std::filesystem;
constexpr int kSamples = TRamp::kLastSample + 1;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == ','; }

// The next blank-separated number of a line; false when there is none.
bool NextNumber(std::string_view& line, double& x) {
  std::size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  line.remove_prefix(i);
  if (line.empty()) return false;
  std::string_view text = line;
  if (text.front() == '+') text.remove_prefix(1);
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), x);
  if (ec != std::errc() || !std::isfinite(x)) return false;
  line.remove_prefix(static_cast<std::size_t>(ptr - line.data()));
  return line.empty() || IsBlank(line.front());
}

// A line that holds no sample: blank, or a comment.
bool IsSkipped(std::string_view line) {
  const std::size_t i = line.find_first_not_of(" \t\r");
  return i == std::string_view::npos || line[i] == '#';
}

std::string OutputPath(const TRamp& r, const std::string& name) {
  return r.Folder.empty() ? name : (fs::path(r.Folder) / name).string();
}

// A text file created anew; every failure to write is reported with its path.
class OutputFile {
 public:
  explicit OutputFile(std::string path) : path_(std::move(path)), out_(path_, std::ios::trunc) {
    if (!out_) throw IoError(path_, std::strerror(errno));
  }
  void Line(const std::string& line) {
    out_ << line << '\n';
    if (!out_) throw IoError(path_, "could not be written completely");
  }
  void Close() {
    out_.close();
    if (!out_) throw IoError(path_, "could not be written completely");
  }

 private:
  std::string path_;
  std::ofstream out_;
};

// The samples of the window that starts at k: k, then each following sample
// while it is held and lies within ShapeWindow of t[k]. Returns the last one.
int WindowEnd(const TRamp& r, int k) {
  int i = k;
  while (i + 1 <= r.NLast && r.t[i + 1] - r.t[k] <= r.ShapeWindow) ++i;
  return i;
}

}  // namespace

SweepTable::SweepTable()
    : v_(static_cast<double*>(std::calloc(static_cast<std::size_t>(kSamples) * TRamp::kMaxSweeps, sizeof(double)))) {
  if (!v_) throw std::bad_alloc();
}

void SweepTable::Free::operator()(double* p) const { std::free(p); }

std::size_t SweepTable::Index(int sample, int sweep) {
  return static_cast<std::size_t>(sweep - 1) * kSamples + static_cast<std::size_t>(sample);
}

TRamp::TRamp() : t(kSamples, 0.0) {}

std::int32_t SweepNumber(double input) {
  const double n = std::trunc(input);
  if (!(n >= 1.0)) return 1;
  return n > TRamp::kMaxSweeps ? TRamp::kMaxSweeps : static_cast<std::int32_t>(n);
}

bool ReadRampFile(TRamp& r, const RampInputs& in) {
  std::error_code ec;
  if (r.FileName.empty() || !fs::exists(r.FileName, ec)) return false;
  // Read whole first: a folder, a device or an unreadable file is refused
  // with its name.
  const std::string whole = ReadInputOnce(r.FileName);
  std::string_view rest(whole);
  r.t_maxLimit = in.t_maxLimit / 1000.0;
  const double shift = in.CesiumShift;
  r.Note.clear();

  int i = 1;    // sweep
  int j = -1;   // last sample of the sweep
  // A line beyond the limit ends the sweep only when another sample line
  // follows it: the end is settled by the next line.
  bool endPending = false;
  int lineNumber = 0;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view text = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    ++lineNumber;
    std::string_view line(text);
    if (IsSkipped(line)) continue;
    // Further columns are ignored, so a decimal comma would go unnoticed.
    if (HasDecimalComma(line)) {
      throw FormatError(r.FileName, lineNumber,
                        "decimal comma in \"" + std::string(text) + "\": write numbers with a decimal point");
    }
    double tau = 0, u = 0, c = 0;
    if (!NextNumber(line, tau) || !NextNumber(line, u) || !NextNumber(line, c)) {
      throw FormatError(r.FileName, lineNumber,
                        "expected a time (s), a voltage (mV) and a current (pA), found \"" + std::string(text) + "\"");
    }
    if (endPending) {
      endPending = false;
      ++i;
      j = -1;
    }
    if (i > TRamp::kMaxSweeps) {
      if (tau > r.t_maxLimit) continue;
      r.Note = r.FileName + ": only the first " + std::to_string(TRamp::kMaxSweeps) +
               " sweeps were read (line " + std::to_string(lineNumber) + " starts the next)";
      break;
    }
    if (tau <= r.t_maxLimit) {
      if (j == TRamp::kLastSample) {
        throw FormatError(r.FileName, lineNumber,
                          "sweep " + std::to_string(i) + " has more than " + std::to_string(kSamples) +
                              " samples up to t_maxLimit; a sweep holds at most that many");
      }
      ++j;
      r.t[j] = tau * 1000.0;
      r.V(j, i) = u - shift;
      r.I(j, i) = c;
      r.NLast = j;
    } else if (j != -1) {
      endPending = true;
    }
  }
  if (i == 1) {
    throw FormatError(r.FileName, 0,
                      "holds no complete sweep: every sweep, the last one included, must run past t_maxLimit (" +
                          Fixed(in.t_maxLimit, 0, 1) + " ms) and be followed by another line");
  }
  r.NSweeps = std::min(i - 1, TRamp::kMaxSweeps);
  r.Loaded = 1;
  return true;
}

void DrawSweep(const TRamp& r, RampSink& sink, Host& host) {
  sink.Clear(RampSeries::Vexp);
  sink.Clear(RampSeries::Iexp);
  const int s = r.CurSweep;
  for (int j = 0; j <= r.NLast; ++j) {
    sink.Point(RampSeries::Vexp, r.t[j], r.V(j, s));
    sink.Point(RampSeries::Iexp, r.t[j], r.I(j, s));
  }
  host.ProcessEvents();
}

namespace {

void FilterAll(TRamp& r, double tauF) {
  for (int i = 1; i <= r.NSweeps; ++i) {
    r.Ifilt(0, i) = r.I(0, i);
    r.Vfilt(0, i) = r.V(0, i);
    for (int j = 0; j < r.NLast; ++j) {
      if (tauF > 0.0) {
        const double f = (r.t[j + 1] - r.t[j]) / tauF;
        r.Ifilt(j + 1, i) = r.Ifilt(j, i) + f * (r.I(j, i) - r.Ifilt(j, i));
        r.Vfilt(j + 1, i) = r.Vfilt(j, i) + f * (r.V(j, i) - r.Vfilt(j, i));
      } else {
        r.Ifilt(j + 1, i) = r.I(j + 1, i);
        r.Vfilt(j + 1, i) = r.V(j + 1, i);
      }
    }
  }
}

void DrawFiltered(const TRamp& r, RampSink& sink) {
  sink.Clear(RampSeries::Vfilt);
  sink.Clear(RampSeries::Ifilt);
  const int s = r.CurSweep;
  for (int j = 0; j <= r.NLast; ++j) {
    sink.Point(RampSeries::Vfilt, r.t[j], r.Vfilt(j, s));
    sink.Point(RampSeries::Ifilt, r.t[j], r.Ifilt(j, s));
  }
}

}  // namespace

void FilterCurrent(TRamp& r, const RampInputs& in, RampSink& sink) {
  FilterAll(r, in.tauFilt);
  DrawFiltered(r, sink);
}

double SpikeShape(TRamp& r, double x) {
  const double a = r.ShapeHalfDuration;
  const double A = r.ShapeAmplitude;
  const double b = a / 3.0;
  r.ShapeWindow = 0.5 + b + 2.0 * a;
  if (x <= 0.5) return 0.0;
  if (x <= a + 0.5) return -A / a * (x - 0.5);  // falls to -A
  if (x <= a + 0.5 + b) return -A;             // plateau
  if (x <= r.ShapeWindow) return A / (1.5 * a) * (x - 0.5 - a - b) - A;  // recovers towards 0
  return 0.0;
}

double ShapeRms(TRamp& r, int k) {
  SpikeShape(r, 0.0);
  const int s = r.CurSweep;
  const int last = WindowEnd(r, k);
  double sum = 0.0;
  for (int i = k; i <= last; ++i) {
    const double d = r.Ifilt(i, s) - r.Ifilt(k, s) - SpikeShape(r, r.t[i] - r.t[k]);
    sum += d * d;
  }
  return std::sqrt(sum / (last - k + 1));
}

double SpikeAmplitude(TRamp& r, int k) {
  SpikeShape(r, 0.0);
  const int s = r.CurSweep;
  double m = 1000000.0;
  for (int i = k, last = WindowEnd(r, k); i <= last; ++i) m = std::min(m, r.Ifilt(i, s));
  return r.Ifilt(k, s) - m;
}

void FindThreshold(TRamp& r, const RampInputs& in, RampSink& sink) {
  const int s = r.CurSweep;
  r.tJumpDown = 0.0;
  r.tRampOnset = 0.0;
  double tJumpUp = 0.0;
  if (r.NLast >= 10) {
    for (int i = 5; i <= r.NLast - 5; ++i) {
      const double D = r.V(i, s) - r.V(i - 1, s);
      const double S = (r.Vfilt(i + 1, s) - r.Vfilt(i, s)) / (r.t[i + 1] - r.t[i]);
      if (D > 20.0 && tJumpUp == 0.0) tJumpUp = r.t[i];
      if (tJumpUp > 0.0 && r.t[i] - tJumpUp > 10.0 && D < -20.0 && r.tJumpDown == 0.0) r.tJumpDown = r.t[i];
      if (S > 0.6 && r.tRampOnset < r.tJumpDown) r.tRampOnset = r.t[i - 1];
    }
  }
  sink.Clear(RampSeries::VPointer);
  sink.Clear(RampSeries::IPointer);
  sink.Clear(RampSeries::Ramp);
  sink.Clear(RampSeries::Spike);
  sink.Point(RampSeries::Ramp, r.tJumpDown, r.V(0, s));
  sink.Point(RampSeries::Ramp, r.tRampOnset, r.V(0, s));

  r.ShapeAmplitude = in.SpikeShapeAmplitude;
  r.ShapeHalfDuration = in.SpikeShapeHalfDuration;
  const double thr = in.Conv_thr;
  const double minA = in.MinSpikeAmpl;
  const bool unscaled = in.ShapeMode == 1;
  // A sweep in which no onset is accepted keeps none of an earlier analysis.
  r.tSpike[s] = 0.0;
  r.VT[s] = 0.0;
  r.SpikeAmpl[s] = 0.0;
  r.ISpike[s] = 0.0;
  SpikeShape(r, 0.0);
  for (int k = 0; k < r.NLast; ++k) {
    if (!(r.t[k] > r.tRampOnset)) continue;
    // A window cut short by the end of the sweep holds too little of the
    // template to judge: its quiet first half-millisecond would match any flat
    // current. The search ends where the template no longer fits.
    if (r.t[k] + r.ShapeWindow > r.t[r.NLast]) break;
    if (unscaled) r.ShapeAmplitude = std::abs(SpikeAmplitude(r, k));
    const double rms = ShapeRms(r, k);
    const bool accepted = unscaled ? r.ShapeAmplitude > minA && 0.2 * thr / minA > rms / r.ShapeAmplitude
                                   : rms < thr;
    if (!accepted) continue;
    r.ISpike[s] = r.Ifilt(k, s);
    r.VT[s] = r.Vfilt(k, s);
    r.tSpike[s] = r.t[k];
    sink.Point(RampSeries::IPointer, r.t[k], r.ISpike[s]);
    sink.Point(RampSeries::VPointer, r.t[k], r.VT[s]);
    for (int i = k, last = WindowEnd(r, k); i <= last; ++i) {
      sink.Point(RampSeries::Spike, r.t[i], r.Ifilt(k, s) + SpikeShape(r, r.t[i] - r.t[k]));
    }
    r.SpikeAmpl[s] = SpikeAmplitude(r, k);
    if (in.WriteSpikeMarkers) WriteSpikeMarkers(r, k);
    // Only the first accepted onset of a sweep counts; the samples after it
    // cannot change the result.
    break;
  }
}

std::string MarkerFileName(std::string_view stem, int sweep) {
  char number[16];
  std::snprintf(number, sizeof number, "%3d", sweep);
  return std::string(stem) + number + ".dat";
}

void WriteSpikeMarkers(TRamp& r, int k) {
  const int s = r.CurSweep;
  auto sample = [&r, s](int j) {
    std::string line = Fixed(r.t[j], 9, 3) + " ";
    for (double x : {r.V(j, s), r.I(j, s), r.Vfilt(j, s), r.Ifilt(j, s)}) line += Fixed(x, 12, 2) + " ";
    return line;
  };
  OutputFile shape(OutputPath(r, MarkerFileName("SpikeShape", s)));
  SpikeShape(r, 0.0);
  for (int i = k, last = WindowEnd(r, k); i <= last; ++i) {
    shape.Line(Fixed(r.t[i], 9, 3) + " " + Fixed(SpikeShape(r, r.t[i] - r.t[k]) + r.Ifilt(k, s), 10, 0) + " ");
  }
  shape.Close();
  OutputFile traces(OutputPath(r, MarkerFileName("VandI", s)));
  for (int j = 1; j <= r.NLast; ++j) traces.Line(sample(j));
  traces.Close();
  OutputFile marker(OutputPath(r, MarkerFileName("SpikeMarker", s)));
  marker.Line(sample(k));
  marker.Close();
}

bool AllSamples(TRamp& r, const RampInputs& in, RampSink& sink, Host& host) {
  OutputFile out(OutputPath(r, "VT_tau.dat"));
  sink.Clear(RampSeries::VTtau);
  sink.Clear(RampSeries::SpikeAmpl);
  // Every sweep is filtered at once; filtering again for each sweep would give
  // the same traces.
  FilterAll(r, in.tauFilt);
  bool complete = true;
  for (int s = 1; s <= r.NSweeps; ++s) {
    if (host.StopRequested()) {
      complete = false;
      break;
    }
    r.CurSweep = s;
    DrawFiltered(r, sink);
    FindThreshold(r, in, sink);
    const double tau = r.tSpike[s] - r.tJumpDown;
    sink.Point(RampSeries::VTtau, tau, r.VT[s]);
    sink.Point(RampSeries::SpikeAmpl, tau, r.SpikeAmpl[s]);
    out.Line(Fixed(tau, 9, 3) + " " + Fixed(r.VT[s], 9, 3) + " " + Fixed(r.SpikeAmpl[s], 13, 3) + " " +
             Fixed(r.ISpike[s], 13, 3) + " ");
    host.ProcessEvents();
  }
  out.Close();
  return complete;
}

void DataFromSimulation(TRamp& r, const Session& s, const RampInputs& in, const std::string& folder,
                        RampSink& sink, Host& host) {
  const double tMax = in.t_maxLimit / 1000.0;
  const double dt = s.run.dt;
  // The samples 1 ... up to nt_end or t_maxLimit; row 0 stays as it was. A
  // sweep holds samples 0 ... 25000: simulated sweeps longer than that up to
  // t_maxLimit are refused, as the same sweeps in a sweep file are.
  const std::int64_t ntEnd = s.run.nt_end;
  std::int64_t wanted = 1;
  while (wanted < ntEnd && static_cast<double>(wanted) * dt < tMax && wanted <= TRamp::kLastSample) ++wanted;
  if (wanted > TRamp::kLastSample) {
    char text[300];
    std::snprintf(text, sizeof text,
                  "the simulated sweeps have more than %d samples up to t_maxLimit = %g ms (a sample every %g ms); "
                  "a sweep of the ramp analyzer holds at most %d: lower \"t_maxLimit, ms\" to %g ms or less, or "
                  "lengthen dt",
                  kSamples, in.t_maxLimit, dt * 1000.0, kSamples, TRamp::kLastSample * dt * 1000.0);
    throw RangeError(text);
  }
  const int last = static_cast<int>(wanted);
  r.Folder = folder;
  r.NSweeps = std::clamp(s.rec.NSmpls, 0, TRamp::kMaxSweeps);
  r.t_maxLimit = tMax;
  for (int k = 1; k <= last; ++k) r.t[k] = k * dt * 1000.0;
  for (int sweep = 1; sweep <= r.NSweeps; ++sweep) {
    for (int k = 1; k <= last; ++k) {
      r.V(k, sweep) = s.ExpData(k, sweep);
      r.I(k, sweep) = s.ModelData(k, sweep);
    }
  }
  r.NLast = last;
  r.Loaded = 1;
  r.CurSweep = std::clamp(s.rec.Smpl, 1, TRamp::kMaxSweeps);
  DrawSweep(r, sink, host);
}

std::string ApplyFolderChoice(RampInputs& in, int item) {
  struct Choice {
    double thr, amplitude, halfDuration, minAmpl;
    const char* file;
  };
  // Amplitude 0 leaves the scaled template's amplitude as it is.
  static constexpr Choice kChoices[5] = {{},
                                         {800, 3000, 1, 1000, "ramp[1-70].txt"},
                                         {400, 0, 1.5, 500, "all_ramps_Lyle.dat"},
                                         {200, 0, 4, 200, "all_ramps_Destexhe.dat"},
                                         {400, 0, 2, 200, "all_ramps_S+A_Migli.dat"}};
  if (item < 1 || item > 4) return {};
  const Choice& c = kChoices[item];
  in.Conv_thr = c.thr;
  if (c.amplitude != 0.0) in.SpikeShapeAmplitude = c.amplitude;
  in.SpikeShapeHalfDuration = c.halfDuration;
  in.MinSpikeAmpl = c.minAmpl;
  return c.file;
}

}  // namespace membrix
