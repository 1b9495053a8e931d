#pragma once
// Opens the windows of the experimental-data tools from the main window:
// "ramps/steps" shows the voltage-step series together with the ramp analyzer,
// "Ramp in CC" the stimulus preview. The windows are made once, at start-up, as
// children of the main window.

namespace membrix {

class Workbench;
class RampAnalyzerWindow;
class StepSeriesWindow;
class StimulusPreviewWindow;

RampAnalyzerWindow& RampAnalyzer(Workbench& wb);
StepSeriesWindow& StepSeries(Workbench& wb);
StimulusPreviewWindow& StimulusPreview(Workbench& wb);

void OpenRampsAndSteps(Workbench& wb);
void OpenRampInCC(Workbench& wb);
// The stimulus of the coming run has changed: the preview, when shown, draws it anew.
void RecomputeStimulus(Workbench& wb);

}  // namespace membrix
