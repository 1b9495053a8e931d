#pragma once
// The threshold of the refractory neuron: over a sweep of constant currents the
// full model fires twice; a companion threshold neuron (the "T-neuron", built
// from the same parameters with the threshold rule, driven by the same current)
// follows the passive response of the membrane, and its voltage at the moment
// the full model spikes is the threshold: Th0 at the first spike, ThR at the
// second. Th_Curv is the full model's own voltage where its dV/dt first exceeds
// a criterion. One line per current goes to "VTh(tAP).dat", and with Writing on
// the two voltages of every second step to "V_Vlin(t).dat".
//
// The clock restarts after the first spike; the full model's spike clock is
// restarted with it, so its 1 ms blanking counts from the first spike.

#include <cstdint>
#include <string>
#include <vector>

#include "run/host.h"
#include "run/independent_runs.h"

namespace membrix {

struct Session;

// The inputs of the threshold window.
struct ThresholdInputs {
  double Iind_max = 2000.0;     // " Iind_max, pA "
  double StepIind = 40.0;       // " Step for Iind   "
  double dVdtCriterion = 30.0;  // "Threshold criterion, dV/dt:", mV/ms = V/s
  double Oscillations = 0.0;    // "Oscillations, Hz", copied into Freq_Iind
  double sgm = 0.0;             // "sgm, mV": the noise of the full model (with "IfNoise")
  double s = 0.0;               // " s ": the input conductance ss
  std::int32_t NoNoiseInT = 0;  // "No noise in T-neuron"
  std::int32_t RateNotLatency = 0;  // "Rate, not latency": x axis of the Th-tAP chart
};

inline constexpr const char* kThresholdFileName = "VTh(tAP).dat";
inline constexpr const char* kVVlinFileName = "V_Vlin(t).dat";

// What one current gives. Voltages in V, times in s unless named otherwise.
struct ThresholdResult {
  double Iind = 0.0;  // pA
  std::int32_t spikes = 0;
  double Th0 = 0.0, ThR = 0.0;        // T-neuron V - Vrest at the first and second spike
  double dVdt0 = 0.0, dVdtR = 0.0;    // T-neuron dV/dt there (V/s)
  double hh0 = 0.0, hhRefr = 0.0;     // the full model's Na inactivation there
  double Th_Curv = 0.0;               // full-model V - Vrest where its dV/dt first passed the criterion
  double Th_Curv_dVdt = 0.0;          // the T-neuron's dV/dt at that step
  double Th_Curv_t = 0.0;             // and the time of that step
  double t1 = 0.0, t2 = 0.0;          // step times of the spikes (t2 from the first spike)
  double tLastSpike = 0.0;            // the full model's last spike time (column 2 of the file)
  bool plotted = false;               // the result points are drawn (a spike occurred)
  double Vrest = 0.0;

  // The time course of the current, both spikes on the clock that restarts at
  // the first: every 10th step (and the first) t (ms), V of the full model, of the T-neuron, and the auxiliary gate
  // curve 20·hh - 55 (mV).
  struct Sample {
    double t, V, VT, aux;
  };
  std::vector<Sample> trace;
  // At each spike of the full model: the "Th" point (t ms, T-neuron mV) and the
  // "Th_Curv" point (criterion time ms, Th_Curv + Vrest in mV).
  struct Mark {
    double t, Th, tCurv, ThCurv;
  };
  std::vector<Mark> marks;
  // "V_Vlin(t).dat": t (ms), V and T-neuron V (mV) of every second step.
  std::vector<Sample> vlin;
};

class ThresholdSink {
 public:
  virtual ~ThresholdSink() = default;
  virtual void Current(const ThresholdResult& result) = 0;
  virtual void Progress(std::int64_t done, std::int64_t total) { (void)done, (void)total; }
};

// One current Iind (pA) on s, which the sweep has prepared (run settings, the
// T-neuron's parameters); noise adds the noise current of the full model
// ("IfNoise" of the frequency-current window). A stop on host throws RunStopped.
ThresholdResult ThresholdRun(Session& s, const ThresholdInputs& in, bool noise, double Iind,
                             const Host* host = nullptr);

// The sweep, currents step, 2·step, ... Iind_max. Sets the run to dt 0.015 ms,
// t_end 400 ms, t_Iind 2 s, Freq_Iind from "Oscillations, Hz", and ThrShift 0.1,
// Vreset -40 mV, ThrModel 0 in NP0; these stay. Iind, uu and ss are the caller's
// again afterwards.
RunsOutcome ThresholdSweep(Session& s, const ThresholdInputs& in, bool noise, Host& host, ThresholdSink& sink,
                           const std::string& file = kThresholdFileName, const std::string& vlinFile = kVVlinFileName);

std::string ThresholdLine(const ThresholdResult& r);

}  // namespace membrix
