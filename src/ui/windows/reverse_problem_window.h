#pragma once
// The reverse-problem window "Form17": choose sodium or potassium, set the
// starting rate coefficients and the subset to fit, fit them to the
// conductance curves of the open parameter file, and watch the fitted and the
// recorded curves side by side; run the model with the coefficients found on
// "Simulate spikes"; read how the rate functions and the fit are written on the
// picture pages.
//
// Every input writes its field of NP0 or its run global as it changes; the
// window keeps nothing of its own. Each check box is the mark of one item of
// the main window's Parameters -> Simplex menu.

#include <QImage>
#include <QString>
#include <QWidget>
#include <vector>

#include "data/reverse_problem.h"

class QButtonGroup;
class QCheckBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace membrix {

class Chart;
class NumericInput;
class Workbench;
struct Session;

class ReverseProblemWindow : public QWidget {
  Q_OBJECT

 public:
  ReverseProblemWindow(Workbench& workbench, QWidget* parent);

  // NP0's coefficients, the injected current and the run length into the
  // inputs.
  void ShowCoefficients();
  // All check boxes to the Simplex marks, the run length, and which inputs are
  // enabled (the inputs write their fields as they change).
  void ApplyCoefficients();

  // The current the radio group chooses.
  ReverseCurrent Current() const;

  Chart* fitChart() const { return fitChart_; }
  Chart* voltageChart() const { return voltageChart_; }
  Chart* gateChart() const { return gateChart_; }

  // The main window moved out of this window's way, 1000 pixels to the
  // right as far as the screen has room for it, and back by as much.
  void MoveMainWindowAside();
  void BringMainWindowBack();

  // A formula picture: the rich text drawn into an image, kept as PNG.
  static QImage FormulaPicture(const QString& html, int width);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Row {
    const ReverseCoefficient* coefficient;
    QCheckBox* box;
    NumericInput* input;
  };

  QWidget* BuildFitPage();
  QWidget* BuildSpikePage();
  QWidget* BuildFiguresPage();
  QWidget* BuildApproximationsPage();
  NumericInput* AddSpikeInput(QGridLayout* grid, int row, const char* name, const char* caption,
                              void (*store)(Session&, double));

  void OnCurrentChosen(int id);
  void OnCurveNumber(int v);
  void OnSolve();
  void OnStop();
  void OnRunSpikes();
  void OnDetails();
  void OnPageChanged(int page);
  void OnSetStartup();
  void OnSetSquidAxon();
  void OnSetConductancesFromSample11();
  void ShowFileName();
  void UpdateEnabled();
  void RefreshCharts();
  Session& s() const;

  Workbench& wb_;
  std::vector<Row> rows_;
  QTabWidget* pages_ = nullptr;
  QButtonGroup* current_ = nullptr;
  QSpinBox* curve_ = nullptr;
  NumericInput* tolerance_ = nullptr;
  QLabel* progress_ = nullptr;
  QLabel* fileName_ = nullptr;
  QPushButton* solve_ = nullptr;
  QPushButton* details_ = nullptr;
  Chart* fitChart_ = nullptr;
  Chart* voltageChart_ = nullptr;
  Chart* gateChart_ = nullptr;
  std::vector<NumericInput*> spikeInputs_;
  bool showing_ = false;  // the program fills the inputs: nothing is written back
  bool stop_ = false;
  bool closing_ = false;
  int mainShift_ = 0;  // how far the main window was moved aside

  friend class MirroringSink;
  friend class StoppableHost;
};

// Shows the window from the main window's "HH approx.": the main window moves
// 1000 pixels to the right and the parameter window hides.
void ShowReverseProblemWindow(Workbench& workbench, QWidget* mainWindow);

}  // namespace membrix
