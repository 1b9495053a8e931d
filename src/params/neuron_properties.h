#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "channels/neuroml_channel.h"

namespace membrix {

// All parameters of one single-neuron model, as one flat record.
//
// The program keeps its current set in the session (`NP0`); every neuron receives
// a copy when it is created and from then on reads only that copy. The record is a
// plain value: assignment copies every field, the texts included, so a copy never
// shares anything with its source.
//
// Every field starts at zero or empty. The defaults of a model family are written
// by the defaults code, not here, so that a freshly built record holds nothing that
// could be mistaken for a chosen value.
//
// Internal units: time s, voltage V, conductance density mS/cm², capacitance per
// area mF/cm² (1 µF/cm² is 0.001), area cm², concentration mM, temperature K. A
// conductance times a voltage is then a current density in mA/cm², and a current
// density times `Square`·1e9 is a current in pA. Windows show other units and
// convert where a value is entered.
struct NeuronProperties {
  // Model selectors. Compared as exact texts; any other text selects nothing.
  std::string HH_type;      // model family of the conductance-based neuron
  std::string HH_order;     // geometry: "1-point", "2-points", "2-p-MainenSejn", "2-p-ActiveDend"
  std::string Thr_type;     // threshold rule of the threshold neuron
  std::string Na_type;      // kinetics family of the Na channel
  std::string Na_subtype;   // variant of the Na kinetics
  std::string NaR_type;     // kinetics family of the resurgent Na channel
  std::string NaR_subtype;  // variant of the resurgent Na kinetics

  // Switches: 0 or 1 unless noted. A block flag multiplies its channel's open
  // fraction by (1 - flag).
  std::int32_t IfBlockNa{};
  std::int32_t IfBlockK{};
  std::int32_t IfBlockKM{};
  std::int32_t IfBlockKA{};
  std::int32_t IfBlockKD{};
  std::int32_t IfBlockPass{};  // leak current
  std::int32_t IfBlockNaR{};
  std::int32_t IfBlockNaP{};
  std::int32_t IfBlockH{};
  std::int32_t IfBlockADP{};
  std::int32_t IfBlockAHP{};
  std::int32_t IfBlockCaT{};
  std::int32_t IfBlockCaH{};
  std::int32_t IfBlockKCa{};
  std::int32_t ThrModel{};            // 1 = threshold neuron
  std::int32_t LIF_model{};           // 1 = integrate-and-fire neuron (wins over ThrModel)
  std::int32_t EIF_SpikeDependent{};  // 1 = spike-dependent EIF parameters
  std::int32_t IfSet_gL_or_tau{};     // 1 = gL given, tau_m follows; 2 = tau_m given, gL follows
  std::int32_t IfSet_VL_or_Vrest{};   // 1 = VL given, Vrest follows; 2 = Vrest given, VL follows
  std::int32_t If_I_V_or_g{};         // clamp mode of a run, 1 ... 11
  std::int32_t If_Slow_Na_inactivation{};   // Na channels use their slow gate ii
  std::int32_t If_Slow_NaR_inactivation{};  // resurgent Na channels use iiR

  // Spike reset and threshold. Values "after a spike" are imposed by the spike
  // reset; "jumps" move a gate toward 1, "relative jumps" scale it. Times in s,
  // voltages in V, gates dimensionless.
  double n_AP{};
  double yK_AP{};
  double nA_AP{};
  double lA_AP{};
  double dT_AP{};     // s: the threshold neuron is not integrated this long after a spike
  double tADP{};      // s: time constant of the ADP gate
  double dwADP{};
  double dwAHP{};
  double dlAHP{};
  double dnM{};
  double dzM{};
  double dnKCa{};
  double dyD{};
  double nH_AP{};
  double xD_AP{};
  double dii{};
  double ThrShift{};  // V, added to every threshold rule
  double FixThr{};    // V above rest; <= 0 selects the table rule
  double dThr_dts{};  // V·s: refractory term dThr_dts / (time since spike)
  double k_a{};       // V: slope factor of the "Brette" rule
  double tau_Thr{};   // s: relaxation time of the dynamic threshold
  double Vthr_AP{};   // V: dynamic threshold right after a spike
  double dVTdV{};     // slope of the dynamic threshold on depolarisation above rest
  double DepBlock{};  // depolarisation-block level of the "Dyn. thr.-2" rule
  double Vreset{};    // V: soma voltage after a spike
  double VresetDend{};  // V: dendritic voltage after a spike
  double tau_abs{};   // s: absolute refractory time of the integrate-and-fire neuron

  // Adaptive exponential integrate-and-fire.
  double EIF_deltaT{};  // V; <= 0 switches the exponential off
  double EIF_tauw{};    // s; <= 0 freezes the adaptation current w
  double EIF_a{};       // mS/cm²: subthreshold adaptation conductance density
  double EIF_dw{};      // mA/cm²: jump of w at each spike
  double EIF_VT{};      // V: threshold voltage of the exponential

  // Passive membrane and geometry.
  double gL{};      // mS/cm²
  double VL{};      // V
  double Square{};  // cm², somatic membrane area
  double tau_m{};   // s
  double ro{};      // dendritic / somatic conductance (two compartments)
  double l{};       // electrotonic length parameter of the dendrite
  double Vrest{};   // V
  double Cm{};      // mF/cm²
  double VLd{};     // V, dendritic leak reversal
  double gLd{};     // mS/cm², dendritic leak

  // Maximal conductance densities, mS/cm².
  double gNa{};
  double gNaR{};
  double gK{};
  double gKM{};
  double gKA{};
  double gKD{};
  double gCaH{};
  double gKCa{};
  double gADP{};
  double gAHP{};
  double gCaT{};
  double gBst{};
  double gNaP{};
  double gH{};

  // Reversal potentials, V.
  double VNa{};
  double VNaR{};
  double VK{};
  double VKn{};    // delayed-rectifier K channels
  double VKM{};
  double VKD{};
  double VH{};
  double VADP{};
  double VCa{};    // Ca reversal of the White Ca and AHP channels
  double VAHP{};   // VK + dVAHP
  double dVAHP{};

  // Kinetic coefficients. The rate functions work in mV and ms; a..d are the four
  // coefficients of alpha_m, beta_m, alpha_h, beta_h.
  double a1Na{}, a2Na{}, a3Na{}, a4Na{};
  double b1Na{}, b2Na{}, b3Na{}, b4Na{};
  double c1Na{}, c2Na{}, c3Na{}, c4Na{};
  double d1Na{}, d2Na{}, d3Na{}, d4Na{};
  double a1NaR{}, a2NaR{}, a3NaR{}, a4NaR{};
  double b1NaR{}, b2NaR{}, b3NaR{}, b4NaR{};
  double c1NaR{}, c2NaR{}, c3NaR{}, c4NaR{};
  double d1NaR{}, d2NaR{}, d3NaR{}, d4NaR{};
  double a1K{}, a2K{}, a3K{};  // alpha_n
  double b1K{}, b2K{}, b3K{};  // beta_n
  double Tr_Na{};          // mV: voltage offset of the Na rate functions
  double Tr_NaR{};         // mV: the same for the resurgent Na channel
  double NaThreshShift{};  // mV: shift of the Na kinetics along the voltage axis
  double KThreshShift{};   // mV: shift of some K rate functions
  // Cooperativity of the Naundorf Na channel; a refractory term in the threshold neuron.
  double KJ_NaCooperativity{};
  double tauKM2{};         // divisor of both rates of the Lyle KM gate nM

  // Ions, physical constants and terms written in from outside.
  double FRT{};         // F/(R·T)/1000, per mV; derived when a neuron is initialised
  double Ca_rest{};     // mM, resting intracellular Ca
  double Ca0{};         // mM, extracellular Ca
  double Ca_depth{};    // cm, depth of the submembrane Ca shell
  double tauCa{};       // s, Ca removal time constant
  double R_gas{};       // J/(mol·K)
  double Temp{};        // K
  double TempFactor{};  // kinetic temperature factor, written by each channel's Init
  double F_Faraday{};   // C/mol
  double Mg{};          // mM, extracellular Mg for the NMDA block
  double E_NMDA{};      // V
  double Ipump{};       // mA/cm², somatic pump current (0 without ion dynamics)
  double IpumpDend{};   // mA/cm², dendritic pump current

  // Channels read from NeuroML files, carrying current beside the family's
  // own in the conductance-based neuron (at most kMaxImportedChannels, with
  // kMaxImportedGates gates in all).
  std::vector<ImportedChannel> Imported;
};

}  // namespace membrix
