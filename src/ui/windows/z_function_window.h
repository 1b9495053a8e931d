#pragma once
// The Z-function window: the kernel of the last noisy firing-clamp run and the
// stored Z-functions against the time before a spike, and the one-ISI
// analysis: each noisy interval estimated, corrected by the rate shift the
// Z-function predicts ("delta_freq") and estimated again, the estimates drawn
// against the true input, with the last interval analysed: the noisy voltage
// against the orbit at its estimate, and the disturbance current.

#include <QWidget>

#include "analysis/z_function.h"

class QLabel;

namespace membrix {

class Chart;
class NumericInput;
class Workbench;

class ZFunctionWindow : public QWidget {
  Q_OBJECT

 public:
  explicit ZFunctionWindow(Workbench& wb, QWidget* parent = nullptr);

  Chart* zChart() const { return z_; }
  Chart* predictions() const { return predictions_; }
  Chart* estimates() const { return estimates_; }
  Chart* orbit() const { return orbit_; }
  Chart* disturbance() const { return disturbance_; }
  QString deltaFreqText() const;
  QString statusText() const;
  // "Analyse one ISI".
  bool AnalyseOneISI();
  // Draws the kernel of the last run and the stored Z-functions.
  void DrawZ();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void DrawInterval(const OneISIResult::Interval& last, double dt);

  Workbench& wb_;
  Chart* z_ = nullptr;
  Chart* predictions_ = nullptr;
  Chart* estimates_ = nullptr;
  Chart* orbit_ = nullptr;
  Chart* disturbance_ = nullptr;
  NumericInput* repeat_ = nullptr;
  QLabel* deltaFreq_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace membrix
