#pragma once
// The fitting options: the parameters to fit, ticked in one table with their
// values and bounds, the method (simplex, global search with a polish,
// multistart) with its settings, "Fit" and "Stop", and the fit's progress in
// one line that is rewritten while it runs and states its end.

#include <QWidget>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace membrix {

class Workbench;

class FitDialog : public QWidget {
  Q_OBJECT

 public:
  FitDialog(Workbench& wb, QWidget* parent);

  // Tasks -> "Fitting options": shows the window (a child of `owner`, created
  // on first use) with the table as the session holds it.
  static FitDialog& Open(Workbench& wb, QWidget* owner);

  // The progress or end line of a fit, shown in the owner's window if it has one.
  static void ShowStatus(QWidget* owner, const QString& line);
  // Whether the owner's window asks the running fit to stop.
  static bool StopAsked(QWidget* owner);
  // A fit starts or ends: "Fit" and "Stop" follow.
  static void SetFitting(QWidget* owner, bool fitting);

  // The table and settings from the session.
  void Refresh();
  QString StatusText() const;

 private:
  void Build();
  void OnCellChanged(int row, int column);
  void OnSettingsChanged();
  void StartFit();

  Workbench& wb_;
  QTableWidget* table_ = nullptr;
  QComboBox* method_ = nullptr;
  QSpinBox* starts_ = nullptr;
  QSpinBox* maxEvaluations_ = nullptr;
  QDoubleSpinBox* tolerance_ = nullptr;
  QPushButton* fit_ = nullptr;
  QPushButton* stop_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* selection_ = nullptr;
  bool refreshing_ = false;
  bool stopAsked_ = false;
};

}  // namespace membrix
