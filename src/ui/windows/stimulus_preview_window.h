#pragma once
// "Form21: Ramp in CC": the stimulus of a clamp run previewed over the whole
// run, and the radio group of the pulse shape that the runs apply.

#include <QWidget>

class QButtonGroup;

namespace membrix {

class Chart;
class Workbench;
struct Session;

class StimulusPreviewWindow : public QWidget {
  Q_OBJECT

 public:
  explicit StimulusPreviewWindow(Workbench& wb, QWidget* parent = nullptr);

  // "Re-calculate".
  void Recalculate();
  Chart* chart(int number) const { return charts_[number]; }
  // The radio group shows the session's pulse shape.
  void ShowShape();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  Workbench& wb_;
  Chart* charts_[4] = {};
  QButtonGroup* shapes_ = nullptr;
};

}  // namespace membrix
