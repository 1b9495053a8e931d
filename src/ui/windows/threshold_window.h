#pragma once
// The threshold window: thresholds of the first and of the second spike of
// the full model, measured by its T-neuron, over a sweep of currents; six
// charts and "VTh(tAP).dat".

#include <QWidget>
#include <array>

#include "ui/windows/sweep_window_support.h"

class QCheckBox;

namespace membrix {

class Chart;
class NumericInput;
class Workbench;
struct ThresholdResult;

class ThresholdWindow : public QWidget {
  Q_OBJECT

 public:
  explicit ThresholdWindow(Workbench& wb, QWidget* parent = nullptr);
  // 0 time course, 1 Th against tAP, 2 Th and tAP against Iind, 3 dV/dt against
  // Iind, 4 phase plane, 5 Th against hh.
  Chart* chart(int i) const { return charts_[static_cast<std::size_t>(i)]; }
  void Start();
  void ShowInputs();
  void Draw(const ThresholdResult& r);
  void ShowFirstChart();

 private:
  Workbench& wb_;
  std::array<Chart*, 6> charts_{};
  NumericInput* iindMax_ = nullptr;
  NumericInput* step_ = nullptr;
  NumericInput* criterion_ = nullptr;
  NumericInput* oscillations_ = nullptr;
  NumericInput* sgm_ = nullptr;
  NumericInput* s_ = nullptr;
  QCheckBox* noNoiseInT_ = nullptr;
  QCheckBox* rateNotLatency_ = nullptr;
  SweepCommands commands_;
  bool stop_ = false;
};

}  // namespace membrix
