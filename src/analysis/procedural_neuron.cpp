#include "analysis/procedural_neuron.h"

#include "channels/procedural/hh_canal.h"
#include "channels/procedural/rariza_kinetics.h"
#include "common/error.h"
#include "neuron/numerics.h"
#include "run/session.h"
#include "run/stimulus.h"
#include "thresholdmodel/threshold_model_step.h"

namespace membrix {

namespace {

bool IsVoltageClamp(std::int32_t mode) { return mode == 1 || mode == 3 || mode == 4 || mode == 5; }

// The channel currents of one step, or none for "Passive".
double ChannelCurrents(Session& s, ProceduralGlobals& g, bool everyGate) {
  if (!g.model.resolved) g.model = ResolveProcModel(s.NP0);
  if (g.model.family != ProcFamily::Passive) return ProcAdvanceCurrents(s, g, everyGate);
  NeuronVariables& nv = s.NV0;
  nv.INaR = nv.INa = nv.IK = nv.IKM = nv.IKA = nv.IKD = nv.ICaH = nv.ICaT = 0.0;
  nv.IKCa = nv.IH = nv.IAHP = nv.IBst = nv.INaP = 0.0;
  return 0.0;
}

void ThresholdModelBranch(Session& s) {
  NeuronVariables& nv = s.NV0;
  const double tSince = s.run.t - nv.tLastSpike;
  s.run.StartState.V = nv.V;
  ThresholdModelStep(s, nv.dVdt, nv.d2Vdt2, tSince);
  nv.V = s.run.StartState.V;
  nv.VThr = ThresholdFunction(s, tSince, s.NP0.ThrShift, nv.dVdt);
}

void IntegrateAndFireBranch(Session& s) {
  NeuronVariables& nv = s.NV0;
  std::int32_t spikeFlag = 0;
  if (nv.V > s.NP0.Vrest + nv.VThr) {
    nv.tLastSpike = s.run.t;
    spikeFlag = 2;
  }
  LIFStep(s, spikeFlag, nv.V, nv.dVdt);
  nv.VThr = ThresholdFunction(s, s.run.t - nv.tLastSpike, 0.0, nv.dVdt);
}

void ConductanceBasedBranch(Session& s, ProceduralGlobals& g, double oldDVdt) {
  const NeuronProperties& np = s.NP0;
  NeuronVariables& nv = s.NV0;
  const double dt = s.run.dt;
  const double V = nv.V;

  const double channels = ChannelCurrents(s, g, g.everyGate);
  const double leakReversal = g.model.family == ProcFamily::Passive ? np.Vrest : np.VL;
  // The injected current first: the reset generator it runs may set du_Reset.
  const double injected = InjectedCurrent(s, np);
  nv.Iion = MembraneIonic(channels, V, leakReversal, np, injected, s.stim.du_Reset);
  nv.Isyn = MembraneInput(s.stim.uu, s.stim.ss, s.stim.gNMDA, V, np);

  if (g.model.geometry == ProcGeometry::OnePoint) {
    nv.V = V + dt / np.Cm * (nv.Iion + nv.Isyn);
  } else if (g.model.geometry == ProcGeometry::TwoPoints) {
    // A passive dendrite: the input enters there, the channels sit at the soma.
    const double G = np.Cm / np.tau_m;
    const double R = G * np.ro;
    nv.IsynSomaPrev = nv.IsynSoma;
    nv.IsynSoma = nv.Isyn;
    nv.IsynDend = 0.0;
    nv.IdendIn = 0.5 * np.tau_m * (nv.IsynSoma - nv.IsynSomaPrev) / dt + 1.5 * nv.IsynSoma;
    const double Vd0 = nv.VatE;
    nv.VatE =
        Vd0 + dt / np.tau_m *
                  (-(Vd0 - np.Vrest) - (R / G + 2.0) * (Vd0 - V) + (2.0 / R) * nv.IdendIn - nv.IsynDend / G);
    nv.V = V + dt / np.tau_m * ((R / G) * (Vd0 - V) + nv.Iion / G + nv.IsynDend / G);
  }

  if (IsVoltageClamp(np.If_I_V_or_g)) nv.V = ClampVoltage(s, np, s.run.t);
  nv.dVdt = (nv.V - nv.Vprev) / dt;
  nv.d2Vdt2 = (nv.dVdt - oldDVdt) / dt;
  nv.PSC = (nv.Isyn + nv.Iion) * np.Square * 1e9;
}

// The leak conductance or the membrane time constant, whichever the record
// derives, from the active conductance at rest.
void DeriveLeak(NeuronProperties& np, double gActive) {
  if (np.IfSet_gL_or_tau == 2) {
    np.gL = np.Cm / np.tau_m - gActive;
  } else {
    np.tau_m = np.Cm / (gActive + np.gL);
  }
}

struct RestingDrive {
  double A;        // -(sum of the channel currents), mA/cm²
  double gActive;  // the channels' conductance sum, mS/cm²
};

// The currents at the present voltage without any input; none for "Passive" or
// an integrate-and-fire set.
RestingDrive RestingCurrents(Session& s, ProceduralGlobals& g) {
  double A = 0.0;
  if (s.NP0.LIF_model != 1) {
    A = -ChannelCurrents(s, g, true);
  }
  ProcConductanceSum(s);
  return {A, s.NV0.gSum};
}

}  // namespace

double ProcStepCurrents(Session& s, ProceduralGlobals& g) { return ProcAdvanceCurrents(s, g, true); }

void ProceduralStep(Session& s, ProceduralGlobals& g) {
  NeuronVariables& nv = s.NV0;
  nv.Vprev = nv.V;
  const double oldDVdt = nv.dVdt;
  if (s.NP0.ThrModel == 1) {
    ThresholdModelBranch(s);
  } else if (s.NP0.LIF_model == 1) {
    IntegrateAndFireBranch(s);
  } else {
    ConductanceBasedBranch(s, g, oldDVdt);
  }
}

void LIFStep(Session& s, std::int32_t spikeFlag, double& V, double& dVdt) {
  const NeuronProperties& np = s.NP0;
  NeuronVariables& nv = s.NV0;
  const double t = s.run.t;
  if (spikeFlag == 2) V = np.Vreset;
  nv.Isyn = s.stim.uu - s.stim.ss * (V - np.VK);
  dVdt = 0.0;
  const bool frozen = t <= nv.tLastSpike + np.tau_abs && AbsValue(nv.tLastSpike) >= 0.001;
  if (frozen) return;
  dVdt = (InjectedCurrent(s, np) + nv.Isyn - (V - np.VL) * np.gL) / np.Cm;
  V += s.run.dt * dVdt;
}

void ProceduralRest(Session& s, ProceduralGlobals& g) {
  NeuronProperties& np = s.NP0;
  NeuronVariables& nv = s.NV0;
  // The fast neuron knows its family's channels only: an analysis run on it
  // would leave the imported ones out without a word.
  if (!np.Imported.empty()) {
    throw RangeError("this analysis runs the fast point neuron, which does not take imported (NeuroML) channels "
                     "yet; run it without --channel");
  }
  np.FRT = np.F_Faraday / np.R_gas / np.Temp / 1000.0;
  if (np.ThrModel == 1) np.IfBlockNa = 1;
  ProcInitGates(s, g);
  const RestingDrive rest = RestingCurrents(s, g);
  DeriveLeak(np, rest.gActive);

  if (np.IfSet_VL_or_Vrest == 2) {
    // The leak balances the channels at rest. Without a leak nothing can be
    // balanced, and VL is left as it is rather than made infinite.
    if (np.gL != 0.0) np.VL = np.Vrest - rest.A / np.gL;
    return;
  }
  if (np.IfSet_VL_or_Vrest != 1) return;  // neither is derived

  // VL is fixed: let the unclamped membrane settle to its free resting potential.
  const double dt = s.run.dt;
  for (int i = 1;; ++i) {
    nv.V = np.Vrest;
    ProcInitGates(s, g);
    const RestingDrive r = RestingCurrents(s, g);
    const double before = np.Vrest;
    np.Vrest += dt / np.Cm * (r.A - (np.Vrest - np.VL) * np.gL);
    DeriveLeak(np, r.gActive);
    if ((AbsValue(np.Vrest - before) < 1e-7 && i > 1000) || i >= 10000) break;
  }
  nv.V = np.Vrest;
}

}  // namespace membrix
