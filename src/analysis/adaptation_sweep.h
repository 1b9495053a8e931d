#pragma once
// Adaptation: the injected current Iind is swept from 0 to Iind_max; at each
// current the procedural neuron fires from rest and the reciprocals of its
// first five inter-spike intervals are measured. One line per current goes to
// "adaptation(I).dat". The currents run in parallel (independent runs); the
// caller's session is left as it was.

#include <array>
#include <cstdint>
#include <string>

#include "run/host.h"
#include "run/independent_runs.h"

namespace membrix {

struct Session;

// The inputs of the adaptation window. Currents in pA.
struct AdaptationInputs {
  double Iind_max = 400.0;  // " Iind_max, pA "
  double StepIind = 8.0;    // " Step for Iind   "
};

inline constexpr const char* kAdaptationFileName = "adaptation(I).dat";

struct AdaptationPoint {
  double Iind = 0.0;               // pA
  std::array<double, 5> rate{};    // 1/ISI_1 ... 1/ISI_5, Hz (1e-6 for an interval that did not occur)
};

class AdaptationSink {
 public:
  virtual ~AdaptationSink() = default;
  virtual void Point(const AdaptationPoint& point) = 0;
  virtual void Progress(std::int64_t done, std::int64_t total) { (void)done, (void)total; }
};

// One current on the procedural neuron of s, from rest, for t_end or until the
// voltage leaves -0.15 ... 0.15 V. A stop on host throws RunStopped.
AdaptationPoint AdaptationRun(Session& s, double Iind, const Host* host = nullptr);

RunsOutcome SweepAdaptation(Session& s, const AdaptationInputs& in, Host& host, AdaptationSink& sink,
                            const std::string& file = kAdaptationFileName);

std::string AdaptationLine(const AdaptationPoint& point);

}  // namespace membrix
