#pragma once
// The voltage-step series: a current-voltage curve of the peak inward current.
// For each test voltage a voltage-clamp protocol is written as the recording
// "ramp_.d" (holding level, depolarizing prestep, test step and, in
// double-step mode, a second step dV higher), the model follows it as
// recording 19 in "VC at Vexp" mode, or the matching sweep of the ramp
// analyzer's file is taken instead, and the most negative current of the test
// step (Imin) and of the second step (Imin2) is found. The minima go to the
// chart and to "Steps_V_Imin_Imin2.dat".

#include <cstdint>
#include <string>
#include <string_view>
#include <array>

#include "run/host.h"
#include "run/run_view_sink.h"

namespace membrix {

struct Session;
struct TRamp;
class RampSink;
struct RampInputs;
struct FiberInputs;

// The inputs of the step-series window; voltages in mV, times in ms.
struct StepSeriesInputs {
  double NSteps = 80.0;       // DDSpinEdit1: "Number of voltage steps", truncated
  double Vmin = -60.0;        // DDSpinEdit2: first test voltage
  double Vmax = 20.0;         // DDSpinEdit3: last test voltage
  double CurrentLevel = -30;  // DDSpinEdit4: the test voltage in progress
  double V0 = -65.0;          // DDSpinEdit8: holding voltage
  double V_DepStep = 30.0;    // DDSpinEdit5: level of the depolarizing prestep
  double t1 = 15.6;           // DDSpinEdit9: start of the prestep
  double d1 = 200.0;          // DDSpinEdit10: its duration
  double t2 = 265.6;          // DDSpinEdit11: start of the test step
  double t3 = 310.6;          // DDSpinEdit12: end of the steps
  bool IfDoubleSteps = true;  // CheckBox3
  double dV = 15.0;           // DDSpinEdit6: added for the second step
  double d2 = 10.0;           // DDSpinEdit7: length of the first test step in double-step mode
  std::int32_t DataSource = 0;  // RadioGroup1: 0 model, 1 distributed model, 2 the analyzer's sweeps
  bool SetVCatVexp = true;    // CheckBox4: switch the clamp mode to "VC at Vexp"
  bool IfClear = false;       // CheckBox1: clear the curves before a series
  bool ShowLines = true;      // CheckBox2
};

inline constexpr std::array<std::string_view, 3> kStepDataSources = {"1-compatment model", "Distributed model",
                                                                      "Experiment (Form 31)"};
inline constexpr int kStepRecording = 19;  // the recording number the protocol is run as
inline constexpr const char* kStepProtocolFile = "ramp_.d";
inline constexpr const char* kStepResultFile = "Steps_V_Imin_Imin2.dat";

struct StepMinima {
  double Imin = 0.0;   // pA, smallest current below 0 during the test step
  double Imin2 = 0.0;  // pA, the same during the second step
};

class StepSeriesSink {
 public:
  virtual ~StepSeriesSink() = default;
  // "IfClear": both curves are emptied.
  virtual void Clear() {}
  // A test voltage is being measured.
  virtual void Level(double V) { (void)V; }
  // Its minima; Imin2 belongs to the curve only in double-step mode.
  virtual void Point(double V, const StepMinima& m, bool doubleSteps) { (void)V, (void)m, (void)doubleSteps; }
};

// The test voltage of step j of N + 1 (Vmin when N = 0).
double TestVoltage(const StepSeriesInputs& in, int j, int N);

// The twelve lines of the protocol file for test voltage V.
std::string StepProtocolText(const StepSeriesInputs& in, double V);

struct StepSeriesResult {
  int steps = 0;         // test voltages measured
  bool complete = true;  // false when stopped
  std::string note;      // what was left out, empty when nothing
};

// The series of in, which keeps the level under way in CurrentLevel; the
// model's sweeps go through the analyzer with rampIn. "ramp_.d" and "Steps_V_Imin_Imin2.dat" are written into folder
// (empty: the current folder). ramp holds the analyzer's data: its times and,
// with the analyzer's sweeps as the source, its currents; runs of the model
// replace its sweeps by the simulation's. The distributed model runs with the
// axon of fiberIn, its soma following the protocol. The protocol is read as
// written, whatever the session's recording settings (format, layout, time
// scale), which the series leaves as they were. Throws Error for the
// analyzer's sweeps when none are loaded.
StepSeriesResult RunSteps(Session& s, StepSeriesInputs& in, const RampInputs& rampIn, const FiberInputs& fiberIn,
                          Host& host, TRamp& ramp, StepSeriesSink& sink, RunViewSink& views, RampSink& rampSink,
                          const std::string& folder = {});

}  // namespace membrix
