#include "thresholdmodel/threshold_spike_test.h"

#include "neuron/numerics.h"
#include "run/session.h"

namespace membrix {

bool ThresholdSpikeTest(Session& s, const NeuronProperties& np, double& tLastSpike, std::int32_t& SpikePhase,
                        double V, double threshold, double d2Vdt2) {
  if (SpikePhase == 2) SpikePhase = 0;  // the mark of a spike lasts one step
  if (V <= threshold) return false;
  const double t = s.run.t;
  // Unless the membrane is passive, a crossing counts only once the spike
  // duration has passed and the voltage is not curving up steeply.
  if (np.HH_type != "Passive" && !((t - tLastSpike > np.dT_AP && d2Vdt2 < 1000.0) || t == tLastSpike)) {
    return false;
  }
  SpikePhase = 2;
  if (t != tLastSpike) s.spikes.ISI[0] = MinD(t - tLastSpike, t);  // the first interval is t itself
  tLastSpike = t;
  return true;
}

}  // namespace membrix
