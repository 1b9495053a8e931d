#include "thresholdmodel/threshold_model_step.h"

#include <array>
#include <cmath>
#include <span>
#include <string>

#include "channels/channel.h"
#include "channels/procedural/hh_canal.h"
#include "channels/procedural/hh_chow.h"
#include "channels/procedural/hh_lyle.h"
#include "channels/procedural/hh_migli.h"
#include "neuron/numerics.h"
#include "run/session.h"
#include "thresholdmodel/threshold_table.h"

namespace membrix {

namespace {

// A gate and its rates at this step's voltage.
struct MovingGate {
  double* x = nullptr;
  GateRates rates{};
};

}  // namespace

double ThresholdFunction(const Session& s, double tSince, double shift, double dVdt) {
  (void)tSince;
  const NeuronProperties& np = s.NP0;
  const ThresholdModelGlobals& g = s.thresholdModel;
  if (dVdt < 1e-8) return 0.1;  // the voltage is not rising
  if (g.FixThresholdTicked) return shift + g.FixThresholdMv / 1000.0;
  if (np.FixThr > 0.0) return np.FixThr;
  dVdt = MaxD(dVdt, 1e-5);
  if (np.HH_type == "Chow" || np.HH_type == "Lyle") return shift + ThresholdLookup(g, dVdt);
  return shift + ThresholdPowerLaw(dVdt);
}

void ThresholdModelStep(Session& s, double& dVdt, double& d2Vdt2, double tSince) {
  const NeuronProperties& np = s.NP0;
  StartStateRecord& st = s.run.StartState;
  const double dt = s.run.dt;
  const double dVdtOld = dVdt;
  const std::string& family = np.HH_type;

  if (tSince <= np.dT_AP) {
    // The spike itself: the voltage is held at a fixed level and the gates sit
    // at their after-spike values.
    st.V = family == "Passive" ? np.Vreset : -0.04;
    st.VatE = np.Vrest;
    dVdt = d2Vdt2 = 0.0;
    st.nn = np.n_AP;
    st.yK = np.yK_AP;
    st.nA = np.nA_AP;
    st.lA = np.lA_AP;
    st.xD = np.xD_AP;
    st.nH = np.nH_AP;
    if (std::lround(tSince / dt) == 1) {  // the spike's jumps, once
      st.wAHP += 0.0177 * (1.0 - st.wAHP);
      st.nM += 0.175 * (1.0 - st.nM);
      st.yD -= 0.3 * st.yD;
    }
    return;
  }

  const double v = 1000.0 * st.V;
  const double f = np.FRT;
  std::array<MovingGate, 9> gates{};
  std::size_t n = 0;
  auto add = [&](double& x, GateRates rates) { gates[n++] = {&x, rates}; };
  if (family == "Destexhe" || family == "Rariza") {
    add(st.nM, DestexheKMRates(v));
    add(st.nn, family == "Destexhe" ? DestexheKRates(v, np.Tr_Na) : RarizaKRates(v, np.Tr_Na));
  } else if (family == "Migliore") {
    add(st.nn, MiglioreKRates(v));
  } else if (family == "Chow") {
    add(st.nn, ChowKRates(v));
  } else if (family == "Lyle") {
    const GatePairRates K = LyleKRates(v, f);
    const GatePairRates KA = LyleKARates(v, f);
    const GatePairRates KD = LyleKDRates(v, f);
    add(st.yK, K.inact);
    add(st.nA, KA.act);
    add(st.lA, KA.inact);
    add(st.xD, KD.act);
    add(st.yD, KD.inact);
    add(st.nH, LyleHRates(v, f));
    add(st.nM, LyleKMRates(v, f));
    add(st.nn, K.act);
  }
  add(st.wAHP, AHPRates(v));

  const std::span<const MovingGate> moving = std::span(gates).first(n);
  if (s.run.nt == 1 && s.NV0.SpikePhase != 2) {
    // The run starts with every gate at its steady state; a gate the family
    // does not compute starts closed.
    st.nn = st.yK = st.nA = st.lA = st.xD = st.yD = st.nH = st.nM = 0.0;
    for (const MovingGate& g : moving) *g.x = g.rates.inf;
  } else {
    for (const MovingGate& g : moving) *g.x += Relax(dt, g.rates.tau) * (g.rates.inf - *g.x);
  }

  const double V = st.V;
  s.NV0.Isyn = s.stim.uu - s.stim.ss * (V - np.VK);
  const bool lyle = family == "Lyle";
  // Open fractions of the K, KA, KD and KM currents.
  double d = IntPower(4, st.nn);
  if (lyle) {
    d = LyleKCond(np, st.nn, st.yK);
  } else if (family == "Migliore") {
    d = st.nn;
  }
  const double c = lyle ? LyleKACond(np, st.nA, st.lA) : 0.0;
  const double b = lyle ? LyleKDCond(st.xD, st.yD) : 0.0;
  const double q = lyle ? LyleKMCond(np, st.nM) : st.nM;
  const double X = InjectedCurrent(s, np) + s.NV0.Isyn - np.gL * (V - np.VL) - np.gK * d * (V - np.VKn) -
                   np.gKA * c * (V - np.VK) - np.gH * st.nH * (V - np.VH) - np.gKD * b * (V - np.VKD) -
                   np.gAHP * st.wAHP * (V - np.VK) - np.gKM * q * (V - np.VKM);

  if (np.HH_order == "1-point") {
    dVdt = X / np.Cm;
    st.V = V + dt * dVdt;
  } else if (np.HH_order == "2-points") {
    // A passive dendrite with a fixed conductance ratio to the soma.
    const double G1 = np.gL + np.gK * d;
    const double G2 = G1 * 3.7 / 1.3;
    const double VatE = st.VatE + dt / np.Cm * (-G1 * (st.VatE - np.Vrest) - (2.0 * G1 + G2) * (st.VatE - V));
    dVdt = (X + G2 * (st.VatE - V)) / np.Cm;
    st.V = V + dt * dVdt;
    st.VatE = VatE;
  }
  d2Vdt2 = (dVdt - dVdtOld) / dt;
}

}  // namespace membrix
