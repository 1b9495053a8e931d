#pragma once
// Running statistics of one signal that a run produces once per time step (in
// practice a firing rate, Hz): mean, standard deviation, a normalised histogram,
// the normalised autocorrelation over the last NtCorr lags and a correlation
// time estimated from it. A run passes its samples to AddSample while the main
// window's " Statistics" box is ticked; the statistics window shows them.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace membrix {

struct Session;
class Host;

inline constexpr std::int32_t kHistogramBins = 1000;
inline constexpr std::int32_t kMaxCorrelationLags = 4000;

// The inputs of the statistics window.
struct StatisticsInputs {
  double HistMin = 0.0;        // "Min and Max" (left)
  double HistMax = 200.0;      // "Min and Max" (right)
  double n_intervals = 30.0;   // "n_intervals": bars of the histogram, 1 ... 1000
  double nt_corr = 1000.0;     // " nt_corr": lags of the correlation, 0 ... 4000
};

struct Histogram {
  std::int32_t n = 0;      // intervals in use
  std::int32_t total = 0;  // samples counted
  std::array<std::int32_t, kHistogramBins> bin{};
};

// StatMode: 0 off, 13 a reset is pending, 14 accumulating.
inline constexpr std::int32_t kStatOff = 0;
inline constexpr std::int32_t kStatResetPending = 13;
inline constexpr std::int32_t kStatAccumulating = 14;

struct StatisticsState {
  StatisticsInputs inputs;
  std::int32_t StatMode = kStatOff;
  std::int32_t N = 0;       // samples since the last reset
  double Mean = 0.0;
  double MeanSq = 0.0;
  double HistMin = 0.0, HistMax = 0.0;
  Histogram Hist;
  std::int32_t NtCorr = 0;
  std::array<double, kMaxCorrelationLags + 1> Delay{};  // the last NtCorr+1 samples, oldest at 0
  std::array<double, kMaxCorrelationLags + 1> Acc{};    // running mean of Delay[0]·Delay[i]
  std::int32_t M = 0;       // correlation updates since the delay line became full
};

// What the statistics window draws. The display reads the state through the
// helpers below.
class StatisticsSink {
 public:
  virtual ~StatisticsSink() = default;
  // The statistics restarted: empty both charts.
  virtual void Clear() {}
  // Show the state (every 10·n_Draw steps).
  virtual void Show(const StatisticsState& state, double dt) { (void)state, (void)dt; }
};

// One sample x of the running signal, after a step of the session's run (its
// nt, n_Draw and dt). Lets the windows breathe at the end.
void AddSample(Session& s, StatisticsState& st, double x, StatisticsSink& sink, Host& host);

// One of the window's inputs changed: the statistics restart at the next sample.
void StatisticsInputsChanged(StatisticsState& st);

// The window's bars and correlation. A bar's left edge and height (fraction of
// the counted samples); the correlation at a lag, normalised by the variance;
// nothing for a constant signal, whose normalisation does not exist.
double BarX(const StatisticsState& st, std::int32_t i);
double BarHeight(const StatisticsState& st, std::int32_t i);
std::optional<double> NormalisedCorrelation(const StatisticsState& st, std::int32_t lag);
// The correlation time (s), once M > NtCorr + 20 and the signal varies.
std::optional<double> CorrelationTime(const StatisticsState& st, double dt);

// The label texts: " Mean = ", " Dispersion = " (the standard deviation), " tau = " (ms).
std::string MeanLabel(const StatisticsState& st);
std::string DispersionLabel(const StatisticsState& st);
std::string TauLabel(const StatisticsState& st, double dt);

}  // namespace membrix
