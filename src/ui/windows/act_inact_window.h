#pragma once
// The window "Form2" of the activation and inactivation curves of the NaR
// current: five plots (normalised curves, peaks, time course of a protocol,
// tau_m and tau_h with the rates), the commands that fill them, and the save
// commands in the pop-up menus of the buttons and plots. The peak computation
// runs in a background worker on a copy of the session; " Stop " ends it
// within one protocol. The save commands run on the interface thread.

#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "analysis/act_inact.h"

class QAction;
class QLabel;
class QPushButton;
class QTimer;

namespace membrix {

class ActInactWorker;
class Chart;
class Workbench;

class ActInactWindow : public QWidget, public ActInactSink {
  Q_OBJECT

 public:
  ActInactWindow(Workbench& wb, QWidget* parent);
  ~ActInactWindow() override;

  // The main window's "Act/Inact": shows the window (a child of `owner`,
  // created on first use); with parameters unfit for its work the message
  // window says so.
  static ActInactWindow& Open(Workbench& wb, QWidget* owner);

  // The commands, as the buttons run them.
  void StartPeaks();      // Button3: the peaks in the worker
  void Normalize();       // Button1
  void SteadyState();     // Button2
  void Rates();           // Button5
  void ClearAll();        // Button4
  void StopPeaks();       // Button7
  void MoveLegends();     // Button6
  // A save command of the pop-up menus: 0 g, 1 I, 2 g/g_max, 3 I/I_max, 4 m^3 h, 5 tau.
  void Save(int item);

  bool ActInactRunning() const;
  const ActInactPeaks& peaks() const { return peaks_; }
  const ActInactState& state() const { return state_; }
  Chart* chart(ActInactPlot plot) const { return charts_[static_cast<int>(plot)]; }
  int SeriesOf(ActInactCurve c) const { return series_[static_cast<int>(c)]; }
  // The corner each plot's legend was last placed at.
  QString LegendCornerOf(ActInactPlot plot) const { return corners_[static_cast<int>(plot)]; }
  // The folder the recordings are read below.
  QString DataFolder() const;

  // ActInactSink, on the interface thread.
  void Clear(ActInactCurve c) override;
  void AddPoint(ActInactCurve c, double x, double y) override;
  void SetAxisRange(ActInactPlot plot, ActInactAxis axis, double min, double max) override;
  void PlaceLegend(ActInactPlot plot, const std::string& corner) override;
  void RepaintTimeCourse() override;

 signals:
  // The worker has ended and its result is shown.
  void peaksFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Build();
  QPushButton* AddButton(const char* name, const QString& caption, const QString& hint);
  void AttachMenu(QWidget* widget, std::initializer_list<int> items);
  void SetBusy(bool busy);
  void RefreshCharts();
  void RunHere(const std::function<void()>& command);  // a command on the interface thread

  Workbench& wb_;
  std::unique_ptr<ActInactWorker> worker_;
  ActInactPeaks peaks_;
  ActInactState state_;
  std::array<Chart*, kActInactPlots> charts_{};
  std::array<int, kActInactCurves> series_{};
  std::array<QString, kActInactPlots> corners_;
  std::array<QAction*, 6> saveActions_{};
  std::vector<QWidget*> busyDisabled_;
  QLabel* status_ = nullptr;
  QTimer* refresh_ = nullptr;
};

}  // namespace membrix
