#pragma once
// How a run integrates the neuron's equations: the model's own fixed step at
// dt, or error-controlled variable steps (CVODE) within a relative and an
// absolute tolerance, the samples still dt apart. "Parameters > Integration…".

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;

namespace membrix {

struct RunGlobals;

class IntegrationDialog : public QDialog {
  Q_OBJECT

 public:
  // Shows the run's present choice; OK takes the new one into the run's
  // settings once the tolerances are numbers the integrator takes, and keeps
  // the dialog open with the reason otherwise.
  IntegrationDialog(RunGlobals& run, QWidget* parent = nullptr);

  void accept() override;

 private:
  void ShowChoice();

  RunGlobals& run_;
  QComboBox* kind_;
  QLineEdit* rtol_;
  QLineEdit* atol_;
  QLabel* problem_;
};

}  // namespace membrix
