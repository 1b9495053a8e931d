#pragma once
// "Form31: RampAnalyzer v.13.12": the ramp analyzer of recorded voltage-clamp
// sweeps. Its data (TRamp) exist while the window is shown: they are made when
// it is shown, the default sweep file is read and analysed, and they are freed
// when it is closed.

#include <QWidget>
#include <memory>

#include "data/ramp_analyzer.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;

namespace membrix {

class Chart;
class NumericInput;
class Workbench;
struct Session;

class RampAnalyzerWindow : public QWidget {
  Q_OBJECT

 public:
  RampAnalyzerWindow(Workbench& wb, QWidget* parent = nullptr);
  ~RampAnalyzerWindow() override;

  // The analyzer's data; null while the window is closed.
  TRamp* ramp() const { return ramp_.get(); }
  RampSink& sink();

  // The default sweep file of the first folder item and the shipped sample.
  static QString DefaultFileName() { return QStringLiteral("model_ramps.txt"); }

  // Commands, as their buttons run them.
  void ReadAndDrawData();
  bool ChooseRampFile();
  void ReadChosenFile();  // CurSweep from "Smpl", read, draw
  void FilterCurrent();
  void FindThreshold();
  void AllSamples();
  void DataFromSimulation();

  Chart* chart(int number) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Sink;
  Session& s() const;
  void StartUp();
  void OnSweepChanged(double value);
  void OnFolderChanged(int item);
  void ApplyModeRule();
  void RefreshCharts();
  void ShowInputs();
  QString FolderOf(int item) const;

  Workbench& wb_;
  std::unique_ptr<TRamp> ramp_;
  std::unique_ptr<Sink> sink_;
  Chart* charts_[4] = {};
  QPlainTextEdit* help_ = nullptr;
  QLabel* fileLabel_ = nullptr;
  QLabel* fileName_ = nullptr;
  QComboBox* folders_ = nullptr;
  QComboBox* mode_ = nullptr;
  QCheckBox* markers_ = nullptr;
  NumericInput* inputs_[12] = {};  // DDSpinEdit1 ... DDSpinEdit11
  bool settingFolder_ = false;
};

}  // namespace membrix
