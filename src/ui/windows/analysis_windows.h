#pragma once
// The analysis windows the main window opens: f-I curve, adaptation, threshold
// and statistics. Each is made when it is first asked for, which the workbench
// does for all of them at start-up.

#include <memory>

namespace membrix {

class Workbench;
class FIWindow;
class AdaptationWindow;
class ThresholdWindow;
class StatisticsWindow;
class USMapWindow;
class FiringClampWindow;
class FiberInputWindow;
class FiberViewWindow;
class ZFunctionWindow;

class AnalysisWindows {
 public:
  explicit AnalysisWindows(Workbench& wb);
  ~AnalysisWindows();

  FIWindow& fi();
  AdaptationWindow& adaptation();
  ThresholdWindow& threshold();
  StatisticsWindow& statistics();
  USMapWindow& usMap();
  FiringClampWindow& firingClamp();
  FiberInputWindow& fiberInput();
  FiberViewWindow& fiberView();
  ZFunctionWindow& zFunction();
  // The main window's " Kernel ": shows or hides the Z-function window.
  void SetKernelShown(bool shown);

  // Shows a window in front.
  void ShowFI();
  void ShowAdaptation();
  void ShowThreshold();
  void ShowUSMap();
  void ShowFiringClamp();
  // The "Firing-Clamp and PRC" item: shows the firing-clamp window and runs
  // the clamp with up to 100000 spikes.
  void RunFiringClamp();
  // The " Statistics" box: ticked shows the window, cleared hides it and
  // switches the accumulation off.
  void SetStatisticsShown(bool shown);
  // "Axon": shows the distributed-model window and the fiber view and runs the
  // fiber; returns whether the run completed.
  bool RunAxon();
  void CloseAll();

 private:
  Workbench& wb_;
  std::unique_ptr<FIWindow> fi_;
  std::unique_ptr<AdaptationWindow> adaptation_;
  std::unique_ptr<ThresholdWindow> threshold_;
  std::unique_ptr<StatisticsWindow> statistics_;
  std::unique_ptr<USMapWindow> usMap_;
  std::unique_ptr<FiringClampWindow> firingClamp_;
  std::unique_ptr<FiberInputWindow> fiberInput_;
  std::unique_ptr<FiberViewWindow> fiberView_;
  std::unique_ptr<ZFunctionWindow> zFunction_;
};

}  // namespace membrix
