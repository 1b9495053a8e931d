#include "ions/ion_dynamics.h"

#include <cmath>
#include <memory>

#include "common/number_format.h"
#include "neuron/neuron.h"
#include "run/session.h"

namespace membrix {

namespace {

// The four-state Smith-Crampin cycle: physical constants, metabolites, the
// dissociation constants and the rate constants of its four transitions.
struct SmithCrampinConstants {
  double T = 310.0, R = 8.314, F = 96485.0;
  double MgATP = 9.8, MgADP = 0.05, Pi = 4.2, H = 1e-7, KdH = 6.77;
  double KdKPi = 292.0, KdNaPi = 224.0;
  double k1p = 1050.0, k1m = 172.1, k2p = 481.0, k2m = 40.0, k3p = 2000.0, k3m = 79300.0, k4p = 320.0,
         k4m = 40.0;
  double KNao0 = 15.5, KNai0 = 2.49, KKo = 0.213, KKi = 0.5, KMgATP = 2.51;
  double delta = -0.031;
  double norm = 27.338758122549248;  // makes the turnover at saturation about 1
};
constexpr SmithCrampinConstants kSC{};

// Dobretsov-Stimers: K affinity, Hill exponents for Na and K, half-activation
// voltage and the floor of the voltage dependence.
struct DobretsovStimersConstants {
  double KKo = 2.0, nNa = 1.8, nK = 1.4, V0 = -64.6, b = 0.25;
};
constexpr DobretsovStimersConstants kDS{};

double Cube(double x) { return x * x * x; }

double SmithCrampinRate(double V, double alpha, double Nai, double Ki, double Nao, double Ko) {
  const auto& c = kSC;
  const double phi = c.F * V / (3.0 * c.R * c.T);
  const double KNao = c.KNao0 * std::exp((1.0 + c.delta) * phi);
  const double KNai = c.KNai0 * std::exp(c.delta * phi) * alpha / 50.0;
  const double n = Nai / KNai;
  const double k = Ki / c.KKi;
  const double no = Nao / KNao;
  const double ko = Ko / c.KKo;
  const double m = c.MgATP / c.KMgATP;
  const double P = c.Pi / (1.0 + Ki / c.KdKPi + c.H / c.KdH + Nai / c.KdNaPi);
  const double inner = Cube(1.0 + n) + (1.0 + k) * (1.0 + k) - 1.0;
  const double outer = Cube(1.0 + no) + (1.0 + ko) * (1.0 + ko) - 1.0;
  const double a1 = c.k1p * Cube(n) / inner;
  const double a2 = c.k2p;
  const double a3 = c.k3p * ko * ko / outer;
  const double a4 = c.k4p * m / (1.0 + m);
  const double b1 = c.k1m * c.MgADP;
  const double b2 = c.k2m * Cube(no) / outer;
  const double b3 = c.k3m * P * c.H / (1.0 + m);
  const double b4 = c.k4m * k * k / inner;
  const double D = a1 * a2 * a3 + a4 * a1 * a2 + a3 * a4 * a1 + a2 * a3 * a4 + b1 * b4 * b3 + b2 * b1 * b4 +
                   b4 * b3 * b2 + b3 * b2 * b1 + a4 * b2 * b1 + a4 * b2 * a1 + b4 * a2 * a3 + b4 * a2 * b3 +
                   a1 * a2 * b3 + a1 * b3 * b2 + b1 * b4 * a3 + b1 * a4 * a3;
  return (a1 * a2 * a3 * a4 - b1 * b2 * b3 * b4) / (D * c.norm);
}

// Below this a concentration is taken as this inside a Nernst potential, so
// that a concentration driven to zero gives a large but finite potential.
constexpr double kMinConcentration = 0.01;

double Nernst(double outside, double inside) {
  return kRTF * std::log(outside / (inside > kMinConcentration ? inside : kMinConcentration));
}

// The Nernst potential an imported channel follows: its ion's, or none.
const double* IonReversal(const TIons& ions, const std::string& species) {
  if (species == "na") return &ions.ENa;
  if (species == "k") return &ions.EK;
  return nullptr;
}

}  // namespace

double TIons::ImportedCurrent(const NeuronProperties& np, const NeuronVariables& nv, std::string_view species) {
  double I = 0.0;
  for (std::size_t k = 0; k < np.Imported.size(); ++k) {
    if (np.Imported[k].kinetics.species == species) I += nv.IImported[k];
  }
  return 1000.0 * I;
}

double TIons::PumpRate(double V, double alpha, double dV) const {
  const double v = 1000.0 * V;
  switch (PumpType) {
    case 0: {
      const double k = 1.0 + KdKo / Ko;
      return 1.0 / (k * k * Cube(1.0 + alpha / Nai));
    }
    case 1: return 1.0 / (1.0 + std::exp(3.5 - Ko)) * (1.0 / (1.0 + std::exp((alpha - Nai) / 3.0)));
    case 2: return SmithCrampinRate(V, alpha, Nai, Ki, Nao, Ko);
    case 3: {
      const double na = std::pow(Nai, kDS.nNa);
      const double k = std::pow(Ko, kDS.nK);
      return na / (std::pow(alpha, kDS.nNa) + na) * (k / (std::pow(kDS.KKo, kDS.nK) + k)) *
             (kDS.b + (1.0 - kDS.b) / (1.0 + std::exp((kDS.V0 - v) / dV)));
    }
    default: return 0.0;
  }
}

double TIons::PumpCurrent(double V) const {
  return NaK1 * PumpRate(V, Nai_alpha1, dV1) + NaK2 * PumpRate(V, Nai_alpha2, dV2);
}

void TIons::UpdateNernst() {
  ECl = kRTF * std::log((Cli > kMinConcentration ? Cli : kMinConcentration) / Clo);
  EK = Nernst(Ko, Ki);
  ENa = Nernst(Nao, Nai);
  const double g = gL_Cl + gL_K + gL_Na;
  if (g != 0.0) {
    EL = (gL_Cl * ECl + gL_K * EK + gL_Na * ENa) / g;
  } else {
    // Without a leak the weights are the fractions of the leak each ion would
    // carry, so that the leak's reversal stays defined.
    EL = (1.0 - gL_K_ratio - gL_Na_ratio) * ECl + gL_K_ratio * EK + gL_Na_ratio * ENa;
  }
}

void TIons::Setup(NeuronProperties& np, const IonInputs& in) {
  IonDynamics = in.IonDynamics;
  IfVolume = in.IfVolume;
  if (IonDynamics == 0) return;
  Cli = 5.0, Clo = 130.0;
  Ko = 2.5, Nao = 125.9;
  Ki = 129.34, Nai = 10.0;
  gL_K_ratio = in.gL_K_ratio;
  gL_Na_ratio = in.gL_Na_ratio;
  gL_K = np.gL * gL_K_ratio;
  gL_Na = np.gL * gL_Na_ratio;
  gL_Cl = np.gL - gL_K - gL_Na;
  gKLB = 0.042, gNaLB = 0.022;
  KdKo = 2.5;
  PumpType = in.PumpType;
  KCC2Type = in.KCC2Type;
  NaK1 = in.NaK1, NaK2 = in.NaK2;
  Nai_alpha1 = in.Nai_alpha1, Nai_alpha2 = in.Nai_alpha2;
  dV1 = in.dV1, dV2 = in.dV2;
  KCC2 = in.KCC2, NKCC1 = in.NKCC1;
  beta = in.beta, gamma = in.gamma;
  tauVol = 0.25;

  IpumpRest = PumpCurrent(np.Vrest);
  I_Na_K_pump = IpumpRest;
  Vol = 1.0;
  UpdateNernst();
  VL_Item = in.VL_Item;

  Bazhenov = np.HH_type == "Bazhenov";
  if (Bazhenov) {
    // The dendrite takes the whole leak; the soma keeps a fixed K and Na leak.
    np.gLd = gL_Cl + gL_K + gL_Na;
    np.gL = gKLB + gNaLB;
    np.l = 2.0 * 1.65e-4 * 10000.0 * np.gLd;
    np.VLd = EL;
    np.VL = (gKLB * EK + gNaLB * ENa) / (gKLB + gNaLB);
    np.ro = 165.0 * np.gLd / np.gL;
    np.Ipump = np.IpumpDend = IpumpRest / 1000.0;
  }

  dVAHPoff = np.VAHP - EK;
  dVKoff = np.VK - EK;
  dVKnoff = np.VKn - EK;
  dVKMoff = np.VKM - EK;
  dVKDoff = np.VKD - EK;
  dVNaoff = np.VNa - ENa;
  dVLoff = np.VL - EL;
  dVLdoff = np.VLd - EL;
  dVImportedOff.fill(0.0);
  for (std::size_t k = 0; k < np.Imported.size() && k < dVImportedOff.size(); ++k) {
    if (const double* E = IonReversal(*this, np.Imported[k].kinetics.species)) dVImportedOff[k] = np.Imported[k].E - *E;
  }
}

TIons::Drive TIons::DriveAt(const NeuronProperties& np, const NeuronVariables& nv) {
  const double V = nv.V;
  // Leak currents, muA/cm^2.
  const double IKL = 1000.0 * (V - EK) * gL_K;
  const double INaL = 1000.0 * (V - ENa) * gL_Na;
  I_Na_K_pump = PumpCurrent(V);
  // Cotransport: KCC2 moves K and Cl out, NKCC1 moves Na, K and 2 Cl in.
  double J1 = 0.0;
  if (KCC2Type == 0) {
    J1 = KCC2 * 1000.0 * (EK - ECl) / (1000.0 * (EK - ECl) + 40.0);
  } else if (KCC2Type == 1) {
    J1 = KCC2 * (EK - ECl) / kRTF;
  }
  const double J2 = NKCC1 * (ENa + EK - 2.0 * ECl) / kRTF;
  const double r = IfVolume == 1 ? gamma * beta * 0.018 / 1000.0 * (500.0 * J1 + 590.0 * J2) : 0.0;

  const double INaIn = NaChannelCurrent(nv) + ImportedCurrent(np, nv, "na");
  const double IKIn = 1000.0 * nv.IKsum + ImportedCurrent(np, nv, "k");
  return {(1.0 - Vol) / tauVol - r, 2.0 * I_Na_K_pump - (IKL + IKIn) + J1 + J2,
          -INaL - INaIn - 3.0 * I_Na_K_pump + J2};
}

void TIons::Advance(NeuronProperties& np, const NeuronVariables& nv, double dt) {
  if (IonDynamics == 0) return;
  const Drive drive = DriveAt(np, nv);
  const double h = 1000.0 * dt;  // ms
  const double dVol = h * drive.volume;
  const double dKi = h * gamma * drive.K;
  const double dNai = h * gamma * drive.Na;
  Vol += dVol;
  Ki += dKi;
  Nai += dNai;
  ApplyTo(np);
}

TIons::Rates TIons::RatesAt(const NeuronProperties& np, const NeuronVariables& nv) {
  const Drive drive = DriveAt(np, nv);
  return {1000.0 * drive.volume, 1000.0 * gamma * drive.K, 1000.0 * gamma * drive.Na};
}

void TIons::ApplyTo(NeuronProperties& np) {
  UpdateNernst();

  np.VAHP = EK + dVAHPoff;
  np.VK = EK + dVKoff;
  np.VKn = EK + dVKnoff;
  np.VKM = EK + dVKMoff;
  np.VKD = EK + dVKDoff;
  np.VNa = ENa + dVNaoff;
  for (std::size_t k = 0; k < np.Imported.size() && k < dVImportedOff.size(); ++k) {
    if (const double* E = IonReversal(*this, np.Imported[k].kinetics.species)) {
      np.Imported[k].E = *E + (!Bazhenov && VL_Item == 1 ? 0.0 : dVImportedOff[k]);
    }
  }

  if (Bazhenov) {
    np.VLd = np.gLd != 0.0 ? (gL_Cl * ECl + gL_K * EK + gL_Na * ENa) / np.gLd : EL;
    np.VL = (gKLB * EK + gNaLB * ENa) / np.gL;
  } else if (VL_Item == 1) {
    np.VL = np.VLd = EL;
    np.VAHP = np.VK = np.VKn = np.VKM = np.VKD = EK;
    np.VNa = ENa;
    np.gL = gL_Cl + gL_K + gL_Na;
  } else if (VL_Item == 2) {
    np.VL = EL + dVLoff;
    np.VLd = EL + dVLdoff;
  }

  np.Ipump = np.IpumpDend = (I_Na_K_pump - IpumpRest) / 1000.0;
}

void TIons::WriteLine(const Session& s, std::string& line) const {
  if (IonDynamics == 0) return;
  AppendFixed(line, s.run.t * 1000.0, 8, 3);
  line += ' ';
  AppendFixed(line, s.NV0.V * 1000.0, 8, 3);
  line += ' ';
  AppendFixed(line, I_Na_K_pump, 10, 3);
  AppendFixed(line, Nai, 8, 3);
  AppendFixed(line, ENa * 1000.0, 8, 3);
  AppendFixed(line, Ki, 8, 3);
  line += "  ";
  AppendFixed(line, EK, 8, 3);
  line += " \n";
}

PumpCharacteristics PlotPumpCharacteristics(Session& s) {
  s.ionInputs.IonDynamics = 1;
  std::unique_ptr<TNeuron> nrn = CreateNeuron(s.NP0, s.View());
  nrn->InitState();
  TIons ions;
  ions.Setup(nrn->NP, s.ionInputs);
  const double Nai = ions.Nai;
  const double Ko = ions.Ko;
  PumpCharacteristics pc;
  auto add = [&ions](PumpCurve& c, double x, double V) {
    c.x.push_back(x);
    c.alpha1.push_back(ions.NaK1 * ions.PumpRate(V, ions.Nai_alpha1, ions.dV1));
    c.alpha2.push_back(ions.NaK2 * ions.PumpRate(V, ions.Nai_alpha2, ions.dV2));
  };
  ions.Ko = 100.0;
  for (int i = 1; i <= 100; ++i) {
    ions.Nai = i;
    add(pc.ofNai, ions.Nai, 0.02);
  }
  ions.Nai = 200.0;
  for (int i = 1; i <= 100; ++i) {
    ions.Ko = 0.5 * i;
    add(pc.ofKo, ions.Ko, 0.02);
  }
  ions.Ko = 100.0;
  for (int v = -100; v <= 0; ++v) add(pc.ofV, v, v / 1000.0);
  ions.Nai = Nai;
  ions.Ko = Ko;
  return pc;
}

}  // namespace membrix
