#include "neuron/lif_neuron.h"

#include <string>

#include "neuron/numerics.h"
#include "neuron/threshold_rules.h"

namespace membrix {

void TLIFNrn::InitState() {
  NV.V = NP.Vrest;
  NP.VL = NP.Vrest;  // whatever IfSet_VL_or_Vrest says
  NV.VThrDyn = NP.FixThr + NP.ThrShift;
  NV.wEIF = 0.0;
  NV.SpikePhase = 0;
  NV.tLastSpike = -888.0;
  NV.VThr = 100.0;
  if (NP.IfSet_gL_or_tau == 2) {
    NP.gL = NP.Cm / NP.tau_m;
  } else {
    NP.tau_m = NP.Cm / NP.gL;
  }
}

void TLIFNrn::CheckSpike() {
  NV.SpikePhase = 0;
  if (NV.V <= NP.Vrest + NV.VThr) return;
  const double now = t();
  NV.SpikePhase = 2;
  if (now != NV.tLastSpike) NV.ISI = MinD(now - NV.tLastSpike, now);  // the first interval is t itself
  NV.tLastSpike = now;
}

void TLIFNrn::Step(double uDend, double sDend, double uSoma, double sSoma, double gNMDA, double Iext,
                   double Vclamp) {
  (void)gNMDA, (void)Vclamp;
  const double now = t();
  const double h = dt();
  NV.Vprev = NV.V;
  NV.VThr = DefaultThreshold(NP, now - NV.tLastSpike, NV.dVdt);  // with the previous step's rate of rise
  CheckSpike();
  const bool spike = NV.SpikePhase == 2;
  if (spike) {
    NV.V = NP.Vreset;
    NV.wEIF += NP.EIF_dw;
  }

  double gLe = NP.gL;
  double VLe = NP.VL;
  double VTe = NP.EIF_VT;
  NV.Iion = 0.0;
  if (NP.EIF_deltaT > 0.0) {
    if (NP.EIF_SpikeDependent == 1) {
      // Leak and threshold voltage relax back after the spike (r in ms); long
      // after a spike, and before the first one, the terms vanish.
      const double r = (now - NV.tLastSpike) * 1000.0;
      VLe = NP.VL + 0.0498 * SafeExp(-r / 32.8) - 0.0427 * SafeExp(-r / 42.9);
      gLe = NP.gL * (1.0 + 50.0 * NP.tau_m * SafeExp(-r / 20.0));
      VTe = NP.EIF_VT + 0.0184 * SafeExp(-r / 14.0);
    }
    if (NP.EIF_tauw > 0.0) NV.wEIF += h / NP.EIF_tauw * ((NV.V - NP.VL) * NP.EIF_a - NV.wEIF);
    NV.Iion = SafeExp((NV.V - VTe) / NP.EIF_deltaT) * gLe * NP.EIF_deltaT - NV.wEIF;
  }
  const double Iin = uDend + uSoma - (sDend + sSoma) * (NV.V - Vus());
  NV.Iion = NV.Iion - (NV.V - VLe) * gLe + Iext;

  NV.dVdt = 0.0;
  if (NV.tLastSpike + NP.tau_abs < now || AbsValue(NV.tLastSpike) < 0.001) {  // not refractory
    NV.dVdt = (NV.Iion + Iin) / NP.Cm;
    NV.V += h * NV.dVdt;
    // Held just above the threshold, so that the next step marks the spike.
    if (NV.V > NP.Vrest + NV.VThr) NV.V = NP.Vrest + NV.VThr + 0.001;
  }
  NV.PSC = (Iin + NV.Iion) * NP.Square * 1e9;

  // The dynamic threshold follows the depolarisation; a non-positive relaxation
  // time makes it follow at once instead of dividing by zero.
  const double target = MaxD(NV.V - NP.Vrest, 0.0) * NP.dVTdV + 0.01 + NP.ThrShift;
  NV.VThrDyn = NP.tau_Thr > 0.0 ? NV.VThrDyn + h / NP.tau_Thr * (target - NV.VThrDyn) : target;
  if (spike) NV.VThrDyn = NP.Vthr_AP;
}

namespace {

void RequirePositive(double value, const char* name, const char* preset) {
  if (!(value > 0.0)) {
    throw RangeError(std::string(preset) + " needs a positive " + name + ", not " + std::to_string(value));
  }
}

}  // namespace

void SetBretteDefaults(NeuronProperties& np) {
  // The adaptation is given for the whole cell (nS, nA): without an area it
  // would be infinite.
  RequirePositive(np.Square, "membrane area Square", "\"defaults [Brette 2005]\"");
  np.EIF_SpikeDependent = 0;
  np.EIF_VT = -0.0504;
  np.FixThr = 0.08;
  np.EIF_deltaT = 0.002;
  np.EIF_tauw = 0.144;
  np.EIF_a = 4.0 / np.Square / 1e6;      // 4 nS
  np.EIF_dw = 0.0805 / np.Square / 1e6;  // 0.0805 nA
}

void SetBadelDefaults(NeuronProperties& np) {
  RequirePositive(np.Cm, "membrane capacitance Cm", "\"defaults [Badel 2008]\"");
  np.EIF_SpikeDependent = 1;
  np.Square = 260.0 / np.Cm / 1e9;  // a cell of 260 pF
  np.Vrest = -0.057;
  np.tau_m = 0.0172;
  np.EIF_VT = -0.042;
  np.FixThr = 0.08;
  np.EIF_deltaT = 0.00151;
  np.EIF_tauw = 0.0;
  np.EIF_a = 0.0;
  np.EIF_dw = 0.0;
}

}  // namespace membrix
