#include "analysis/spike_detector.h"

#include <algorithm>
#include <cmath>

#include "run/session.h"
#include "thresholdmodel/threshold_spike_test.h"

namespace membrix {

namespace {

constexpr double kBlankingTime = 0.001;  // s after a spike in which no new spike can start
constexpr double kNoTrough = 1000000.0;  // VTrough right after a spike: nothing sampled yet
constexpr double kVavSettleTime = 0.002;  // s after a spike before V counts as subthreshold
constexpr double kVavMaxSlope = 5.0;      // V/s: faster voltages are not part of Vav
constexpr double kAvPSCBand = 0.001;      // V: avPSC samples V in (level - band, level)

// Threshold and integrate-and-fire neurons declare their spikes by their own rule.
bool MarksOwnSpikes(const NeuronProperties& np) { return np.ThrModel == 1 || np.LIF_model == 1; }

// The voltage state machine of both detector forms. Returns true at a spike and
// then gives the interval to the spike before in isi.
bool VoltageSpikeTest(Session& s, double& tLastSpike, std::int32_t& SpikePhase, SpikeRearmState& rearm,
                      double d2Vdt2, double dVdt, double V, double& isi) {
  const double t = s.run.t;
  const double dt = s.run.dt;
  if (SpikePhase == 2 || t < tLastSpike + kBlankingTime) SpikePhase = 0;
  if (V <= s.criteria.StartLevel) {
    rearm.waiting = 0;
    return false;
  }
  const double Vb = V - dt * dVdt;                  // one step back
  const double Va = dt * dt * d2Vdt2 - V + 2.0 * Vb;  // two steps back
  if (rearm.waiting != 0) {
    // Still on the last spike, unless the voltage climbs well above its
    // lowest point since: a new spike on a plateau.
    rearm.lowest = std::min(rearm.lowest, V);
    if (!(V > Vb && V - rearm.lowest >= kRearmRise)) return false;
    rearm.waiting = 0;
  }
  if (V > Vb) {
    SpikePhase = 1;
    return false;
  }
  if (SpikePhase != 1) return false;
  // The first step past the maximum: the spike is at the interpolated peak.
  SpikePhase = 2;
  const double tSpike = t + ParabolaPeak(s, Va, Vb, V);
  isi = std::min(tSpike - tLastSpike, tSpike);  // the first interval of a run is the first spike's time
  s.spikes.ISI[0] = isi;
  tLastSpike = tSpike;
  StartRearmWait(s, rearm, V);
  return true;
}

// Keeps Freq*t equal to the spike count as t advances by one step.
void AgeRate(Session& s) {
  const std::int64_t nt = s.run.nt;
  if (nt > 0) s.spikes.Freq *= static_cast<double>(nt - 1) / static_cast<double>(nt);
}

// Running mean of n samples, the n-th being x.
double AddToMean(double mean, double n, double x) { return (mean * (n - 1.0) + x) / n; }

// The per-step bookkeeping around one detection.
template <class Detect>
void Track(Session& s, const NeuronProperties& np, NeuronVariables& nv, Detect detect) {
  SpikeStats& st = s.spikes;
  const SpikeCriteria& c = s.criteria;
  const double t = s.run.t;
  const double dt = s.run.dt;

  if (nv.SpikePhase == 3) nv.SpikePhase = 0;
  AgeRate(s);
  detect();
  const double V = nv.V;

  if (nv.SpikePhase == 2) {
    if (t > 0.0) st.Freq = (st.Freq * t + 1.0) / t;
    const double n = st.nSpikes + 1.0;  // the spikes of this run, this one included
    st.VMaxAv = AddToMean(st.VMaxAv, n, nv.Vprev);
    st.VPeakLast = st.VPeak;
    st.VavCount = 0;
    st.avPSCCount = 0;
    if (st.Vav != 0.0) st.VavLast = st.Vav;
    st.Vav = 0.0;
    if (st.VFilt != 0.0) st.VFiltLast = st.VFilt;
    st.VFilt = np.Vrest;
    if (st.avPSC != 0.0) st.avPSCLast = st.avPSC;
    st.avPSC = 0.0;
    if (st.VTrough != kNoTrough) {
      st.VTroughAv = AddToMean(st.VTroughAv, n, st.VTrough);
      st.VTroughLast = st.VTrough;
      st.VTrough = kNoTrough;
    }
    st.ThAtSpike = st.VRef - np.Vrest;
    ++st.nSpikes;
  } else if (t - nv.tLastSpike > 0.0) {
    // Between spikes.
    if (V < c.VavLimit && t - nv.tLastSpike > kVavSettleTime && std::abs(nv.dVdt) < kVavMaxSlope) {
      ++st.VavCount;
      st.Vav = AddToMean(st.Vav, st.VavCount, V);
    }
    if (np.tau_m > 0.0) st.VFilt += dt / np.tau_m * (V - st.VFilt);
    // The extra conductance: the membrane current beyond the leak, per volt of
    // depolarisation from rest, sampled just below the avPSC level.
    const double L = c.avPSCLevel;
    const double area = np.Square * 1e9;
    if (L - kAvPSCBand < V && V < L && nv.PSC > 0.0 && area > 0.0 && V != np.Vrest) {
      ++st.avPSCCount;
      st.avPSC = AddToMean(st.avPSC, st.avPSCCount, nv.PSC / area / (V - np.Vrest) - np.gL);
    }
    st.VTrough = std::min(V, st.VTrough);
  }

  // Spike width at the width level, each crossing interpolated within its step.
  const double W = c.WidthLevel;
  if (nv.SpikePhase == 1 && V > W && nv.Vprev < W) {
    st.tUp = (t - dt) + (W - nv.Vprev) / nv.dVdt;
  } else if (nv.SpikePhase == 0 && V < W && nv.Vprev > W) {
    st.tDown = t - dt;
    if (nv.dVdt != 0.0) st.tDown += (W - nv.Vprev) / nv.dVdt;
    st.WidthAP = st.tDown - st.tUp;
    nv.SpikePhase = 3;
  }
}

}  // namespace

void StartRearmWait(const Session& s, SpikeRearmState& rearm, double V) {
  rearm.waiting = s.criteria.rearm == SpikeRearm::AfterFall ? 1 : 0;
  rearm.lowest = V;
}

void ResetSpikeStats(SpikeStats& stats) {
  const double vRef = stats.VRef;
  stats = SpikeStats{};
  stats.VRef = vRef;
}

double ParabolaPeak(Session& s, double Va, double Vb, double Vc) {
  if (!(Vb > Vc && Vb > Va)) return 0.0;
  const double dt = s.run.dt;
  const double g = (Va - Vc) - 4.0 * (Vb - Vc);
  const double h = (Va - Vc) - 2.0 * (Vb - Vc);
  const double r = -dt * g / (2.0 * h);
  s.spikes.VPeak = Vc + (g / (2.0 * dt)) * r / 2.0;
  return r;
}

void DetectSpike(Session& s, TNeuron& neuron) {
  NeuronVariables& nv = neuron.NV;
  if (MarksOwnSpikes(neuron.NP)) {
    s.spikes.ISI[0] = nv.ISI;
    return;
  }
  double isi = 0.0;
  if (VoltageSpikeTest(s, nv.tLastSpike, nv.SpikePhase, nv.Rearm, nv.d2Vdt2, nv.dVdt, nv.V, isi)) nv.ISI = isi;
}

void DetectSpikeIn(Session& s, const NeuronProperties& np, double& tLastSpike, std::int32_t& SpikePhase,
                   SpikeRearmState& rearm, double threshold, double d2Vdt2, double dVdt, double V) {
  if (MarksOwnSpikes(np)) {
    ThresholdSpikeTest(s, np, tLastSpike, SpikePhase, V, threshold, d2Vdt2);
    return;
  }
  double isi = 0.0;
  VoltageSpikeTest(s, tLastSpike, SpikePhase, rearm, d2Vdt2, dVdt, V, isi);
}

void TrackSpikes(Session& s, TNeuron& neuron, DetectorPass pass) {
  Track(s, neuron.NP, neuron.NV, [&] {
    if (pass == DetectorPass::Run) DetectSpike(s, neuron);
  });
}

void TrackSpikesIn(Session& s, const NeuronProperties& np, NeuronVariables& nv) {
  Track(s, np, nv, [&] {
    DetectSpikeIn(s, np, nv.tLastSpike, nv.SpikePhase, nv.Rearm, np.Vrest + nv.VThr, nv.d2Vdt2, nv.dVdt, nv.V);
  });
}

void TrackAdaptation(Session& s) {
  NeuronVariables& nv = s.NV0;
  SpikeStats& st = s.spikes;
  AgeRate(s);
  DetectSpikeIn(s, s.NP0, nv.tLastSpike, nv.SpikePhase, nv.Rearm, s.NP0.Vrest + nv.VThr, nv.d2Vdt2, nv.dVdt, nv.V);
  if (nv.SpikePhase != 2) return;
  ++st.nSpikes;
  if (st.nSpikes > 10) return;
  // The step time, not the interpolated peak: slot k holds the k-th spike time
  // minus the earlier ones, i.e. the first spike's time and then the intervals.
  double earlier = 0.0;
  for (std::int32_t k = 1; k < st.nSpikes; ++k) earlier += st.ISI[k];
  st.ISI[st.nSpikes] = s.run.t - earlier;
}

}  // namespace membrix
