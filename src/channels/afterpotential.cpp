#include "channels/afterpotential.h"

#include "channels/channel_catalogue.h"

namespace membrix {

// --- TAHP ---------------------------------------------------------------------

TAHP::Gates TAHP::Rates(double v, double TempFactor) {
  const double tauW = 2000.0 / (3.3 * SafeExp((v + 35.0) / 20.0) + SafeExp(-(v + 35.0) / 20.0)) / TempFactor;
  const double wInf = 1.0 / (1.0 + SafeExp(-(v + 35.0) / 4.0));
  const double lInf = 1.0 / (1.0 + SafeExp((v + 40.0) / 5.0));
  return {{wInf, tauW}, {lInf, 1000.0}};
}

double TAHP::LocalV() const {
  const bool dendrite =
      site_ == Site::Unknown ? NP().HH_order == "2-p-ActiveDend" : site_ == Site::Dendrite;
  return dendrite ? NV().VatE : NV().V;
}

double TAHP::Conductance(double wAHP, double lAHP, double) const {
  return NP().TempFactor * wAHP * lAHP * (1 - NP().IfBlockAHP);
}

double TAHP::Step() {
  const double u = LocalV();
  const Gates r = Rates(1000.0 * u, NP().TempFactor);
  NeuronVariables& nv = NV();
  UpdateGate(nv.wAHP, r.w);
  UpdateGate(nv.lAHP, r.l, lRelax_);
  return Conductance(nv.wAHP, nv.lAHP, 0.0) * NP().gAHP * (u - NP().VAHP);
}

void TAHP::Init() {
  site_ = NP().HH_order == "2-p-ActiveDend" ? Site::Dendrite : Site::Soma;
  NP().TempFactor = TemperatureFactor(NP().Temp, 23.0);
  const Gates r = Rates(1000.0 * LocalV(), NP().TempFactor);
  NV().wAHP = r.w.inf;
  NV().lAHP = r.l.inf;
}

// --- TWhiteAHP ----------------------------------------------------------------

double TWhiteAHP::CaDrive(double gCaH, double mCaH, double v, double VCa) {
  return -0.12 * gCaH * mCaH * (v - 1000.0 * VCa);
}

GateRates TWhiteAHP::Rates(double c) { return {1.0 / (1.0 + SafeExp(-(c - 0.018) / 2.5e-5)), 70.0}; }

double TWhiteAHP::Conductance(double wAHP, double, double) const { return wAHP * (1 - NP().IfBlockAHP); }

double TWhiteAHP::Step() {
  NeuronVariables& nv = NV();
  // mCaH as the White Ca channel left it in its last step.
  const GateRates r = Rates(CaDrive(NP().gCaH, nv.mCaH, v(), NP().VCa));
  UpdateGateEuler(nv.wAHP, r, wFactor_);
  return Conductance(nv.wAHP, 0.0, 0.0) * NP().gAHP * (nv.V - NP().VK);
}

void TWhiteAHP::Init() { NV().wAHP = Rates(CaDrive(NP().gCaH, NV().mCaH, v(), NP().VCa)).inf; }

// --- TADP ---------------------------------------------------------------------

GateRates TADP::Rates(double v, double tADP) {
  return {1.0 / (1.0 + SafeExp(-(v + 25.0) / 20.0)), 1000.0 * tADP};
}

double TADP::Conductance(double wADP, double, double) const { return wADP * (1 - NP().IfBlockADP); }

double TADP::Step() {
  NeuronVariables& nv = NV();
  const GateRates r = Rates(v(), NP().tADP);
  UpdateGateEuler(nv.wADP, r, wFactor_);
  return Conductance(nv.wADP, 0.0, 0.0) * NP().gADP * (nv.V - NP().VADP);
}

void TADP::Init() { NV().wADP = Rates(v(), NP().tADP).inf; }

unsigned TWhiteAHP::SlotsRead() const { return 1u << static_cast<int>(Slot::CaH); }

}  // namespace membrix
