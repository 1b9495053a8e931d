#pragma once
// What a researcher wants to know when a clamp run ends: how many spikes, at
// what rate, how far the model lay from its recording, how many steps and how
// long it took. The main window shows it in its status bar.

#include <QString>

namespace membrix {

struct Session;

// The unit a clamp mode's compared value (the model trace "Model" and its
// recording) is shown in, and the factor from the run's value to it: volts
// become mV, currents stay in pA. `shown` is false for the modes whose value
// has no unit a recording shares (the conductance clamp), which keep the
// model's and the recording's own axes.
struct ModelTraceUnit {
  QString unit;
  double scale = 1.0;
  bool shown = false;
};
ModelTraceUnit ModelTraceUnitOf(int If_I_V_or_g);

struct RunSummary {
  bool completed = true;   // false: stopped before its end
  double tMs = 0.0;        // model time reached
  int spikes = 0;
  double rateHz = 0.0;
  bool recording = false;  // the run had a recording to compare with
  QString recordingName;
  double deviation = 0.0;  // root-mean-square, in `unit`
  QString unit;
  long long steps = 0;
  double seconds = 0.0;    // wall-clock time of the run
};

// The summary of the run the session has just made; `deviation` is what the
// run returned, in the run's own unit.
RunSummary SummarizeRun(const Session& s, double deviation, bool completed, double seconds);

// "Run complete: 1 spike, 47.6 Hz, deviation 0.21 mV from "Hodgkin_AP_2.d",
// 400 steps in 0.05 s".
QString RunSummaryText(const RunSummary& r);

}  // namespace membrix
