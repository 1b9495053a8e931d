#pragma once
// The spike detector every run uses: a spike is the interpolated peak of a
// voltage that rose above the spike-start level; between spikes a few
// subthreshold and spike-shape measures are gathered.

#include <array>
#include <cstdint>

#include "neuron/neuron.h"

namespace membrix {

struct Session;

// Voltage criteria of the detector (V).
struct SpikeCriteria {
  double StartLevel = -0.030;  // "Start of spike, mV"
  double VavLimit = -0.015;    // "Limit for Vav, mV"
  double avPSCLevel = -0.040;  // "Level for avPSC, mV"
  double WidthLevel = -0.020;  // "Level for WidthAP, mV"
};

// Spike bookkeeping shared by runs and analyses.
struct SpikeStats {
  double Freq = 0.0;           // spikes divided by t, Hz
  std::int32_t nSpikes = 0;
  std::array<double, 11> ISI{};  // ISI[0]: last interval; 1..10 for the adaptation sweep
  double VPeak = 0.0;
  double VPeakLast = 0.0;
  double VMaxAv = 0.0;
  double Vav = 0.0;
  double VavLast = 0.0;
  double VFilt = 0.0;
  double VFiltLast = 0.0;
  double avPSC = 0.0;
  double avPSCLast = 0.0;
  double VTrough = 1000000.0;
  double VTroughLast = 0.0;
  double VTroughAv = 0.0;
  double tUp = 0.0;
  double tDown = 0.0;
  double WidthAP = 0.0;
  double VRef = 0.0;
  double ThAtSpike = 0.0;
  std::int32_t VavCount = 0;
  std::int32_t avPSCCount = 0;
};

// Clears what a new run starts without.
void ResetSpikeStats(SpikeStats& stats);

// The detector on a neuron object, once per step after its Step.
void DetectSpike(Session& s, TNeuron& neuron);
// The detector with the per-step bookkeeping.
void TrackSpikes(Session& s, TNeuron& neuron);

}  // namespace membrix
