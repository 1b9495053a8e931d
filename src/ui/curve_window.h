#pragma once
// The curve window: one output variable of a run ("Draw any curve", "Save any
// curve") against time. It empties itself each time it is shown again after
// being closed; closing it only hides it.

#include <QWidget>

namespace membrix {

class Chart;

class CurveWindow : public QWidget {
  Q_OBJECT

 public:
  explicit CurveWindow(QWidget* parent = nullptr);

  // Shows the window when it is hidden (emptied, its time axis automatic again,
  // its series titled by the variable), then adds the point.
  void AddCurvePoint(double x, double y, const QString& variable);

  Chart* chart() const { return chart_; }

 private:
  Chart* chart_;
};

}  // namespace membrix
