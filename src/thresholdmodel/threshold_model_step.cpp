#include "thresholdmodel/threshold_model_step.h"

#include <array>
#include <cmath>
#include <span>
#include <string>

#include "channels/channel.h"
#include "channels/potassium.h"
#include "neuron/numerics.h"
#include "run/session.h"
#include "thresholdmodel/threshold_table.h"

namespace membrix {

namespace {

// Gate rates of the threshold model's kinetics; v in mV, tau in ms.

GateRates DestexheKRates(double v, double Tr_Na) {
  const double w = v - Tr_Na;
  return FromAlphaBeta(0.032 * LinExp(15.0 - w, 5.0), 0.5 * SafeExp((10.0 - w) / 40.0));
}

GateRates RarizaKRates(double v, double Tr_Na) {
  const double w = v - Tr_Na;
  return FromAlphaBeta(0.01 * LinExp(10.0 - w, 10.0), 0.125 * SafeExp(-w / 80.0));
}

GateRates MiglioreKRates(double v) {
  const double e1 = SafeExp(-0.11 * (v - 13.0));
  return {1.0 / (1.0 + e1), MaxD(50.0 * SafeExp(-0.08 * (v - 13.0)) / (1.0 + e1), 2.0)};
}

GateRates ChowKRates(double v) {
  return {1.0 / (1.0 + SafeExp(-0.045 * (v + 10.0))), 2.0 / (1.0 + SafeExp(0.045 * (v - 50.0))) + 0.5};
}

// The M current of the procedural Lyle family: fixed rate scale, no second gate.
GateRates LyleKMRatesOfModel(double v, double f) {
  const double alpha = 0.003 * SafeExp(3.6 * f * (v + 45.0));
  const double beta = 0.003 * SafeExp(-2.4 * f * (v + 45.0));
  return {alpha / (alpha + beta), 1.0 / (alpha + beta) + 8.0};
}

GateRates AHPRatesOfModel(double v) {
  return {1.0 / (1.0 + SafeExp(-(v + 35.0) / 10.0)),
          2000.0 / (3.3 * SafeExp((v + 35.0) / 20.0) + SafeExp(-(v + 35.0) / 20.0))};
}

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
    add(st.nM, TDestexheKM::Rates(v));
    add(st.nn, family == "Destexhe" ? DestexheKRates(v, np.Tr_Na) : RarizaKRates(v, np.Tr_Na));
  } else if (family == "Migliore") {
    add(st.nn, MiglioreKRates(v));
  } else if (family == "Chow") {
    add(st.nn, ChowKRates(v));
  } else if (family == "Lyle") {
    add(st.yK, TLyleK::RatesY(v, f));
    add(st.nA, TLyleKA::RatesN(v, f));
    add(st.lA, TLyleKA::RatesL(v, f));
    add(st.xD, TLyleKD::RatesX(v, f));
    add(st.yD, TLyleKD::RatesY(v, f));
    add(st.nH, TLyleH::Rates(v, f));
    add(st.nM, LyleKMRatesOfModel(v, f));
    add(st.nn, TLyleK::RatesN(v, f));
  }
  add(st.wAHP, AHPRatesOfModel(v));

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
    d = st.nn * st.yK * (1 - np.IfBlockK);
  } else if (family == "Migliore") {
    d = st.nn;
  }
  const double c = lyle ? IntPower(4, st.nA) * IntPower(3, st.lA) * (1 - np.IfBlockKA) : 0.0;
  const double b = lyle ? IntPower(4, st.xD * st.yD) : 0.0;
  const double q = lyle ? st.nM * st.nM * (1 - np.IfBlockKM) : st.nM;
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
