#pragma once
// The squid-axon ("Rariza") kinetics and the one-point membrane of the
// procedural neuron, written once over the number type: double for one neuron,
// a register of doubles for the ensemble kernel that steps several members
// together, one member per lane. The number type T comes with NumOps<T>:
//   Exp(x)          the bounded exponential SafeExp, lane by lane;
//   Abs(x)          |x|;
//   Select(m, a, b) a where the comparison m holds, else b.
// Every formula performs the same operations in the same order for either
// type, so a member in a lane follows the one-neuron step bit for bit. In a
// register both branches of a choice are evaluated and the lanes take the
// value of theirs; one neuron evaluates only its own.

#include <type_traits>

#include "neuron/numerics.h"
#include "params/neuron_properties.h"

namespace membrix {

template <class T>
struct NumOps;

// One neuron: the operations of the scalar kinetics.
template <>
struct NumOps<double> {
  static double Exp(double x) { return SafeExp(x); }
  static double Abs(double x) { return x >= 0 ? x : -x; }
  static double Select(bool m, double a, double b) { return m ? a : b; }
};

template <class T>
struct GateOf {
  T inf;
  T tau;
};

template <class T>
struct GatePairOf {
  GateOf<T> m;
  GateOf<T> h;
};

// Steady state and time constant from a forward and a backward rate (per ms).
template <class T>
GateOf<T> FromAlphaBetaN(const T& alpha, const T& beta) {
  const T s = alpha + beta;
  return {alpha / s, 1.0 / s};
}

// x / (exp(x/k) - 1), its limit k·(1 - x/(2k)) where x/k is within 1e-6 of 0.
template <class T>
T LinExpN(const T& x, double k) {
  using O = NumOps<T>;
  const T r = x / k;
  if constexpr (std::is_same_v<T, double>) {
    // One neuron takes only the branch it needs.
    if (O::Abs(r) < 1e-6) return k * (1.0 - x / (2.0 * k));
    return x / (O::Exp(r) - 1.0);
  } else {
    const T nearZero = k * (1.0 - x / (2.0 * k));
    return O::Select(O::Abs(r) < 1e-6, nearZero, x / (O::Exp(r) - 1.0));
  }
}

// The classic rate shapes: c = 1 the linear-exponential form, c = 0 a plain
// exponential, otherwise x / (exp(x/k) - c). The tests on c are exact.
template <class T>
T HHRateN(const T& x, double k, double c) {
  using O = NumOps<T>;
  if (c == 1.0) return LinExpN(x, k);
  if (c == 0.0) return O::Exp(x / k);
  return x / (O::Exp(x / k) - c);
}

template <class T>
T HHRateInvN(const T& x, double k, double c) {
  return 1.0 / (NumOps<T>::Exp(x / k) - c);
}

// Relaxation factor of x <- x + F·(xinf - x): dt in s, tau in ms; a gate with
// tau <= 0 jumps to its steady state.
template <class T>
T RelaxN(double dt, const T& tau) {
  using O = NumOps<T>;
  if constexpr (std::is_same_v<T, double>) {
    return tau > 0.0 ? 1.0 - O::Exp(-1000.0 * dt / tau) : 1.0;
  } else {
    return O::Select(tau > 0.0, 1.0 - O::Exp(-1000.0 * dt / tau), T(1.0));
  }
}

template <class T>
void RelaxGateN(T& x, const GateOf<T>& r, double dt) {
  x += RelaxN(dt, r.tau) * (r.inf - x);
}

// The parametric Na gates at v (mV): the inactivation sees v - Tr_Na, the
// activation the threshold shift (mV) as well, np.NaThreshShift unless given.
template <class T, class Shift = double>
GatePairOf<T> RarizaNaGates(const T& v, const NeuronProperties& np, const Shift& shift) {
  const T vp = v - np.Tr_Na;
  const T vm = vp - shift;
  const T am = np.a1Na * HHRateN(np.a2Na - vm, np.a3Na, np.a4Na);
  const T bm = np.b1Na * HHRateN(np.b2Na - vm, np.b3Na, np.b4Na);
  const T ah = np.c1Na * HHRateN(np.c2Na - vp, np.c3Na, np.c4Na);
  const T bh = np.d1Na * HHRateInvN(np.d2Na - vp, np.d3Na, np.d4Na);
  return {FromAlphaBetaN(am, bm), FromAlphaBetaN(ah, bh)};
}

template <class T>
GatePairOf<T> RarizaNaGates(const T& v, const NeuronProperties& np) {
  return RarizaNaGates(v, np, np.NaThreshShift);
}

// The squid-axon delayed rectifier with its own fixed numbers, voltage
// measured from Tr_Na.
template <class T>
GateOf<T> RarizaKGate(const T& v, double Tr_Na) {
  const T w = v - Tr_Na;
  return FromAlphaBetaN(0.01 * LinExpN(10.0 - w, 10.0), 0.125 * NumOps<T>::Exp(-w / 80.0));
}

// The parametric Na current over one step at V (volts) with the threshold
// shift of the activation: mm and hh relax, then mm³·hh·gNa·(V - VNa).
template <class T, class Shift = double>
T ParametricNaAdvance(const T& V, T& mm, T& hh, const NeuronProperties& np, double dt, const Shift& shift) {
  const GatePairOf<T> r = RarizaNaGates(1000.0 * V, np, shift);
  RelaxGateN(mm, r.m, dt);
  RelaxGateN(hh, r.h, dt);
  return mm * mm * mm * hh * static_cast<double>(1 - np.IfBlockNa) * np.gNa * (V - np.VNa);
}

// The squid-axon delayed rectifier over one step: nn relaxes, then nn⁴·gK·(V - VK).
template <class T>
T RarizaKAdvance(const T& V, T& nn, const NeuronProperties& np, double dt) {
  RelaxGateN(nn, RarizaKGate(1000.0 * V, np.Tr_Na), dt);
  const T n2 = nn * nn;
  return n2 * n2 * static_cast<double>(1 - np.IfBlockK) * np.gK * (V - np.VK);
}

// One step of the submembrane Ca pool driven by the Ca current density ICa
// (mA/cm²): influx over the shell depth, removal toward Ca_rest with tauCa.
// With ICa in mA/cm², F in C/mol and the depth in cm, ICa·1000/(2F·depth) is
// the influx in mM/s.
template <class T>
void CaPoolStep(T& Ca, const T& ICa, const NeuronProperties& np, double dt) {
  Ca += dt * (-ICa * 1000.0 / (2.0 * np.F_Faraday * np.Ca_depth) - (Ca - np.Ca_rest) / np.tauCa);
}

// The ionic current of the membrane (mA/cm², inward positive): the channels,
// the leak, the injected current and the reset generator's current.
template <class T>
T MembraneIonic(const T& channels, const T& V, double leakReversal, const NeuronProperties& np, double injected,
                double duReset) {
  return -channels - (V - leakReversal) * np.gL * static_cast<double>(1 - np.IfBlockPass) + injected + duReset;
}

// The input uu - ss·(V - VK) less the NMDA term gNMDA·(V - Vrest)².
template <class T>
T MembraneInput(const T& uu, double ss, double gNMDA, const T& V, const NeuronProperties& np) {
  return uu - ss * (V - np.VK) - gNMDA * (V - np.Vrest) * (V - np.Vrest);
}

}  // namespace membrix
