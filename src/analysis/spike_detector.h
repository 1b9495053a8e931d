#pragma once
// The spike detector every run uses: a spike is the interpolated peak of a
// voltage that rose above the spike-start level; between spikes a few
// subthreshold and spike-shape measures are gathered.
//
// The detector is a small state machine on the neuron's SpikePhase:
//   0 idle; 1 above the spike-start level and rising; 2 a spike was detected at
//   this step (the mark lasts one step); 3 the downstroke has just crossed the
//   width level (set by the bookkeeping, cleared at its next call).
// For 1 ms after a spike the phase is held at 0, so a second maximum on the
// same spike is not counted; and, by default, no new spike starts until the
// voltage has fallen back to the spike-start level, so noise riding on a slow
// downstroke is not counted as spikes either (each spike is one upward crossing
// of the level). Threshold and integrate-and-fire neurons mark
// their spikes themselves; the detector then only reads their interval.

#include <array>
#include <cstdint>

#include "neuron/neuron.h"

namespace membrix {

struct Session;

// When the detector takes a new spike after one (and 1 ms has passed).
enum class SpikeRearm : std::int32_t {
  // Once V has fallen back to the spike-start level, or has risen 10 mV above
  // its lowest point since the spike (spikes riding on a plateau above the
  // level, as in a burst): noise on a slow downstroke is not a spike.
  AfterFall = 0,
  AfterBlanking = 1,  // 1 ms after the spike wherever V is: the older rule, kept for stored results
};

// The rise above the lowest voltage since a spike that re-arms the detector
// while the voltage stays above the spike-start level (V).
inline constexpr double kRearmRise = 0.010;

// Voltage criteria of the detector (V), entered in mV in the "Voltage limits" group.
struct SpikeCriteria {
  double StartLevel = -0.030;  // "Start of spike, mV"
  double VavLimit = -0.015;    // "Limit for Vav, mV"
  double avPSCLevel = -0.040;  // "Level for avPSC, mV"
  double WidthLevel = -0.020;  // "Level for WidthAP, mV"
  SpikeRearm rearm = SpikeRearm::AfterFall;
};

// Spike bookkeeping shared by runs and analyses. Voltages in V, times in s.
struct SpikeStats {
  double Freq = 0.0;           // spikes divided by t, Hz
  std::int32_t nSpikes = 0;    // spikes counted in this run
  std::array<double, 11> ISI{};  // ISI[0]: last interval; 1..10 for the adaptation sweep
  double VPeak = 0.0;          // interpolated peak of the last spike
  double VPeakLast = 0.0;      // VPeak as taken at the spike
  double VMaxAv = 0.0;         // mean over spikes of the highest sample of each spike
  double Vav = 0.0;            // mean subthreshold voltage since the last spike
  double VavLast = 0.0;        // the same for the previous interval
  double VFilt = 0.0;          // V low-pass filtered with tau_m, restarted at Vrest at a spike
  double VFiltLast = 0.0;      // its value at the last spike
  double avPSC = 0.0;          // mean extra conductance (mS/cm²) near the avPSC level
  double avPSCLast = 0.0;      // the same for the previous interval
  double VTrough = 1000000.0;  // lowest V since the last spike; 1000000 right after one
  double VTroughLast = 0.0;
  double VTroughAv = 0.0;      // mean trough over spikes
  double tUp = 0.0;            // upward crossing of the width level
  double tDown = 0.0;          // downward crossing of the width level
  double WidthAP = 0.0;        // tDown - tUp
  double VRef = 0.0;           // reference voltage the caller keeps up to date
  double ThAtSpike = 0.0;      // VRef - Vrest at the last spike
  std::int32_t VavCount = 0;   // samples in Vav
  std::int32_t avPSCCount = 0; // samples in avPSC
};

// Clears what a new run starts without: the rate, the count, the intervals and
// every per-spike and per-interval measure. VRef is the caller's and is kept.
void ResetSpikeStats(SpikeStats& stats);

// Interpolates the peak of the three samples Va, Vb, Vc taken at t - 2dt, t - dt
// and t. When Vb is above both neighbours, writes the vertex voltage to
// s.spikes.VPeak and returns its time offset from t (s, negative); otherwise
// returns 0 and leaves VPeak as it is.
double ParabolaPeak(Session& s, double Va, double Vb, double Vc);

// The detector on a neuron object, once per step after its Step. Updates
// NV.SpikePhase and, at a spike, NV.tLastSpike (the interpolated peak time),
// NV.ISI and s.spikes.ISI[0].
void DetectSpike(Session& s, TNeuron& neuron);

// The detector on explicit state values of the procedural neuron, whose
// parameters are np. rearm is what it keeps between spikes (cleared at the
// start of a run). threshold is the absolute threshold (Vrest + VThr) that
// the threshold and integrate-and-fire models test against; the voltage state
// machine ignores it. At a spike tLastSpike and s.spikes.ISI[0] are updated.
void DetectSpikeIn(Session& s, const NeuronProperties& np, double& tLastSpike, std::int32_t& SpikePhase,
                   SpikeRearmState& rearm, double threshold, double d2Vdt2, double dVdt, double V);

// Puts the detector's memory as a spike at voltage V leaves it.
void StartRearmWait(const Session& s, SpikeRearmState& rearm, double V);

// Whether the per-step bookkeeping runs the detector itself, or uses the
// detection its caller has already made at this step (the clamp run detects
// right after the neuron's step and keeps the bookkeeping for the end of it).
enum class DetectorPass { Run, AlreadyRun };

// The detector with the per-step bookkeeping (rate, count and the measures of
// SpikeStats), once per step after the neuron's Step.
void TrackSpikes(Session& s, TNeuron& neuron, DetectorPass pass = DetectorPass::Run);

// The same on a state record of the procedural neuron with parameters np; the
// phase is the record's own SpikePhase.
void TrackSpikesIn(Session& s, const NeuronProperties& np, NeuronVariables& nv);

// The adaptation sweep's bookkeeping on the procedural state s.NV0: counts the
// spikes and puts the first ten spike times, as differences, into ISI[1..10]:
// ISI[1] is the time of the first spike, ISI[k] the (k-1)-th interval.
void TrackAdaptation(Session& s);

}  // namespace membrix
