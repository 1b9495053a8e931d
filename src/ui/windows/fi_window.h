#pragma once
// The frequency-current window: the f-I curve of the neuron, one point per
// injected current, written to "v(Iind).dat".

#include <QWidget>

#include "ui/windows/sweep_window_support.h"

class QCheckBox;
class QComboBox;
class QGroupBox;

namespace membrix {

class Chart;
class NumericInput;
class Workbench;

class FIWindow : public QWidget {
  Q_OBJECT

 public:
  explicit FIWindow(Workbench& wb, QWidget* parent = nullptr);

  Chart* chart() const { return chart_; }
  // Runs the sweep, as "Start" does.
  void Start();
  // Shows the session's inputs (t_end is the run's).
  void ShowInputs();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  Workbench& wb_;
  Chart* chart_ = nullptr;
  NumericInput* iindMax_ = nullptr;
  NumericInput* step_ = nullptr;
  NumericInput* tEnd_ = nullptr;
  NumericInput* maxSpikes_ = nullptr;
  NumericInput* sgmV_ = nullptr;
  NumericInput* tauNoise_ = nullptr;
  QComboBox* estimator_ = nullptr;
  QCheckBox* noise_ = nullptr;
  QCheckBox* distributed_ = nullptr;
  QGroupBox* noiseBox_ = nullptr;
  SweepCommands commands_;
  bool stop_ = false;
};

}  // namespace membrix
