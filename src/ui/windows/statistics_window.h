#pragma once
// The statistics window: histogram, autocorrelation, mean, deviation and
// correlation time of the signal a run passes to AddSample. Shown and hidden by
// the main window's " Statistics" box.

#include <QWidget>

#include "analysis/statistics.h"

class QLabel;

namespace membrix {

class Chart;
class NumericInput;
class Workbench;

class StatisticsWindow : public QWidget, public StatisticsSink {
  Q_OBJECT

 public:
  explicit StatisticsWindow(Workbench& wb, QWidget* parent = nullptr);
  Chart* histogram() const { return histogram_; }
  Chart* correlation() const { return correlation_; }
  QLabel* meanLabel() const { return mean_; }
  QLabel* dispersionLabel() const { return dispersion_; }
  QLabel* tauLabel() const { return tau_; }
  void ShowInputs();

  // StatisticsSink
  void Clear() override;
  void Show(const StatisticsState& state, double dt) override;

 private:
  Workbench& wb_;
  Chart* histogram_ = nullptr;
  Chart* correlation_ = nullptr;
  QLabel* mean_ = nullptr;
  QLabel* dispersion_ = nullptr;
  QLabel* tau_ = nullptr;
  NumericInput* min_ = nullptr;
  NumericInput* max_ = nullptr;
  NumericInput* intervals_ = nullptr;
  NumericInput* ntCorr_ = nullptr;
};

}  // namespace membrix
