#include "channels/sodium.h"

#include "channels/channel_catalogue.h"

namespace membrix {

// Every scheme evaluates its gates at the voltage of the start of the step and
// updates mm, hh, ii in that order, each from its own value at the start of the
// step. "In place" marks the relaxation factor 1 - exp(-1000·dt/tau) written
// out where the time constant is always positive.

// ---- TRarizaNa ---------------------------------------------------------------
// Its step is in the header, where a neuron's resolved step can inline it.

void TRarizaNa::Init() {
  const SodiumRates r = Rates(v(), NP());
  SetSodiumSteadyState(NV().mm, NV().hh, NV().ii, r);
}

// ---- TMigliNa ----------------------------------------------------------------

SodiumRates TMigliNa::Kinetics(double vs, bool slowInactivation) {
  const double am = 0.4 * LinExp(-(vs + 30.0), 7.2);
  const double bm = 0.124 * LinExp(vs + 30.0, 7.2);
  const double ah = 0.03 * LinExp(-(vs + 45.0), 1.5);
  const double bh = 0.01 * LinExp(vs + 45.0, 1.5);
  const double es = SafeExp((vs + 58.0) / 2.0);
  const double sInf = slowInactivation ? (1.0 + 0.5 * es) / (1.0 + es) : 1.0;  // from 1 down to 0.5
  const double tauS = MaxD(3000.0 * SafeExp(0.09 * (vs + 60.0)) / (1.0 + SafeExp(0.45 * (vs + 60.0))), 10.0);
  return {{am / (am + bm), MaxD(0.5 / (am + bm), 0.02)},
          {1.0 / (1.0 + SafeExp((vs + 50.0) / 4.0)), MaxD(0.5 / (ah + bh), 0.5)},
          {sInf, tauS}};
}

SodiumRates TMigliNa::Rates(double v, const NeuronProperties& np) {
  return Kinetics(v - np.NaThreshShift, np.If_Slow_Na_inactivation == 1);
}

double TMigliNa::Step() {
  const SodiumRates r = Rates(v(), NP());
  NeuronVariables& nv = NV();
  UpdateSodiumGates(*this, nv.mm, nv.hh, nv.ii, r);
  return Conductance(nv.mm, nv.hh, nv.ii) * NP().gNa * (nv.V - NP().VNa);
}

double TMigliNa::Conductance(double mm, double hh, double ii) const {
  return mm * mm * mm * hh * ii * (1 - NP().IfBlockNa);
}

void TMigliNa::Init() {
  const SodiumRates r = Rates(v(), NP());
  SetSodiumSteadyState(NV().mm, NV().hh, NV().ii, r);
}

// ---- TCumNa ------------------------------------------------------------------

SodiumRates TCumNa::Rates(double v, const NeuronProperties& np) {
  const double vs = v - np.NaThreshShift;  // the activation only
  const double xm = 0.0635 * (vs + 40.35);
  const double xh = 0.0295 * (v + 75.0);
  return {{1.0 / (1.0 + SafeExp(-(vs + 41.35) / 4.75)), 0.12 + 0.75 * SafeExp(-xm * xm)},
          {1.0 / (1.0 + SafeExp((v + 62.0) / 4.5)), 0.55 + 6.5 * SafeExp(-xh * xh)},
          {1.0 / (1.0 + SafeExp((v + 40.0) / 1.5)), 0.01 + 25.0 / (1.0 + SafeExp((v - 20.0) / 4.5))}};
}

double TCumNa::Step() {
  const SodiumRates r = Rates(v(), NP());
  NeuronVariables& nv = NV();
  UpdateSodiumGates(*this, nv.mm, nv.hh, nv.ii, r);
  return Conductance(nv.mm, nv.hh, nv.ii) * NP().gNa * (nv.V - NP().VNa);
}

double TCumNa::Conductance(double mm, double hh, double ii) const {
  return mm * mm * mm * hh * ii * (1 - NP().IfBlockNa);
}

void TCumNa::Init() {
  const SodiumRates r = Rates(v(), NP());
  SetSodiumSteadyState(NV().mm, NV().hh, NV().ii, r);
}

// ---- TChowNa -----------------------------------------------------------------

SodiumRates TChowNa::Rates(double v, const NeuronProperties& np) {
  const double vs = v - np.NaThreshShift;
  const double sInf = np.If_Slow_Na_inactivation == 1 ? 1.0 / (1.0 + SafeExp(0.5 * (vs + 52.0))) : 1.0;
  return {
      {1.0 / (1.0 + SafeExp(-0.08 * (vs + 26.0))), 0.0},
      {1.0 / (1.0 + SafeExp(0.13 * (vs + 38.0))), 0.6 / (1.0 + SafeExp(-0.12 * (vs + 67.0))) / np.TempFactor},
      {sInf, 100.0 / np.TempFactor}};
}

double TChowNa::Step() {
  const SodiumRates r = Rates(v(), NP());
  NeuronVariables& nv = NV();
  nv.mm = r.m.inf;                                                         // instantaneous
  UpdateGate(nv.hh, r.h);
  UpdateGate(nv.ii, r.s);
  return Conductance(nv.mm, nv.hh, nv.ii) * NP().gNa * (nv.V - NP().VNa);
}

double TChowNa::Conductance(double mm, double hh, double ii) const {
  return NP().TempFactor * mm * mm * mm * hh * ii * ii * ii * (1 - NP().IfBlockNa);
}

void TChowNa::Init() {
  NP().TempFactor = TemperatureFactor(NP().Temp, 36.0);
  const SodiumRates r = Rates(v(), NP());
  SetSodiumSteadyState(NV().mm, NV().hh, NV().ii, r);
}

// ---- TFleidNa ----------------------------------------------------------------

SodiumRates TFleidNa::Rates(double v, const NeuronProperties& np) {
  const double vs = v - np.NaThreshShift;
  const double am = 0.091 * LinExp(-(vs + 40.0), 5.0);
  const double bm = 0.062 * LinExp(vs + 40.0, 5.0);
  const double ah = 0.06 * SafeExp(-(vs + 55.0) / 15.0);
  const double bh = 6.01 / (1.0 + SafeExp(-(vs - 17.0) / 21.0));
  const double as = 0.001 * SafeExp(-(vs + 85.0) / 30.0);
  const double bs = 0.0034 / (1.0 + SafeExp(-(vs + 17.0) / 10.0));
  const double tf = np.TempFactor;
  return {{am / (am + bm), 1.0 / (am + bm) / tf},
          {ah / (ah + bh), 1.0 / (ah + bh) / tf},
          {np.If_Slow_Na_inactivation == 1 ? as / (as + bs) : 1.0, 1.0 / (as + bs) / tf}};
}

double TFleidNa::Step() {
  const SodiumRates r = Rates(v(), NP());
  NeuronVariables& nv = NV();
  UpdateSodiumGates(*this, nv.mm, nv.hh, nv.ii, r);
  return Conductance(nv.mm, nv.hh, nv.ii) * NP().gNa * (nv.V - NP().VNa);
}

double TFleidNa::Conductance(double mm, double hh, double ii) const {
  return mm * mm * mm * hh * ii * (1 - NP().IfBlockNa);
}

void TFleidNa::Init() {
  NP().TempFactor = TemperatureFactor(NP().Temp, 23.0);
  const SodiumRates r = Rates(v(), NP());
  SetSodiumSteadyState(NV().mm, NV().hh, NV().ii, r);
}

// ---- TShuNa ------------------------------------------------------------------

SodiumRates TShuNa::Kinetics(double vs, double TempFactor) {
  const double am = 0.182 * LinExp(-(vs + 43.0), 7.0);
  const double bm = 0.124 * LinExp(vs + 43.0, 7.0);
  const double ah = 0.024 * LinExp(-(vs + 50.0), 5.0);
  const double bh = 0.0091 * LinExp(vs + 75.0, 5.0);
  return {{am / (am + bm), 1.0 / (am + bm) / TempFactor},
          {1.0 / (1.0 + SafeExp((vs + 72.0) / 6.2)), 1.0 / (ah + bh) / TempFactor},
          {}};
}

SodiumRates TShuNa::Rates(double v, const NeuronProperties& np) {
  return Kinetics(v - 5.0 - np.NaThreshShift, np.TempFactor);
}

double TShuNa::Step() {
  const SodiumRates r = Rates(v(), NP());
  NeuronVariables& nv = NV();
  UpdateGate(nv.mm, r.m);
  UpdateGate(nv.hh, r.h);
  return Conductance(nv.mm, nv.hh, 0.0) * NP().gNa * (nv.V - NP().VNa);
}

double TShuNa::Conductance(double mm, double hh, double) const {
  return NP().TempFactor * mm * mm * mm * hh * (1 - NP().IfBlockNa);
}

void TShuNa::Init() {
  NP().TempFactor = TemperatureFactor(NP().Temp, 23.0);
  const SodiumRates r = Rates(v(), NP());
  NV().mm = r.m.inf;
  NV().hh = r.h.inf;
}

// ---- TBazhNa -----------------------------------------------------------------

SodiumRates TBazhNa::Kinetics(double vs, double TempFactor) {
  const double am = 0.182 * LinExp(-(vs + 25.0), 9.0);
  const double bm = 0.124 * LinExp(vs + 25.0, 9.0);
  const double ah = 0.024 * LinExp(-(vs + 40.0), 5.0);
  const double bh = 0.0091 * LinExp(vs + 65.0, 5.0);
  return {{am / (am + bm), 1.0 / (am + bm) / TempFactor},
          {1.0 / (1.0 + SafeExp((vs + 55.0) / 6.2)), 1.0 / (ah + bh) / TempFactor},
          {}};
}

SodiumRates TBazhNa::Rates(double v, const NeuronProperties& np) {
  return Kinetics(v - np.NaThreshShift, np.TempFactor);
}

double TBazhNa::Step() {
  const SodiumRates r = Rates(v(), NP());
  NeuronVariables& nv = NV();
  UpdateGate(nv.mm, r.m);
  UpdateGate(nv.hh, r.h);
  return Conductance(nv.mm, nv.hh, 0.0) * NP().gNa * (nv.V - NP().VNa);
}

double TBazhNa::Conductance(double mm, double hh, double) const {
  return NP().TempFactor * mm * mm * mm * hh * (1 - NP().IfBlockNa);
}

void TBazhNa::Init() {
  NP().TempFactor = TemperatureFactor(NP().Temp, 23.0);
  const SodiumRates r = Rates(v(), NP());
  NV().mm = r.m.inf;
  NV().hh = r.h.inf;
}

// ---- TLyleMSNa ---------------------------------------------------------------

SodiumRates TLyleMSNa::Rates(double v, const NeuronProperties& np) {
  // Each exponent is gamma·z·F/RT·(vs - vhalf): z = 20, gamma = 0.5 for m;
  // z = -30, gamma = 0.3 (and 0.7 backward) for h.
  const double vs = v - np.NaThreshShift;
  const double f = np.FRT;
  const double am = 0.3 * SafeExp(10.0 * f * (vs + 47.0));
  const double bm = 0.3 * SafeExp(-10.0 * f * (vs + 47.0));
  const double ah = 0.01 * SafeExp(-9.0 * f * (vs + 61.0));
  const double bh = 0.01 * SafeExp(21.0 * f * (vs + 61.0));
  return {{am / (am + bm), MaxD(1.0 / (am + bm), 0.5)}, {ah / (ah + bh), MaxD(1.0 / (ah + bh), 2.0)}, {}};
}

double TLyleMSNa::Step() {
  const SodiumRates r = Rates(v(), NP());
  NeuronVariables& nv = NV();
  UpdateGate(nv.mm, r.m);
  UpdateGate(nv.hh, r.h);
  return Conductance(nv.mm, nv.hh, 0.0) * NP().gNa * (nv.V - NP().VNa);
}

double TLyleMSNa::Conductance(double mm, double hh, double) const {
  return mm * hh * hh * (1 - NP().IfBlockNa);
}

void TLyleMSNa::Init() {
  const SodiumRates r = Rates(v(), NP());
  NV().mm = r.m.inf;
  NV().hh = r.h.inf;
}

// ---- TNaundorfNa -------------------------------------------------------------

SodiumRates TNaundorfNa::Rates(double v, double c, const NeuronProperties& np) {
  const double vs = v - np.NaThreshShift;
  // u/(1 - exp(-u)) through the linear-exponential form, which takes its limit 1 at u = 0.
  const double u = (vs + c + 35.0) / 10.0;
  const double am = LinExp(-u, 1.0);
  const double bm = 4.0 * SafeExp(-(vs + c + 60.0) / 18.0);
  const double ah = 0.35 * SafeExp(-(vs + 58.0) / 20.0);
  const double bh = 5.0 / (1.0 + SafeExp(-(vs + 28.0) / 10.0));
  return {FromAlphaBeta(am, bm), FromAlphaBeta(ah, bh), {}};
}

double TNaundorfNa::Step() {
  NeuronVariables& nv = NV();
  const double c = (0.1 - nv.wAHP) * NP().KJ_NaCooperativity;
  const SodiumRates r = Rates(v(), c, NP());
  UpdateGate(nv.mm, r.m);
  UpdateGate(nv.hh, r.h);
  // The current opens with the steady-state activation, not with the relaxed mm.
  return Conductance(r.m.inf, nv.hh, 0.0) * NP().gNa * (nv.V - NP().VNa);
}

double TNaundorfNa::Conductance(double mm, double hh, double) const {
  return mm * mm * mm * hh * (1 - NP().IfBlockNa);
}

void TNaundorfNa::Init() {
  const SodiumRates r = Rates(v(), 0.0, NP());  // no cooperative shift at rest
  NV().mm = r.m.inf;
  NV().hh = r.h.inf;
}

// ---- TWhiteNa ----------------------------------------------------------------

SodiumRates TWhiteNa::Rates(double v, const NeuronProperties& np) {
  const double vs = v - np.NaThreshShift;  // the activation only
  const double tauH = MaxD(0.81 * SafeExp(-0.2 * (v + 38.0)) - SafeExp(-(v + 52.0) / 3.0) + 0.24, 0.24);
  return {
      {1.0 / (1.0 + SafeExp(-0.2 * (vs + 15.0))), 0.0}, {1.0 / (1.0 + SafeExp(0.2 * (v + 16.0))), tauH}, {}};
}

double TWhiteNa::Step() {
  const SodiumRates r = Rates(v(), NP());
  NeuronVariables& nv = NV();
  nv.mm = r.m.inf;                                                         // instantaneous
  UpdateGate(nv.hh, r.h);
  return Conductance(nv.mm, nv.hh, 0.0) * NP().gNa * (nv.V - NP().VNa);
}

double TWhiteNa::Conductance(double mm, double hh, double) const { return mm * hh * (1 - NP().IfBlockNa); }

void TWhiteNa::Init() {
  const SodiumRates r = Rates(v(), NP());
  NV().mm = r.m.inf;
  NV().hh = r.h.inf;
}

// ---- TWhite2Na ---------------------------------------------------------------

SodiumRates TWhite2Na::Rates(double v, const NeuronProperties& np) {
  const double vs = v - np.NaThreshShift;
  return {{1.0 / (1.0 + SafeExp(-(vs + 30.0) / 4.0)), 0.0},
          {1.0 / (1.0 + SafeExp((vs + 52.0) / 2.0)), 200.0},
          {}};
}

double TWhite2Na::Step() {
  const SodiumRates r = Rates(v(), NP());
  NeuronVariables& nv = NV();
  nv.mm = r.m.inf;  // instantaneous
  // The relaxation factor computed in place.
  UpdateGate(nv.hh, r.h, hRelax_);
  return Conductance(nv.mm, nv.hh, 0.0) * NP().gNa * (nv.V - NP().VNa);
}

// No block factor: this current stays on under IfBlockNa.
double TWhite2Na::Conductance(double mm, double hh, double) const { return mm * hh * hh * hh; }

void TWhite2Na::Init() {
  const SodiumRates r = Rates(v(), NP());
  NV().mm = r.m.inf;
  NV().hh = r.h.inf;
}

unsigned TNaundorfNa::SlotsRead() const { return 1u << static_cast<int>(Slot::AHP); }

}  // namespace membrix
