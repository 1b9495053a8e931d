#pragma once

#include <array>
#include <cstdint>

#include "channels/neuroml_channel.h"

namespace membrix {

// What the spike detector keeps between spikes besides the phase: after a
// spike it waits until the voltage has fallen back to the spike-start level,
// or has risen well above its lowest point since (a spike riding on a
// plateau); no new spike starts meanwhile.
struct SpikeRearmState {
  std::int32_t waiting = 0;
  double lowest = 0.0;  // V: the lowest voltage since the spike, while waiting
};

// The state of one neuron: voltages, gates, channel currents and spike bookkeeping.
//
// Voltages in V, times in s, current densities in mA/cm², conductance densities in
// mS/cm²; gates are dimensionless fractions. A plain value, every field zero at
// construction.
struct NeuronVariables {
  // 0 idle, 1 rising above the spike-start level, 2 spike at this step,
  // 3 downstroke past the width level.
  std::int32_t SpikePhase{};

  double V{};          // soma membrane voltage
  double gSum{};       // sum of g·(open fraction) over the (somatic) channels
  double gSumDend{};   // the same over the dendritic channels of "2-p-ActiveDend"
  double Ca{};         // mM, submembrane Ca
  double Vprev{};      // V at the start of the step
  double Iion{};       // ionic drive: -(channel currents) - leak + injected; -Iion is "Im"
  double IionDend{};   // dendritic ionic drive of "2-p-ActiveDend"
  double IionCopy{};   // Iion as computed at the start of the step
  double PSC{};        // pA, membrane current seen by a voltage clamp
  double Isyn{};       // total input current density of the step
  double Iind{};       // pA, injected current
  double IsynDend{};   // input at the dendrite
  double IsynSoma{};   // input at the soma
  double IsynDendPrev{};
  double IsynSomaPrev{};
  double IdendIn{};    // effective dendritic input of "2-points"
  double gNMDAeff{};   // gNMDA times the Mg block
  double VatE{};       // dendritic compartment voltage (V itself in "1-point")
  double dVdt{};       // V/s
  double d2Vdt2{};     // V/s²
  double VThr{};       // spike threshold relative to Vrest
  double tLastSpike{};
  double ISI{};

  // Gates.
  double mmR{}, hhR{}, iiR{};  // resurgent Na
  // Na activation, delayed-rectifier K activation, Na inactivation, Na slow inactivation.
  double mm{}, nn{}, hh{}, ii{};
  double yK{};                 // second gate of the K channel
  double nM{}, zM{};           // KM
  double nA{}, lA{};           // KA activation, inactivation
  double nH{};                 // H
  double mCaH{}, hCaH{}, kCaH{};  // high-threshold Ca
  double nKCa{};
  double wADP{};
  double wAHP{}, lAHP{};
  double mCaT{}, hCaT{};       // low-threshold Ca
  double mBst{};
  double mNaP{};
  double xD{}, yD{};           // KD

  // Channel current densities of the step.
  double INaR{}, INa{}, IK{}, IKM{}, IKA{}, IKD{}, ICaH{}, IKCa{}, IADP{}, IAHP{}, ICaT{},
      IBst{}, INaP{}, IH{};
  double IKsum{};   // all K-type currents
  double IL{};      // leak current
  double VThrDyn{};  // dynamic threshold
  double wEIF{};    // adaptation current of the integrate-and-fire neuron

  // Occupancies of the states of the multi-state sodium schemes. The schemes number
  // their states from 1, so entry i is state i (i = 1 ... 26) and entry 0 is unused.
  std::array<double, 27> pNa{};
  std::array<double, 27> pNaR{};

  // The spike detector's memory between spikes (beside the record's fields).
  SpikeRearmState Rearm{};

  // The gates of the imported channels, channel after channel in the order
  // of the record's list, and each channel's current (mA/cm², outward).
  std::array<double, kMaxImportedGates> ImportedGates{};
  std::array<double, kMaxImportedChannels> IImported{};

  // The "Lyle-VT(h)" Na variant keeps its threshold variable zVT in state 13's slot.
  double& zVT() { return pNa[13]; }
  double zVT() const { return pNa[13]; }
};

}  // namespace membrix
