#include "ui/program_windows.h"

#include "ui/main_window.h"
#include "ui/windows/act_inact_window.h"
#include "ui/windows/adaptation_window.h"
#include "ui/windows/analysis_windows.h"
#include "ui/windows/data_tools.h"
#include "ui/windows/ensemble_window.h"
#include "ui/windows/fi_window.h"
#include "ui/windows/fiber_input_window.h"
#include "ui/windows/fiber_view_window.h"
#include "ui/windows/firing_clamp_window.h"
#include "ui/windows/fit_dialog.h"
#include "ui/windows/message_window.h"
#include "ui/windows/ramp_analyzer_window.h"
#include "ui/windows/reverse_problem_window.h"
#include "ui/windows/statistics_window.h"
#include "ui/windows/step_series_window.h"
#include "ui/windows/stimulus_preview_window.h"
#include "ui/windows/threshold_window.h"
#include "ui/windows/us_map_window.h"
#include "ui/windows/z_function_window.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

// A window that lives as a child of the main window, found there by its name
// and class, made when it is not there yet.
template <class W, class Make>
QWidget* ChildOfMain(Workbench& wb, const char* name, Make make) {
  MainWindow& form1 = wb.mainWindow();
  if (W* w = form1.findChild<W*>(QString::fromUtf8(name), Qt::FindDirectChildrenOnly)) return w;
  return make(form1);
}

AnalysisWindows& Analysis(Workbench& wb) { return wb.mainWindow().analysisWindows(); }

SynapseWindow& Synapse(Workbench& wb) {
  return *static_cast<SynapseWindow*>(ChildOfMain<SynapseWindow>(
      wb, "Form15", [&wb](MainWindow& form1) { return new SynapseWindow(wb, &form1); }));
}

}  // namespace

const std::vector<ProgramWindow>& ProgramWindows() {
  static const std::vector<ProgramWindow> kWindows = {
      {"Form1", {}},
      {"Form3", [](Workbench& wb) -> QWidget* { return &Analysis(wb).threshold(); }},
      {"Form2",
       [](Workbench& wb) {
         return ChildOfMain<ActInactWindow>(wb, "Form2",
                                            [&wb](MainWindow& form1) { return new ActInactWindow(wb, &form1); });
       }},
      {"Form4", {}},
      {"Form5", [](Workbench& wb) -> QWidget* { return &Analysis(wb).fi(); }},
      {"Form6", [](Workbench& wb) -> QWidget* { return &Analysis(wb).adaptation(); }},
      // The ensemble window draws the network's synaptic current into the
      // synapse window, which is therefore made with it.
      {"Form7",
       [](Workbench& wb) {
         return ChildOfMain<EnsembleWindow>(
             wb, "Form7", [&wb](MainWindow& form1) { return new EnsembleWindow(wb, Synapse(wb), &form1); });
       }},
      {"Form8", [](Workbench& wb) -> QWidget* { return &Analysis(wb).firingClamp(); }},
      {"Form9", [](Workbench& wb) -> QWidget* { return &Analysis(wb).usMap(); }},
      {"Form11", [](Workbench& wb) -> QWidget* { return &MessageWindow::Of(&wb.mainWindow()); }},
      {"Form12", [](Workbench& wb) -> QWidget* { return &Analysis(wb).fiberView(); }},
      {"Form13", [](Workbench& wb) -> QWidget* { return &Analysis(wb).statistics(); }},
      {"Form14", [](Workbench& wb) -> QWidget* { return &Analysis(wb).zFunction(); }},
      {"Form15", [](Workbench& wb) -> QWidget* { return &Synapse(wb); }},
      {"Form17",
       [](Workbench& wb) {
         return ChildOfMain<ReverseProblemWindow>(
             wb, "Form17", [&wb](MainWindow& form1) { return new ReverseProblemWindow(wb, &form1); });
       }},
      // The step series reads the ramp analyzer's sweeps, which is made with it.
      {"Form18", [](Workbench& wb) -> QWidget* { return &StepSeries(wb); }},
      {"Form20", [](Workbench& wb) -> QWidget* { return &Analysis(wb).fiberInput(); }},
      {"Form31", [](Workbench& wb) -> QWidget* { return &RampAnalyzer(wb); }},
      {"Form19", {}},
      {"Form21", [](Workbench& wb) -> QWidget* { return &StimulusPreview(wb); }},
      {"FitDialog",
       [](Workbench& wb) {
         return ChildOfMain<FitDialog>(wb, "FitDialog",
                                       [&wb](MainWindow& form1) { return new FitDialog(wb, &form1); });
       }},
  };
  return kWindows;
}

}  // namespace membrix
