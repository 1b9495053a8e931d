#pragma once
// The stimulus preview: the protocol of a clamp run evaluated over the whole
// run, step by step as the run would apply it, without a neuron: the injected
// current, the dendritic input current u and conductance s against time.

#include "run/host.h"

namespace membrix {

struct Session;

class StimulusPreviewSink {
 public:
  virtual ~StimulusPreviewSink() = default;
  virtual void Clear() {}
  // The pulse window, ms.
  virtual void PulseWindow(double startMs, double endMs) { (void)startMs, (void)endMs; }
  // At t (ms): the injected current (pA), u (muA/cm^2) and s (nS).
  virtual void Sample(double tMs, double Iinj, double u, double sDend) { (void)tMs, (void)Iinj, (void)u, (void)sDend; }
};

// Steps i = 1 ... nt_end (at least one) at t = i dt, from the state a run
// starts in and with the noise the next run will draw: the protocol's own state
// and the random generator are as before afterwards; the time t is left at the
// end of the run.
void PreviewStimulus(Session& s, Host& host, StimulusPreviewSink& sink);

}  // namespace membrix
