#pragma once
// The distributed-model window: the inputs of the axon fiber (stimulation,
// channel distribution, geometry, soma noise, segments and drawing), bound to
// the session's fiber inputs.

#include <QWidget>

class QCheckBox;
class QComboBox;

namespace membrix {

class NumericInput;
class Workbench;

class FiberInputWindow : public QWidget {
  Q_OBJECT

 public:
  explicit FiberInputWindow(Workbench& wb, QWidget* parent = nullptr);
  // Shows the session's fiber inputs.
  void ShowInputs();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  Workbench& wb_;
  QComboBox* stimulation_ = nullptr;
  QComboBox* naDistribution_ = nullptr;
  QComboBox* kDistribution_ = nullptr;
  QCheckBox* homogeneous_ = nullptr;
  QCheckBox* rightHalf_ = nullptr;
  QCheckBox* noAdaptation_ = nullptr;
  NumericInput *alpha_ = nullptr, *iLeft_ = nullptr, *iRight_ = nullptr, *gLeft_ = nullptr, *gRight_ = nullptr;
  NumericInput *vLeft_ = nullptr, *vRight_ = nullptr, *wNa_ = nullptr, *wK_ = nullptr;
  NumericInput *diam_ = nullptr, *length_ = nullptr, *rl_ = nullptr;
  NumericInput *tauNoise_ = nullptr, *amplE_ = nullptr, *amplI_ = nullptr, *meanE_ = nullptr, *meanI_ = nullptr;
  NumericInput *n_ = nullptr, *nDraw_ = nullptr, *zDraw_ = nullptr;
};

}  // namespace membrix
