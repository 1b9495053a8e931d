#include "channels/potassium.h"

namespace membrix {

namespace {

double Unblocked(std::int32_t blockFlag) { return 1.0 - blockFlag; }

// The cortical delayed rectifier in the form of the Shu and Bazhenov models,
// half-activated at vHalf (mV), its time constant scaled by the temperature factor.
GateRates CorticalKRates(double v, double vHalf, double TempFactor) {
  const double alpha = 0.02 * LinExp(-(v - vHalf), 9.0);
  const double beta = 0.002 * LinExp(v - vHalf, 9.0);
  return {alpha / (alpha + beta), 1.0 / (alpha + beta) / TempFactor};
}

}  // namespace

// ---- TRarizaK ---------------------------------------------------------------
// Its step is in the header, where a neuron's resolved step can inline it.

void TRarizaK::Init() { NV().nn = Rates(v(), NP()).inf; }

// ---- TDestexheK -------------------------------------------------------------

GateRates TDestexheK::Rates(double v, double Tr_Na) {
  const double v1 = v - Tr_Na;
  const double alpha = 0.032 * LinExp(15.0 - v1, 5.0);
  const double beta = 0.5 * SafeExp((10.0 - v1) / 40.0);
  return FromAlphaBeta(alpha, beta);
}

double TDestexheK::Step() {
  UpdateGate(NV().nn, Rates(v(), NP().Tr_Na));
  return Conductance(NV().nn, NV().yK, 0.0) * NP().gK * (NV().V - NP().VK);
}

double TDestexheK::Conductance(double nn, double, double) const {
  return IntPower(4, nn) * Unblocked(NP().IfBlockK);
}

void TDestexheK::Init() { NV().nn = Rates(v(), NP().Tr_Na).inf; }

// ---- TLyleK -----------------------------------------------------------------

// Gating charge z = 3 about -5 mV, split 0.8 : 0.2 between the two rates.
GateRates TLyleK::RatesN(double v, double f) {
  const double alpha = 0.17 * SafeExp(2.4 * f * (v + 5.0));
  const double beta = 0.17 * SafeExp(-0.6 * f * (v + 5.0));
  return {alpha / (alpha + beta), 1.0 / (alpha + beta) + 0.8};
}

GateRates TLyleK::RatesY(double v, double f) { return {1.0 / (1.0 + SafeExp(f * (v + 68.0))), 300.0}; }

double TLyleK::Step() {
  const double f = NP().FRT;
  const GateRates n = RatesN(v(), f);
  const GateRates y = RatesY(v(), f);
  UpdateGate(NV().nn, n);
  UpdateGate(NV().yK, y, yRelax_);
  return Conductance(NV().nn, NV().yK, 0.0) * NP().gK * (NV().V - NP().VKn);
}

double TLyleK::Conductance(double nn, double yK, double) const {
  return OpenFraction(nn, yK) * Unblocked(NP().IfBlockK);
}

void TLyleK::Init() {
  NV().nn = RatesN(v(), NP().FRT).inf;
  NV().yK = RatesY(v(), NP().FRT).inf;
}

// ---- TMigliK ----------------------------------------------------------------

GateRates TMigliK::Rates(double v, double KThreshShift) {
  const double vk = v - KThreshShift;
  const double e1 = SafeExp(-0.11 * (vk - 13.0));
  const double tau = MaxD(50.0 * SafeExp(-0.08 * (vk - 13.0)) / (1.0 + e1), 2.0);
  return {1.0 / (1.0 + e1), tau};
}

double TMigliK::Step() {
  UpdateGate(NV().nn, Rates(v(), NP().KThreshShift));
  return Conductance(NV().nn, NV().yK, 0.0) * NP().gK * (NV().V - NP().VKn);
}

double TMigliK::Conductance(double nn, double, double) const { return nn * Unblocked(NP().IfBlockK); }

void TMigliK::Init() { NV().nn = Rates(v(), NP().KThreshShift).inf; }

// ---- TCumK ------------------------------------------------------------------

// The steady state is a Boltzmann fit of its own, not alpha/(alpha + beta).
GateRates TCumK::Rates(double v) {
  // (v + 14.273)/(1 - exp(-(v + 14.273)/10)), with its limit 10 at v = -14.273 mV.
  const double alpha = 0.001265 * LinExp(-(v + 14.273), 10.0);
  const double beta = 0.125 * SafeExp(-(v + 55.0) / 2.5);
  return {1.0 / (1.0 + SafeExp(-(v + 14.62) / 18.38)), 1.0 / (alpha + beta) + 1.0};
}

double TCumK::Step() {
  UpdateGate(NV().nn, Rates(v()));
  return Conductance(NV().nn, NV().yK, 0.0) * NP().gK * (NV().V - NP().VKn);
}

double TCumK::Conductance(double nn, double, double) const { return nn * Unblocked(NP().IfBlockK); }

void TCumK::Init() { NV().nn = Rates(v()).inf; }

// ---- TChowK -----------------------------------------------------------------

GateRates TChowK::Rates(double v, double KThreshShift, double TempFactor) {
  const double vk = v - KThreshShift;
  const double tau = (2.0 / (1.0 + SafeExp(0.045 * (vk - 50.0))) + 0.5) / TempFactor;
  return {1.0 / (1.0 + SafeExp(-0.045 * (vk + 10.0))), tau};
}

double TChowK::Step() {
  UpdateGate(NV().nn, Rates(v(), NP().KThreshShift, NP().TempFactor));
  return Conductance(NV().nn, NV().yK, 0.0) * NP().gK * (NV().V - NP().VK);
}

double TChowK::Conductance(double nn, double, double) const {
  return NP().TempFactor * IntPower(4, nn) * Unblocked(NP().IfBlockK);
}

void TChowK::Init() {
  NP().TempFactor = TemperatureFactor(NP().Temp, 36.0);
  NV().nn = Rates(v(), NP().KThreshShift, NP().TempFactor).inf;
}

// ---- TNaundorfK -------------------------------------------------------------

GateRates TNaundorfK::Rates(double v) {
  // (v + 34)/(1 - exp(-(v + 34)/10)), with its limit 10 at v = -34 mV.
  const double alpha = 0.05 * LinExp(-(v + 34.0), 10.0);
  const double beta = 0.625 * SafeExp(-(v + 44.0) / 80.0);
  return FromAlphaBeta(alpha, beta);
}

double TNaundorfK::Step() {
  UpdateGate(NV().nn, Rates(v()));
  return Conductance(NV().nn, NV().yK, 0.0) * NP().gK * (NV().V - NP().VK);
}

double TNaundorfK::Conductance(double nn, double, double) const {
  return IntPower(4, nn) * Unblocked(NP().IfBlockK);
}

void TNaundorfK::Init() { NV().nn = Rates(v()).inf; }

// ---- TWhiteK ----------------------------------------------------------------

// The inactivation time constant and one minus the inactivation steady state of
// the White Na channel.
GateRates TWhiteK::Rates(double v) {
  const double tau = MaxD(0.81 * SafeExp(-0.2 * (v + 38.0)) - SafeExp(-(v + 52.0) / 3.0) + 0.24, 0.24);
  return {1.0 - 1.0 / (1.0 + SafeExp(0.2 * (v + 16.0))), tau};
}

double TWhiteK::Step() {
  UpdateGate(NV().nn, Rates(v()));
  return Conductance(NV().nn, NV().yK, 0.0) * NP().gK * (NV().V - NP().VKn);
}

double TWhiteK::Conductance(double nn, double, double) const { return nn * Unblocked(NP().IfBlockK); }

void TWhiteK::Init() { NV().nn = Rates(v()).inf; }

// ---- TShuK ------------------------------------------------------------------

GateRates TShuK::Rates(double v, double TempFactor) { return CorticalKRates(v, 25.0, TempFactor); }

double TShuK::Step() {
  UpdateGate(NV().nn, Rates(v(), NP().TempFactor));
  return Conductance(NV().nn, NV().yK, 0.0) * NP().gK * (NV().V - NP().VK);
}

double TShuK::Conductance(double nn, double, double) const {
  return NP().TempFactor * nn * Unblocked(NP().IfBlockK);
}

void TShuK::Init() {
  NP().TempFactor = TemperatureFactor(NP().Temp, 23.0);
  NV().nn = Rates(v(), NP().TempFactor).inf;
}

// ---- TBazhK -----------------------------------------------------------------

GateRates TBazhK::Rates(double v, double TempFactor) { return CorticalKRates(v, 22.8, TempFactor); }

double TBazhK::Step() {
  UpdateGate(NV().nn, Rates(v(), NP().TempFactor));
  return Conductance(NV().nn, NV().yK, 0.0) * NP().gK * (NV().V - NP().VK);
}

double TBazhK::Conductance(double nn, double, double) const {
  return NP().TempFactor * nn * Unblocked(NP().IfBlockK);
}

void TBazhK::Init() {
  NP().TempFactor = TemperatureFactor(NP().Temp, 23.0);
  NV().nn = Rates(v(), NP().TempFactor).inf;
}

// ---- TLyleKA ----------------------------------------------------------------

// Gating charge z = 2.8 about -41 mV, split 0.85 : 0.15.
GateRates TLyleKA::RatesN(double v, double f) {
  const double alpha = 0.08 * SafeExp(2.38 * f * (v + 41.0));
  const double beta = 0.08 * SafeExp(-0.42 * f * (v + 41.0));
  return {alpha / (alpha + beta), 1.0 / (alpha + beta) + 1.0};
}

// Gating charge z = -3 about -49 mV, all of it in the forward rate; the
// backward rate is constant.
GateRates TLyleKA::RatesL(double v, double f) {
  const double alpha = 0.04 * SafeExp(-3.0 * f * (v + 49.0));
  const double beta = 0.04;
  return {alpha / (alpha + beta), 1.0 / (alpha + beta) + 2.0};
}

double TLyleKA::Step() {
  const double f = NP().FRT;
  const GateRates n = RatesN(v(), f);
  const GateRates l = RatesL(v(), f);
  UpdateGate(NV().nA, n);
  UpdateGate(NV().lA, l);
  return Conductance(NV().nA, NV().lA, 0.0) * NP().gKA * (NV().V - NP().VK);
}

double TLyleKA::Conductance(double nA, double lA, double) const {
  return OpenFraction(nA, lA) * Unblocked(NP().IfBlockKA);
}

void TLyleKA::Init() {
  NV().nA = RatesN(v(), NP().FRT).inf;
  NV().lA = RatesL(v(), NP().FRT).inf;
}

// ---- TCumKA -----------------------------------------------------------------

GateRates TCumKA::RatesN(double v) {
  const double s = 0.022 * (v + 65.0);
  return {1.0 / (1.0 + SafeExp(-(v + 28.0) / 28.0)), 2.5 + 5.0 * SafeExp(-s * s)};
}

GateRates TCumKA::RatesL(double v) {
  const double s = 0.035 * (v + 30.0);
  return {1.0 / (1.0 + SafeExp((v + 58.0) / 7.0)), 10.5 + 100.0 * SafeExp(-s * s)};
}

double TCumKA::Step() {
  const GateRates n = RatesN(v());
  const GateRates l = RatesL(v());
  UpdateGate(NV().nA, n);
  UpdateGate(NV().lA, l);
  return Conductance(NV().nA, NV().lA, 0.0) * NP().gKA * (NV().V - NP().VK);
}

double TCumKA::Conductance(double nA, double lA, double) const {
  return IntPower(3, nA) * lA * Unblocked(NP().IfBlockKA);
}

void TCumKA::Init() {
  NV().nA = RatesN(v()).inf;
  NV().lA = RatesL(v()).inf;
}

// ---- TDestexheKM ------------------------------------------------------------

GateRates TDestexheKM::Rates(double v) {
  const double alpha = 1e-4 * LinExp(-v - 30.0, 9.0);
  const double beta = 1e-4 * LinExp(v + 30.0, 9.0);
  return FromAlphaBeta(alpha, beta);
}

double TDestexheKM::Step() {
  UpdateGate(NV().nM, Rates(v()));
  return Conductance(NV().nM, NV().zM, 0.0) * NP().gKM * (NV().V - NP().VKM);
}

double TDestexheKM::Conductance(double nM, double, double) const { return nM * Unblocked(NP().IfBlockKM); }

void TDestexheKM::Init() { NV().nM = Rates(v()).inf; }

// ---- TLyleKM ----------------------------------------------------------------

// Gating charge z = 6 about -45 mV, split 0.6 : 0.4.
GateRates TLyleKM::RatesN(double v, double f, double tauKM2, double TempFactor) {
  const double alpha = SafeExp(3.6 * f * (v + 45.0)) / tauKM2;
  const double beta = SafeExp(-2.4 * f * (v + 45.0)) / tauKM2;
  return {alpha / (alpha + beta), 1.0 / (alpha + beta) / TempFactor + 8.0};
}

GateRates TLyleKM::RatesZ(double v) { return {1.0 / (1.0 + SafeExp((v + 40.0) / 5.0)), 1000.0}; }

double TLyleKM::LocalVoltage() const {
  const bool dendrite =
      site_ == Site::Unknown ? NP().HH_order == "2-p-ActiveDend" : site_ == Site::Dendrite;
  return dendrite ? NV().VatE : NV().V;
}

double TLyleKM::Step() {
  const double u = LocalVoltage();
  const double vLocal = 1000.0 * u;
  const GateRates n = RatesN(vLocal, NP().FRT, NP().tauKM2, NP().TempFactor);
  const GateRates z = RatesZ(vLocal);
  UpdateGate(NV().nM, n);
  UpdateGate(NV().zM, z, zRelax_);
  return Conductance(NV().nM, NV().zM, 0.0) * NP().gKM * (u - NP().VKM);
}

double TLyleKM::Conductance(double nM, double zM, double) const {
  return NP().TempFactor * nM * nM * zM * Unblocked(NP().IfBlockKM);
}

void TLyleKM::Init() {
  site_ = NP().HH_order == "2-p-ActiveDend" ? Site::Dendrite : Site::Soma;
  NP().TempFactor = TemperatureFactor(NP().Temp, 23.0);
  const double vLocal = 1000.0 * LocalVoltage();
  NV().nM = RatesN(vLocal, NP().FRT, NP().tauKM2, NP().TempFactor).inf;
  NV().zM = RatesZ(vLocal).inf;
}

// ---- TLyleKD ----------------------------------------------------------------

GateRates TLyleKD::RatesX(double v, double f) { return {1.0 / (1.0 + SafeExp(-3.0 * f * (v + 63.0))), 1.0}; }

// The forward rate of the inactivation is constant.
GateRates TLyleKD::RatesY(double v, double f) {
  const double alpha = 0.0002;
  const double beta = 0.0002 * SafeExp(2.5 * f * (v + 73.0));
  return FromAlphaBeta(alpha, beta);
}

double TLyleKD::Step() {
  const double f = NP().FRT;
  const GateRates x = RatesX(v(), f);
  const GateRates y = RatesY(v(), f);
  UpdateGate(NV().xD, x, xRelax_);
  UpdateGate(NV().yD, y);
  return Conductance(NV().xD, NV().yD, 0.0) * NP().gKD * (NV().V - NP().VKD);
}

double TLyleKD::Conductance(double xD, double yD, double) const {
  return OpenFraction(xD, yD) * Unblocked(NP().IfBlockKD);
}

void TLyleKD::Init() {
  NV().xD = RatesX(v(), NP().FRT).inf;
  NV().yD = RatesY(v(), NP().FRT).inf;
}

// ---- TCumKD -----------------------------------------------------------------

GateRates TCumKD::RatesX(double v) {
  const double s = 0.022 * (v + 65.0);
  return {1.0 / (1.0 + SafeExp(-(v + 39.59) / 14.68)), 2.5 + 5.0 * SafeExp(-s * s)};
}

GateRates TCumKD::RatesY(double v) { return {1.0 / (1.0 + SafeExp((v + 48.0) / 7.0)), 7500.0}; }

double TCumKD::Step() {
  const GateRates x = RatesX(v());
  const GateRates y = RatesY(v());
  UpdateGate(NV().xD, x);
  UpdateGate(NV().yD, y, yRelax_);
  return Conductance(NV().xD, NV().yD, 0.0) * NP().gKD * (NV().V - NP().VK);
}

double TCumKD::Conductance(double xD, double yD, double) const {
  return IntPower(3, xD) * yD * Unblocked(NP().IfBlockKD);
}

void TCumKD::Init() {
  NV().xD = RatesX(v()).inf;
  NV().yD = RatesY(v()).inf;
}

// ---- TLyleH -----------------------------------------------------------------

GateRates TLyleH::Rates(double v, double f) { return {1.0 / (1.0 + SafeExp(2.0 * f * (v + 98.0))), 180.0}; }

double TLyleH::Step() {
  UpdateGate(NV().nH, Rates(v(), NP().FRT), nRelax_);
  return Conductance(NV().nH, 0.0, 0.0) * NP().gH * (NV().V - NP().VH);
}

double TLyleH::Conductance(double nH, double, double) const { return nH * Unblocked(NP().IfBlockH); }

void TLyleH::Init() { NV().nH = Rates(v(), NP().FRT).inf; }

}  // namespace membrix
