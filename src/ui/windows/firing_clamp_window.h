#pragma once
// The firing-clamp window: the conductances of a firing-clamp run, the
// functions F and G recorded at its spikes and the clamp's own traces (u, s
// and their corrections), drawn while the run goes on.

#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "analysis/firing_clamp.h"

class QLabel;

namespace membrix {

class Chart;
class NumericInput;
class Workbench;

class FiringClampWindow : public QWidget {
  Q_OBJECT

 public:
  explicit FiringClampWindow(Workbench& wb, QWidget* parent = nullptr);

  Chart* conductances() const { return conductances_; }
  Chart* functions() const { return functions_; }
  Chart* clamp() const { return clamp_; }
  // Runs the firing clamp with the page's settings, up to maxSpikes spikes,
  // drawing as it goes; with a trace file, the run writes the trace of the
  // session's WriteMode there. Returns false when it did not run to its end.
  bool Run(std::int32_t maxSpikes, const std::string& traceFile = {});
  void ClearAll();
  const FiringClampResult& last() const { return last_; }
  // The rate the clamp holds (" Freq. hold: ", Hz), and the error of the rate
  // 1/ISI against it over the run: each interval adds one.
  double TargetRate() const;
  void AddRateError(double error);
  QString RateErrorText() const;
  // Where the statistics samples of a run go (the statistics window while it is shown).
  void SetStatisticsSource(std::function<StatisticsSink*()> source) { statistics_ = std::move(source); }
  StatisticsSink* Statistics() const { return statistics_ ? statistics_() : nullptr; }
  // Where the adaptation estimate of a run is drawn (the (u,s) window's chart); none when null.
  void SetAdaptationChart(std::function<Chart*()> source) { adaptationChart_ = std::move(source); }
  Chart* AdaptationChart() const { return adaptationChart_ ? adaptationChart_() : nullptr; }

 private:
  Workbench& wb_;
  Chart* conductances_ = nullptr;
  Chart* functions_ = nullptr;
  Chart* clamp_ = nullptr;
  NumericInput* decay_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* rateError_ = nullptr;
  int errorCount_ = 0;
  double errorSum_ = 0.0, errorSquares_ = 0.0;
  FiringClampResult last_;
  std::function<StatisticsSink*()> statistics_;
  std::function<Chart*()> adaptationChart_;
};

}  // namespace membrix
