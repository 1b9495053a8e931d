#pragma once
// The distributed-model window: the inputs of the axon fiber (stimulation,
// channel distribution, geometry, soma noise, segments and drawing), bound to
// the session's fiber inputs.

#include <QWidget>

#include "fiber/fiber.h"

class QCheckBox;
class QComboBox;

namespace membrix {

class NumericInput;
class Workbench;

// The fiber inputs the workbench starts with, where a run shows a spike
// travelling: an axon 3 mm long and 1 um thick in 200 segments, Na and K
// homogeneous along it, 3000 pA held at the soma ("steps at both ends"), a
// frame every 2 steps (0.1 ms at the start-up step), so that the profiles
// catch the spike on its way. The batch tool keeps its own defaults.
FiberInputs WorkbenchFiberInputs();

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
