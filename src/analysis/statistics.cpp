#include "analysis/statistics.h"

#include <algorithm>
#include <cmath>

#include "common/number_format.h"
#include "run/host.h"
#include "run/session.h"

namespace membrix {

namespace {

// The variance below which a signal counts as constant, relative to its square.
constexpr double kConstantSignal = 1e-12;

double Variance(const StatisticsState& st) { return st.MeanSq - st.Mean * st.Mean; }

bool Varies(const StatisticsState& st) {
  return Variance(st) > kConstantSignal * std::max(1.0, st.MeanSq);
}

// An entry truncated to a whole number and clamped to lo ... hi (a text that is
// no number reads as lo).
std::int32_t Whole(double x, std::int32_t lo, std::int32_t hi) {
  if (!(x >= lo)) return lo;
  if (x >= hi) return hi;
  return static_cast<std::int32_t>(std::trunc(x));
}

void Reset(StatisticsState& st, StatisticsSink& sink) {
  st.StatMode = kStatAccumulating;
  st.N = 0;
  st.Mean = st.MeanSq = 0.0;
  st.Hist.total = 0;
  st.Hist.bin.fill(0);
  sink.Clear();
}

}  // namespace

void StatisticsInputsChanged(StatisticsState& st) { st.StatMode = kStatResetPending; }

void AddSample(Session& s, StatisticsState& st, double x, StatisticsSink& sink, Host& host) {
  const std::int64_t nt = s.run.nt;
  if (st.StatMode != kStatResetPending && st.StatMode != kStatAccumulating) st.StatMode = kStatResetPending;
  if (nt < 2 || st.StatMode == kStatResetPending) Reset(st, sink);

  ++st.N;
  const double n = st.N;
  st.Mean = ((n - 1.0) * st.Mean + x) / n;
  st.MeanSq = ((n - 1.0) * st.MeanSq + x * x) / n;

  // The entries: bars 1 ... 1000, lags 0 ... 4000.
  const StatisticsInputs& in = st.inputs;
  st.HistMin = in.HistMin;
  st.HistMax = in.HistMax;
  st.Hist.n = Whole(in.n_intervals, 1, kHistogramBins);
  st.NtCorr = Whole(in.nt_corr, 0, kMaxCorrelationLags);

  // A range without width histograms nothing.
  if (st.HistMax > st.HistMin && x >= st.HistMin && x <= st.HistMax) {
    const double pos = (x - st.HistMin) / (st.HistMax - st.HistMin) * st.Hist.n;
    const std::int32_t i = std::min(static_cast<std::int32_t>(std::trunc(pos)), st.Hist.n - 1);
    ++st.Hist.bin[static_cast<std::size_t>(i)];
    ++st.Hist.total;
  }

  const std::int32_t L = st.NtCorr;
  if (st.N <= L) {
    st.Delay[static_cast<std::size_t>(st.N)] = x;
    st.Acc[static_cast<std::size_t>(st.N)] = 0.0;
    st.M = 0;
  } else {
    ++st.M;
    std::copy(st.Delay.begin() + 1, st.Delay.begin() + L + 1, st.Delay.begin());
    st.Delay[static_cast<std::size_t>(L)] = x;
    const double m = st.M;
    const double d0 = st.Delay[0];
    for (std::int32_t i = 0; i <= L; ++i) {
      const auto k = static_cast<std::size_t>(i);
      st.Acc[k] = ((m - 1.0) * st.Acc[k] + d0 * st.Delay[k]) / m;
    }
  }

  const std::int64_t cadence = 10LL * std::max<std::int32_t>(1, s.run.n_Draw);
  if (nt % cadence == 0) sink.Show(st, s.run.dt);
  host.ProcessEvents();
}

double BarX(const StatisticsState& st, std::int32_t i) {
  return st.HistMin + (st.HistMax - st.HistMin) / st.Hist.n * i;
}

double BarHeight(const StatisticsState& st, std::int32_t i) {
  if (st.Hist.total <= 0) return 0.0;
  return static_cast<double>(st.Hist.bin[static_cast<std::size_t>(i)]) / st.Hist.total;
}

std::optional<double> NormalisedCorrelation(const StatisticsState& st, std::int32_t lag) {
  if (!Varies(st)) return std::nullopt;
  const double mean2 = st.Mean * st.Mean;
  return (st.Acc[static_cast<std::size_t>(lag)] - mean2) / Variance(st);
}

std::optional<double> CorrelationTime(const StatisticsState& st, double dt) {
  if (st.M <= st.NtCorr + 20 || !(st.Acc[0] > 0.0) || st.NtCorr < 2 || !Varies(st)) return std::nullopt;
  const double mean2 = st.Mean * st.Mean;
  const double denominator = st.Acc[0] - mean2;
  if (!(std::abs(denominator) > 0.0)) return std::nullopt;
  const double r2 = (st.Acc[2] - mean2) / denominator;
  if (r2 == 1.0) return std::nullopt;
  return 2.0 * dt / (1.0 - r2);
}

std::string MeanLabel(const StatisticsState& st) { return " Mean = " + Fixed(st.Mean, 9, 2); }

std::string DispersionLabel(const StatisticsState& st) {
  return " Dispersion = " + Fixed(std::sqrt(std::abs(Variance(st))), 9, 2);
}

std::string TauLabel(const StatisticsState& st, double dt) {
  const std::optional<double> tau = CorrelationTime(st, dt);
  if (tau) return " tau = " + Fixed(*tau * 1000.0, 9, 2);
  return Varies(st) || st.N == 0 ? " tau = " : " tau = (constant signal)";
}

}  // namespace membrix
