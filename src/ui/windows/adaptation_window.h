#pragma once
// The adaptation window: 1/ISI of the first five intervals against the
// injected current, written to "adaptation(I).dat".

#include <QWidget>

#include "ui/windows/sweep_window_support.h"

namespace membrix {

class Chart;
class NumericInput;
class Workbench;

class AdaptationWindow : public QWidget {
  Q_OBJECT

 public:
  explicit AdaptationWindow(Workbench& wb, QWidget* parent = nullptr);
  Chart* chart() const { return chart_; }
  void Start();
  void ShowInputs();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  Workbench& wb_;
  Chart* chart_ = nullptr;
  NumericInput* iindMax_ = nullptr;
  NumericInput* step_ = nullptr;
  NumericInput* tEnd_ = nullptr;
  SweepCommands commands_;
  bool stop_ = false;
};

}  // namespace membrix
