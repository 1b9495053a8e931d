#pragma once
// The inhibitory network: M copies of the procedural neuron share one GABA
// synapse driven by the network's own population rate, delayed. Every step the
// synapse turns the delayed rate into a gate mGABA (a second-order filter) and
// an inhibitory conductance gGABA·mGABA reversing at VGABA; then every member
// steps with it. The members step together in one fixed order, so the run is
// the same whatever the machine.

#include <cstdint>
#include <string>
#include <vector>

#include "population/ensemble.h"
#include "population/rate_histogram.h"
#include "run/host.h"

namespace membrix {

struct Session;
class StatisticsSink;

// The inputs of the synapse window, in its units.
struct SynapseInputs {
  double gGABA = 1.0;     // "gGABA, mS/cm^2"
  double alGABA = 320.0;  // "alGABA, Hz"
  double beGABA = 320.0;  // "beGABA,Hz"
  double VGABA = -80.0;   // "VGABA, mV"
  double delay = 1.0;     // "delay, ms"
};

// The network's members must stay below this count.
inline constexpr std::int32_t kMaxNetworkMembers = 10000;

// The gate of the synapse and its derivative.
struct GabaState {
  double mGABA = 0.0;
  double dmGABA = 0.0;
};

struct SynapticInput {
  double u = 0.0;  // mA/cm²
  double s = 0.0;  // mS/cm²
};

// The population rate as the synapse sees it at time t (s) after the delay (s):
// interpolated between completed bins, never from the bin still filling; the
// first bin before the delay has passed.
double DelayedRate(const RateHistogram& ro, double t, double delay);

// One step dt of the synapse at time t: the gate filters the delayed rate
// (rates in Hz; α = β gives an alpha function peaking at 1/α), g = gGABA·mGABA,
// and the input pair for a neuron whose input reverses at `reversal` (V), so
// that the neuron receives -g·(V - VGABA).
SynapticInput GabaSynapse(double t, double dt, const RateHistogram& ro, const SynapseInputs& syn, GabaState& st,
                          double reversal);

class NetworkSink {
 public:
  virtual ~NetworkSink() = default;
  // The step length for the next step (s): the window may change "dt, ms" during the run.
  virtual double StepLength(double dt) { return dt; }
  // A completed rate bin ("ro(t,0)" and "mGABA"); t in s.
  virtual void Bin(double t, double ro, double mGABA) { (void)t, (void)ro, (void)mGABA; }
  // The drawn member's voltage ("V(t)"), every n_Draw steps.
  virtual void Voltage(double t, double V) { (void)t, (void)V; }
  // The time reached.
  virtual void Time(double t) { (void)t; }
  // Where the drawn member's voltage goes as a statistics sample (mV), when ticked.
  virtual StatisticsSink* Statistics() { return nullptr; }
};

struct NetworkResult {
  RateHistogram ro;
  std::vector<double> mGABA;  // the gate at the end of each bin
  bool stopped = false;
  std::int32_t bins = 0;  // bins completed and written, 0 ... bins-1; a stop leaves the later ones empty
};

// Runs the network. noise: members start from a Gaussian spread of voltages
// and receive independent white-noise currents (threshold renewal if ticked);
// otherwise each member has a fixed Gaussian threshold shift. Writes
// "rate(t).dat" (time, rate, gate) and "OneCurve(t).dat" (the drawn member).
NetworkResult RunNetwork(Session& s, const EnsembleInputs& in, const SynapseInputs& syn, Host& host,
                         NetworkSink& sink, EnsembleModel model, bool noise, const std::string& dir = "");

}  // namespace membrix
