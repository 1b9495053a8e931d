#pragma once
// "Form18: ramps and steps": the voltage-step series. For each test voltage the
// model follows a step protocol (or the ramp analyzer's sweep is taken) and the
// peak inward currents of the test step and of the second step are plotted
// against the voltage.

#include <QWidget>
#include <memory>

class QButtonGroup;
class QCheckBox;

namespace membrix {

class Chart;
class NumericInput;
class RampAnalyzerWindow;
class Workbench;
struct Session;
struct TRamp;

class StepSeriesWindow : public QWidget {
  Q_OBJECT

 public:
  StepSeriesWindow(Workbench& wb, RampAnalyzerWindow& analyzer, QWidget* parent = nullptr);
  ~StepSeriesWindow() override;

  // "Run Steps".
  void RunSteps();
  Chart* chart() const { return chart_; }

 private:
  class Sink;
  Session& s() const;
  void OnDataSource(int item);

  Workbench& wb_;
  RampAnalyzerWindow& analyzer_;
  std::unique_ptr<TRamp> ownRamp_;  // the model's sweeps while the analyzer is closed
  Chart* chart_ = nullptr;
  NumericInput* level_ = nullptr;
  QButtonGroup* source_ = nullptr;
};

}  // namespace membrix
