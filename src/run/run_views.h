#pragma once
// What a clamp run draws: which value of the running neuron goes to which
// series, when the series are cleared, and what is prepared before a run.

#include <string>

#include "run/run_view_sink.h"

namespace membrix {

struct Session;

void ClearRunViews(RunViewSink& views);
void PrepareRunViews(const Session& s, RunViewSink& views);
void ShowRunStatus(const Session& s, RunViewSink& views);
// The time label: "t=" + the time in ms (width 7, 2 decimals) + " ms".
std::string RunStatusTimeText(double tMs);
// The file label: the recording entry between double quotes.
std::string RunStatusFileText(const std::string& recordingEntry);
// One point to every run series, from NV0 and the run globals.
void DrawRunStep(const Session& s, RunViewSink& views);
// Between the drawing cadence's steps, to views that draw from every step:
// the series they take at every step (" V ", "Vd", "Model" and the phase
// plane), as DrawRunStep gives them.
void DrawEveryStepSeries(const Session& s, RunViewSink& views);
// A point (t ms, V mV) on "Spike".
void MarkSpike(const Session& s, RunViewSink& views);

}  // namespace membrix
