#pragma once
// The f-I curve: the injected current Iind is swept from 0 to Iind_max, each
// current a fresh run from rest of the neuron built from NP0, and one firing
// frequency is measured per current. The points go to the sink and, one line
// each, to "v(Iind).dat". The currents run in parallel (independent runs); the
// caller's session is left as it was.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "run/host.h"
#include "run/independent_runs.h"

namespace membrix {

struct Session;
struct SpikeStats;
struct FiberInputs;
struct RunGlobals;
class RandomGenerator;

// The frequency estimators of the window's list, in its item order.
enum class FIEstimator : std::int32_t { NumberOfSpikes = 0, ReverseLastISI = 1, MeanForLastThird = 2 };
inline constexpr std::array<std::string_view, 3> kFIEstimatorNames = {
    "Number of spikes", "Reverse last ISI", "Mean for last third of t_end"};

// The inputs of the frequency-current window. Currents in pA.
struct FIInputs {
  double Iind_max = 400.0;            // " Iind_max, pA "
  double StepIind = 4.0;              // " Step for Iind   "
  std::int32_t MaxSpikes = 10002;     // "Max number of spikes"
  FIEstimator Estimator = FIEstimator::MeanForLastThird;
  std::int32_t IfNoise = 0;           // "IfNoise": a noise current of deviation sgm_V, correlation tau_Noise
  std::int32_t IfDistributedModel = 0;  // "IfDistributedModel": the axon fiber in place of the point neuron
};

inline constexpr const char* kFIFileName = "v(Iind).dat";

// One point of the curve.
struct FIPoint {
  double Iind = 0.0;     // pA
  double f = 0.0;        // Hz
  double passive = 0.0;  // Iind/Square·tau_m/Cm/1e6: the current as the depolarisation it would cause
};

class FISink {
 public:
  virtual ~FISink() = default;
  // A point, in the order of the currents.
  virtual void Point(const FIPoint& point) = 0;
  // done of total currents have been delivered.
  virtual void Progress(std::int64_t done, std::int64_t total) { (void)done, (void)total; }
};

// One current: a fresh neuron from the session's NP0, driven with Iind (pA) as
// a constant current, until t_end or an early stop; returns its frequency.
// Works on s (a copy of the caller's session in a sweep). A stop request on
// host ends the run by throwing RunStopped.
double FIRunFrequency(Session& s, const FIInputs& in, double Iind, const Host* host = nullptr);

// The noise current of an f-I run ("IfNoise"): white, or coloured with the
// correlation time tau_Noise, so strong that it moves the voltage of the
// passive membrane of NP0 by sgm_V. Starts at 0.
class FINoiseCurrent {
 public:
  // The session's sgm_V, tau_Noise, NP0 and time step as they stand.
  explicit FINoiseCurrent(const Session& s);
  // The current of the next step, from one normal draw of random.
  double Step(RandomGenerator& random);

 private:
  double sigma_, G_, tauN_, tauM_, dt_;
  double g_ = 0.0;
};

// The frequency of an f-I run by the estimator of in, from the run's spike
// record st and the spikes it had counted before two thirds of t_end.
double FIEstimatedFrequency(const FIInputs& in, const SpikeStats& st, std::int32_t spikesBeforeLastThird,
                            const RunGlobals& run);

// The sweep of in; writes file (none when empty). With in.IfDistributedModel
// every current runs on a fiber built from the axon inputs fiber. Returns what
// became of the runs; a stopped sweep has written the lines of the delivered
// currents.
RunsOutcome SweepFI(Session& s, const FIInputs& in, const FiberInputs& fiber, Host& host, FISink& sink,
                    const std::string& file = kFIFileName);

// The line of "v(Iind).dat" for a point.
std::string FILine(const FIPoint& point);

}  // namespace membrix
