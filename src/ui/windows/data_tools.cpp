#include "ui/windows/data_tools.h"

#include "ui/main_window.h"
#include "ui/windows/ramp_analyzer_window.h"
#include "ui/windows/step_series_window.h"
#include "ui/windows/stimulus_preview_window.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

template <class W, class... Args>
W& Child(Workbench& wb, const char* name, Args&... args) {
  MainWindow& form1 = wb.mainWindow();
  if (W* w = form1.findChild<W*>(QString::fromUtf8(name), Qt::FindDirectChildrenOnly)) return *w;
  return *new W(wb, args..., &form1);
}

}  // namespace

RampAnalyzerWindow& RampAnalyzer(Workbench& wb) { return Child<RampAnalyzerWindow>(wb, "Form31"); }

StepSeriesWindow& StepSeries(Workbench& wb) {
  RampAnalyzerWindow& analyzer = RampAnalyzer(wb);
  return Child<StepSeriesWindow>(wb, "Form18", analyzer);
}

StimulusPreviewWindow& StimulusPreview(Workbench& wb) { return Child<StimulusPreviewWindow>(wb, "Form21"); }

void OpenRampsAndSteps(Workbench& wb) {
  StepSeriesWindow& steps = StepSeries(wb);
  RampAnalyzerWindow& analyzer = RampAnalyzer(wb);
  analyzer.show();
  analyzer.raise();
  steps.show();
  steps.raise();
}

void OpenRampInCC(Workbench& wb) {
  StimulusPreviewWindow& w = StimulusPreview(wb);
  w.show();
  w.raise();
}

void RecomputeStimulus(Workbench& wb) {
  MainWindow& form1 = wb.mainWindow();
  auto* w = form1.findChild<StimulusPreviewWindow*>(QStringLiteral("Form21"), Qt::FindDirectChildrenOnly);
  if (w != nullptr && w->isVisible()) w->Recalculate();
}

}  // namespace membrix
