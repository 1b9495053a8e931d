#pragma once
// The fitting options: the parameters to fit, ticked in one table with their
// values and bounds, the method (simplex, global search with a polish,
// multistart) with its settings, "Fit" and "Stop", and the fit's progress in
// one line that is rewritten while it runs and states its end.

#include <QWidget>
#include <vector>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace membrix {

class Workbench;
struct Session;

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

  // Why fitting the parameter of this slot cannot change the deviation for the
  // parameters the session holds (it stays 0, its current is absent or
  // blocked, it follows from another one); empty when it can.
  static QString WhyNoEffect(const Session& s, int slot);
  // The start-up selection without the parameters that cannot change the
  // deviation; the table offers it while the researcher has chosen nothing.
  static void OfferUsefulSelection(Session& s);
  // A fit's line with its residual in the recordings' unit: "residual 1.2e-03"
  // becomes "residual 1.2 mV" for voltage recordings, "... pA" for currents.
  static QString WithResidualUnit(const Session& s, const QString& line);

 private:
  void Build();
  void OnCellChanged(int row, int column);
  void OnSettingsChanged();
  void StartFit();
  void SetMark(int slot, bool on);
  void TickOnly(const std::vector<int>& slots);

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
  QPushButton* clearAll_ = nullptr;
  QPushButton* onlyThese_ = nullptr;
  bool refreshing_ = false;
  bool stopAsked_ = false;
};

}  // namespace membrix
