#include "tasks/task_inputs.h"
#include "ui/windows/analysis_windows.h"

#include "analysis/firing_clamp_analysis.h"
#include "run/session.h"
#include "ui/windows/adaptation_window.h"
#include "ui/windows/fi_window.h"
#include "ui/windows/fiber_input_window.h"
#include "ui/windows/fiber_view_window.h"
#include "ui/windows/statistics_window.h"
#include "ui/windows/threshold_window.h"
#include "ui/windows/us_map_window.h"
#include "ui/windows/firing_clamp_window.h"
#include "ui/windows/z_function_window.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

void Raise(QWidget& w) {
  w.show();
  w.raise();
  w.activateWindow();
}

}  // namespace

AnalysisWindows::AnalysisWindows(Workbench& wb) : wb_(wb) {}
AnalysisWindows::~AnalysisWindows() = default;

FIWindow& AnalysisWindows::fi() {
  if (!fi_) fi_ = std::make_unique<FIWindow>(wb_);
  return *fi_;
}
AdaptationWindow& AnalysisWindows::adaptation() {
  if (!adaptation_) adaptation_ = std::make_unique<AdaptationWindow>(wb_);
  return *adaptation_;
}
ThresholdWindow& AnalysisWindows::threshold() {
  if (!threshold_) threshold_ = std::make_unique<ThresholdWindow>(wb_);
  return *threshold_;
}
StatisticsWindow& AnalysisWindows::statistics() {
  if (!statistics_) statistics_ = std::make_unique<StatisticsWindow>(wb_);
  return *statistics_;
}

USMapWindow& AnalysisWindows::usMap() {
  if (!usMap_) {
    usMap_ = std::make_unique<USMapWindow>(wb_);
    QObject::connect(usMap_.get(), &USMapWindow::firingClampFormRequested, usMap_.get(),
                     [this] { ShowFiringClamp(); });
  }
  return *usMap_;
}
FiringClampWindow& AnalysisWindows::firingClamp() {
  if (!firingClamp_) {
    firingClamp_ = std::make_unique<FiringClampWindow>(wb_);
    firingClamp_->SetStatisticsSource([this]() -> StatisticsSink* {
      return statistics_ && statistics_->isVisible() ? statistics_.get() : nullptr;
    });
    firingClamp_->SetAdaptationChart([this]() -> Chart* { return usMap_ ? usMap_->adaptation() : nullptr; });
  }
  return *firingClamp_;
}

FiberInputWindow& AnalysisWindows::fiberInput() {
  if (!fiberInput_) fiberInput_ = std::make_unique<FiberInputWindow>(wb_);
  return *fiberInput_;
}
FiberViewWindow& AnalysisWindows::fiberView() {
  if (!fiberView_) fiberView_ = std::make_unique<FiberViewWindow>(wb_);
  return *fiberView_;
}
bool AnalysisWindows::RunAxon() {
  Raise(fiberView());
  Raise(fiberInput());
  return fiberView().Run();
}

ZFunctionWindow& AnalysisWindows::zFunction() {
  if (!zFunction_) zFunction_ = std::make_unique<ZFunctionWindow>(wb_);
  return *zFunction_;
}

void AnalysisWindows::SetKernelShown(bool shown) {
  // The kernel replaces the Wiener correction: the run writes its voltage trace
  // "V(t).dat" for the kernel window instead.
  Session& s = wb_.session();
  wb_.inputs().fcAnalysis.WienerKernel = false;
  s.trace.TraceFile = kWienerTraceFile;
  s.run.WriteMode = 1;
  if (shown) {
    Raise(zFunction());
  } else if (zFunction_) {
    zFunction_->hide();
  }
  wb_.inputs().zInputs.Visible = shown;
}

void AnalysisWindows::ShowFI() { Raise(fi()); }
void AnalysisWindows::ShowUSMap() { Raise(usMap()); }
void AnalysisWindows::ShowFiringClamp() { Raise(firingClamp()); }
void AnalysisWindows::RunFiringClamp() {
  ShowFiringClamp();
  // The voltage of every step goes where the Wiener correction (or the kernel
  // window) reads it back: the analysis of this run reads this run's trace.
  const Session& s = wb_.session();
  const FiringClampAnalysisInputs& a = wb_.inputs().fcAnalysis;
  std::string trace;
  if (s.run.WriteMode == 1) trace = a.WienerKernel ? a.wienerTrace : s.trace.TraceFile;
  firingClamp().Run(100000, trace);
  if (zFunction_ && zFunction_->isVisible()) zFunction_->DrawZ();  // the kernel of this run
}
void AnalysisWindows::ShowAdaptation() { Raise(adaptation()); }
void AnalysisWindows::ShowThreshold() {
  Raise(threshold());
  threshold().ShowFirstChart();
}

void AnalysisWindows::SetStatisticsShown(bool shown) {
  if (shown) {
    Raise(statistics());
    return;
  }
  wb_.session().statistics.StatMode = kStatOff;
  if (statistics_) statistics_->hide();
}

void AnalysisWindows::CloseAll() {
  for (QWidget* w : std::initializer_list<QWidget*>{fi_.get(), adaptation_.get(), threshold_.get(), statistics_.get(), usMap_.get(), firingClamp_.get()}) {
    if (w != nullptr) w->close();
  }
  if (fiberInput_) fiberInput_->close();
  if (fiberView_) fiberView_->close();
  if (zFunction_) zFunction_->close();
}

}  // namespace membrix
