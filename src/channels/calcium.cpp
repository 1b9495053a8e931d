#include "channels/calcium.h"

namespace membrix {

namespace {

// A Boltzmann steady state 1/(1 + exp(-(v - vHalf)/k)), opening with depolarisation for k > 0.
double Boltzmann(double v, double vHalf, double k) { return 1.0 / (1.0 + SafeExp(-(v - vHalf) / k)); }

// A bell-shaped time constant base + peak·exp(-(s·(v - vPeak))²) of the Cummins kinetics.
double Bell(double v, double base, double peak, double s, double vPeak) {
  const double x = s * (v - vPeak);
  return base + peak * SafeExp(-x * x);
}

}  // namespace

// --- TDestexheCaH -------------------------------------------------------------

TDestexheCaH::Gates TDestexheCaH::Rates(double v) {
  // 0.055·(v + 27)/(1 - exp(-(v + 27)/3.8)), finite at v = -27.
  const double am = -0.055 * LinExp(v + 27.0, -3.8);
  const double bm = 0.94 * SafeExp(-(v + 75.0) / 17.0);
  const double ah = 0.000457 * SafeExp(-(v + 13.0) / 50.0);
  const double bh = 0.0065 / (1.0 + SafeExp(-(v + 15.0) / 28.0));
  return {FromAlphaBeta(am, bm), FromAlphaBeta(ah, bh)};
}

double TDestexheCaH::Conductance(double mCaH, double hCaH, double) const {
  return mCaH * mCaH * hCaH * (1 - NP().IfBlockCaH);
}

double TDestexheCaH::Step() {
  const Gates r = Rates(v());
  NeuronVariables& nv = NV();
  UpdateGate(nv.mCaH, r.m);
  UpdateGate(nv.hCaH, r.h);
  return Conductance(nv.mCaH, nv.hCaH, 0.0) * NP().gCaH * (nv.V - kCaReversal);
}

void TDestexheCaH::Init() {
  const Gates r = Rates(v());
  NV().mCaH = r.m.inf;
  NV().hCaH = r.h.inf;
}

// --- TCumCaH ------------------------------------------------------------------

TCumCaH::Gates TCumCaH::Rates(double v) {
  const GateRates m{Boltzmann(v, -20.0, 4.5), Bell(v, 0.395, 3.25, 0.042, -31.0)};
  const GateRates h{1.0 / (1.0 + SafeExp((v + 20.0) / 25.0)), Bell(v, 5.0, 33.5, 0.0395, -30.0)};
  const double kInf = 1.0 / (1.0 + SafeExp((v + 40.0) / 10.0)) + 0.2 / (1.0 + SafeExp(-(v + 5.0) / 10.0));
  const GateRates k{kInf, Bell(v, 75.0, 225.0, 0.0275, -40.0)};
  return {m, h, k};
}

double TCumCaH::Conductance(double mCaH, double hCaH, double kCaH) const {
  return mCaH * hCaH * kCaH * (1 - NP().IfBlockCaH);
}

double TCumCaH::Step() {
  const Gates r = Rates(v());
  NeuronVariables& nv = NV();
  UpdateGate(nv.mCaH, r.m);
  UpdateGate(nv.hCaH, r.h);
  UpdateGate(nv.kCaH, r.k);
  return Conductance(nv.mCaH, nv.hCaH, nv.kCaH) * NP().gCaH * (nv.V - kCaReversal);
}

void TCumCaH::Init() {
  const Gates r = Rates(v());
  NV().mCaH = r.m.inf;
  NV().hCaH = r.h.inf;
  NV().kCaH = r.k.inf;
}

// --- TWhiteCa -----------------------------------------------------------------

GateRates TWhiteCa::Rates(double v) { return {Boltzmann(v, -28.0, 6.5), 0.0}; }

double TWhiteCa::Conductance(double mCaH, double, double) const { return mCaH * (1 - NP().IfBlockCaH); }

double TWhiteCa::Step() {
  NeuronVariables& nv = NV();
  nv.mCaH = Rates(v()).inf;
  return Conductance(nv.mCaH, 0.0, 0.0) * NP().gCaH * (nv.V - NP().VCa);
}

void TWhiteCa::Init() { NV().mCaH = Rates(v()).inf; }

// --- TDestexheCaT -------------------------------------------------------------

TDestexheCaT::Gates TDestexheCaT::Rates(double v) {
  const double tauM = 1.0 / (SafeExp((v + 16.8) / 18.2) + SafeExp(-(v + 132.0) / 16.7)) + 0.612;
  // Inactivation recovers on two branches that meet with a jump at -80 mV.
  const double tauH = v < -80.0 ? SafeExp((v + 467.0) / 66.6) : SafeExp(-(v + 22.0) / 10.5) + 28.0;
  return {{Boltzmann(v, -57.0, 6.2), tauM}, {1.0 / (1.0 + SafeExp((v + 81.0) / 4.0)), tauH}};
}

double TDestexheCaT::Conductance(double mCaT, double hCaT, double) const {
  return mCaT * mCaT * hCaT * (1 - NP().IfBlockCaT);
}

double TDestexheCaT::Step() {
  const Gates r = Rates(v());
  NeuronVariables& nv = NV();
  UpdateGate(nv.mCaT, r.m);
  UpdateGate(nv.hCaT, r.h);
  return Conductance(nv.mCaT, nv.hCaT, 0.0) * NP().gCaT * (nv.V - kCaReversal);
}

void TDestexheCaT::Init() {
  const Gates r = Rates(v());
  NV().mCaT = r.m.inf;
  NV().hCaT = r.h.inf;
}

// --- TCumCaT ------------------------------------------------------------------

TCumCaT::Gates TCumCaT::Rates(double v) {
  return {{Boltzmann(v, -54.0, 5.75), Bell(v, 2.5, 22.0, 0.052, -68.0)},
          {1.0 / (1.0 + SafeExp((v + 68.0) / 6.0)), Bell(v, 12.5, 103.0, 0.05, -58.0)}};
}

double TCumCaT::Conductance(double mCaT, double hCaT, double) const {
  return mCaT * hCaT * (1 - NP().IfBlockCaT);
}

double TCumCaT::Step() {
  const Gates r = Rates(v());
  NeuronVariables& nv = NV();
  UpdateGate(nv.mCaT, r.m);
  UpdateGate(nv.hCaT, r.h);
  return Conductance(nv.mCaT, nv.hCaT, 0.0) * NP().gCaT * (nv.V - kCaReversal);
}

void TCumCaT::Init() {
  const Gates r = Rates(v());
  NV().mCaT = r.m.inf;
  NV().hCaT = r.h.inf;
}

// --- TDestexheKCa -------------------------------------------------------------

GateRates TDestexheKCa::Rates(double Ca) { return FromAlphaBeta(2000.0 * Ca * Ca, 0.002); }

double TDestexheKCa::Conductance(double nKCa, double, double) const {
  return nKCa * nKCa * (1 - NP().IfBlockKCa);
}

double TDestexheKCa::Step() {
  NeuronVariables& nv = NV();
  UpdateGate(nv.nKCa, Rates(nv.Ca));
  return Conductance(nv.nKCa, 0.0, 0.0) * NP().gKCa * (nv.V - NP().VK - NP().dVAHP);
}

void TDestexheKCa::Init() { NV().nKCa = Rates(NV().Ca).inf; }

}  // namespace membrix
