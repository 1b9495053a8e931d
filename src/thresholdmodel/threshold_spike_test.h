#pragma once
// The spike test of the procedural threshold and integrate-and-fire models:
// a spike is declared when the voltage exceeds the model's absolute threshold.

#include <cstdint>

#include "params/neuron_properties.h"

namespace membrix {

struct Session;

// Tests V against the absolute threshold (V) at the session's time t. Declares a
// spike by setting SpikePhase to 2 and updating tLastSpike and s.spikes.ISI[0],
// and returns whether it did. A SpikePhase of 2 from the previous step is
// cleared: the mark of a spike lasts one step. Unless np.HH_type is "Passive", a
// crossing within dT_AP of the last spike, or with d2Vdt2 >= 1000 V/s², is no spike.
bool ThresholdSpikeTest(Session& s, const NeuronProperties& np, double& tLastSpike, std::int32_t& SpikePhase,
                        double V, double threshold, double d2Vdt2);

}  // namespace membrix
