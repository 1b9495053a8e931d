#include "analysis/spike_detector.h"

#include "run/session.h"

namespace membrix {

void ResetSpikeStats(SpikeStats& stats) {
  stats.Freq = 0.0;
  stats.VMaxAv = 0.0;
  stats.ISI[0] = 0.0;
  stats.WidthAP = 0.0;
}

// The detector's state machine comes with its own change.
void DetectSpike(Session& s, TNeuron& neuron) { (void)s, (void)neuron; }
void TrackSpikes(Session& s, TNeuron& neuron) { (void)s, (void)neuron; }

}  // namespace membrix
