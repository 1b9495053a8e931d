#pragma once
// The Gaussian-ensemble window "Form7: Rate of Gaussian ensemble": the
// population rate of ensembles with dispersed thresholds or noise, the
// ensemble with Gaussian conductances and the inhibitory network; and the
// synapse window "Form15: Synaptic Current for the Net" of the network.

#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace membrix {

class Chart;
class NumericInput;
class Workbench;
enum class EnsembleModel;

class SynapseWindow : public QWidget {
  Q_OBJECT

 public:
  explicit SynapseWindow(Workbench& wb, QWidget* parent = nullptr);
  Chart* chart() const { return chart_; }
  void ShowInputs();

 private:
  Workbench& wb_;
  Chart* chart_ = nullptr;
  NumericInput* inputs_[5] = {};
};

class EnsembleWindow : public QWidget {
  Q_OBJECT

 public:
  EnsembleWindow(Workbench& wb, SynapseWindow& synapse, QWidget* parent = nullptr);
  Chart* chart() const { return chart_; }
  void ShowInputs();

  // The buttons' commands.
  void RunThresholds(EnsembleModel model);
  void RunNoise(EnsembleModel model);
  void RunConductances(EnsembleModel model);
  void RunNet(bool noise);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void SetUnit(int index);
  void Run(const std::function<void()>& body);

  Workbench& wb_;
  SynapseWindow& synapse_;
  Chart* chart_ = nullptr;
  QComboBox* unit_ = nullptr;
  QComboBox* disperse_ = nullptr;
  QCheckBox* renewal_ = nullptr;
  QCheckBox* fixThreshold_ = nullptr;
  QCheckBox* dontClear_ = nullptr;
  QLabel* progress_ = nullptr;
  QLabel* sigmaV_ = nullptr;
  NumericInput* sgmV_ = nullptr;
  std::vector<std::pair<NumericInput*, std::function<double()>>> shown_;
  std::vector<QPushButton*> buttons_;
  bool stop_ = false;
  QString done_;  // what the run did, for the main window's status bar
};

// Shows the ensemble window and the synapse window of the workbench, creating
// them on first use (children of the main window).
EnsembleWindow& ShowEnsembleWindow(Workbench& wb, QWidget* mainWindow);

}  // namespace membrix
