#include "params/model_defaults.h"

#include <array>
#include <string_view>

#include "run/run_globals.h"
#include "run/session.h"

namespace membrix {

namespace {

// Ratio of dendritic to somatic conductance of the two-compartment geometries.
constexpr double kCommonRo = 37.0 / 13.0;

using Coefficients = std::array<double, 4>;

void NaCoefficients(NeuronProperties& np, Coefficients a, Coefficients b, Coefficients c, Coefficients d) {
  np.a1Na = a[0]; np.a2Na = a[1]; np.a3Na = a[2]; np.a4Na = a[3];
  np.b1Na = b[0]; np.b2Na = b[1]; np.b3Na = b[2]; np.b4Na = b[3];
  np.c1Na = c[0]; np.c2Na = c[1]; np.c3Na = c[2]; np.c4Na = c[3];
  np.d1Na = d[0]; np.d2Na = d[1]; np.d3Na = d[2]; np.d4Na = d[3];
}

void NaRCoefficients(NeuronProperties& np, Coefficients a, Coefficients b, Coefficients c, Coefficients d) {
  np.a1NaR = a[0]; np.a2NaR = a[1]; np.a3NaR = a[2]; np.a4NaR = a[3];
  np.b1NaR = b[0]; np.b2NaR = b[1]; np.b3NaR = b[2]; np.b4NaR = b[3];
  np.c1NaR = c[0]; np.c2NaR = c[1]; np.c3NaR = c[2]; np.c4NaR = c[3];
  np.d1NaR = d[0]; np.d2NaR = d[1]; np.d3NaR = d[2]; np.d4NaR = d[3];
}

// The geometries as the family values name them.
bool OnePoint(const NeuronProperties& np) { return np.HH_order == "1-point"; }
bool TwoPointsOrActiveDend(const NeuronProperties& np) {
  return np.HH_order == "2-points" || np.HH_order == "2-p-ActiveDend";
}
bool TwoCompartments(const NeuronProperties& np) {
  return TwoPointsOrActiveDend(np) || np.HH_order == "2-p-MainenSejn";
}

// The somatic area of a family given for one compartment, scaled so that the
// soma and its dendrite together keep the input conductance of that compartment.
double TwoCompartmentArea(double square) { return square * (3.0 + kCommonRo) / (2.0 * kCommonRo + 3.0); }

void CommonDefaults(NeuronProperties& np, double& Vus) {
  np.Cm = 0.001;
  np.ro = kCommonRo;
  np.l = 1.0;
  np.Vrest = -0.064;
  np.tau_m = 0.021;
  np.Square = 1.3 * np.tau_m / np.Cm * 1e-6;
  np.gL = np.Cm / np.tau_m;
  np.gLd = np.gL;
  np.VLd = np.Vrest;
  np.Ca_rest = 0.00024;
  np.Ca0 = 2.0;
  np.Ca_depth = 0.0001;
  np.tauCa = 0.005;
  np.R_gas = 8.314;
  np.Temp = 309;
  np.F_Faraday = 96485;

  Vus = -0.065;

  np.gNa = np.gNaR = np.gK = np.gKM = np.gKA = np.gKD = np.gCaH = np.gKCa = np.gADP = np.gAHP = np.gCaT =
      np.gBst = np.gNaP = np.gH = 0.0;
  np.VKn = np.VKM = np.VKD = 0.0;
  np.VADP = 0.12;
  np.VK = -0.07;
  np.VAHP = 0.0;

  np.dwADP = np.dwAHP = 0.0177;
  np.tADP = 0.01;
  np.dnKCa = 0.0;
  np.dnM = 0.175;
  np.dyD = -0.3;
  np.dii = 0.0;
  np.dlAHP = np.dzM = -0.003;
  np.dT_AP = 0.0;
  np.VresetDend = np.Vrest;

  np.Mg = 2.0;
  np.E_NMDA = 0.0;
  np.tauKM2 = 333;
  np.NaThreshShift = 0.0;
  np.KThreshShift = 0.0;
  np.IfSet_gL_or_tau = 2;
}

// ---- The families. Each writes only the values it names; Na_type and NaR_type come last.

void Rariza(NeuronProperties& np) {
  np.gNa = 120; np.gK = 36; np.gL = 0.3;
  np.Vrest = -0.06; np.VresetDend = np.Vrest; np.VL = -0.05;
  np.Tr_Na = -60;
  np.VNa = 0.055; np.VNaR = 0.055; np.VK = -0.072; np.VKM = np.VK;
  NaCoefficients(np, {0.1, 25, 10, 1}, {4, 0, 18, 0}, {0.07, 0, 20, 0}, {1, 30, 10, -1});
  np.a1K = 0.01; np.a2K = 10; np.a3K = 10; np.b1K = 0.125; np.b2K = 0; np.b3K = 80;
  np.n_AP = 0.72; np.dT_AP = 0.00195; np.dii = -0.02;
  np.IfSet_gL_or_tau = 1; np.IfSet_VL_or_Vrest = 1;
  np.Na_type = "Rariza"; np.NaR_type = "Rariza";
}

void Destexhe(NeuronProperties& np) {
  np.gNa = 7; np.gK = 10; np.gKM = 0.5; np.gCaH = 1; np.gKCa = 1.5;
  np.Tr_Na = -63;
  np.VNa = 0.05; np.VNaR = 0.05; np.VK = -0.09; np.VKM = np.VK;
  NaCoefficients(np, {0.32, 13, 4, 1}, {-0.28, 40, -5, 1}, {0.128, 17, 18, 0}, {4, 40, 5, -1});
  np.n_AP = 0.5; np.dii = -0.02;
  np.Na_type = "Rariza"; np.NaR_type = "Rariza";
}

void Migliore(NeuronProperties& np) {
  np.gNa = 32; np.gK = 10; np.gKA = 0;
  np.VNa = 0.055; np.VK = -0.072;
  if (OnePoint(np)) np.n_AP = 0.17;
  if (TwoPointsOrActiveDend(np)) np.n_AP = 0.07;
  np.dii = -0.1;
  np.Na_type = "Migliore"; np.NaR_type = "Migliore";
}

void Cummins(NeuronProperties& np) {
  np.gNa = 35; np.gK = 2.1; np.gL = 0.14; np.VL = -0.0543;
  np.Tr_Na = 0;
  np.VNa = 0.06294; np.VNaR = 0.06294; np.VK = -0.09234;
  np.gNaR = 6.9; np.dii = -0.4;
  np.Na_type = "Cummins"; np.NaR_type = "Cummins";
}

void Chow(NeuronProperties& np) {
  np.Square = 0.0001;
  if (TwoPointsOrActiveDend(np)) np.Square = TwoCompartmentArea(np.Square);
  np.gNa = 30; np.gK = 40; np.gL = 0.1;
  np.Vrest = -0.06; np.VresetDend = np.Vrest;
  np.Tr_Na = 0;
  np.VNa = 0.045; np.VK = -0.08;
  if (OnePoint(np)) np.n_AP = 0.45;
  if (TwoPointsOrActiveDend(np)) np.n_AP = 0;
  np.dT_AP = 0.0014;
  np.IfSet_gL_or_tau = 1; np.IfSet_VL_or_Vrest = 2;
  np.Na_type = "Chow"; np.NaR_type = "Chow";
}

void Naundorf(NeuronProperties& np) {
  np.Square = 0.0001;
  np.gNa = 35; np.gK = 9; np.gL = 0.1;
  np.Vrest = -0.065; np.VresetDend = np.Vrest; np.VL = -0.065;
  np.Tr_Na = 0;
  np.VNa = 0.055; np.VK = -0.09;
  if (OnePoint(np)) np.n_AP = 0.68;
  if (TwoPointsOrActiveDend(np)) np.n_AP = 0.66;
  np.dT_AP = 0.0014;
  np.IfSet_gL_or_tau = 1; np.IfSet_VL_or_Vrest = 2;
  np.KJ_NaCooperativity = 10;
  np.Na_type = "Naundorf"; np.NaR_type = "";
}

void White(NeuronProperties& np) {
  np.Cm = 0.0015; np.Square = 0.0001;
  np.gNa = 20; np.gCaH = 0.025; np.gK = 3.65; np.gAHP = 0.18; np.gL = 0.02;
  np.VL = -0.07; np.VNa = 0.045; np.VCa = 0.12; np.VK = -0.095;
  np.IfSet_gL_or_tau = 1; np.IfSet_VL_or_Vrest = 1;
  np.Na_type = "White"; np.NaR_type = "";
}

void White2(NeuronProperties& np) {
  np.Cm = 0.0015; np.Square = 0.0001;
  np.gL = 0.03; np.VL = -0.065;
  np.Vrest = -0.065; np.VresetDend = np.Vrest;
  np.VNa = 0.05;
  np.IfSet_gL_or_tau = 1; np.IfSet_VL_or_Vrest = 3;  // neither VL nor Vrest is derived
  np.ThrModel = 1;
  np.FixThr = 0.015 - np.VL; np.dThr_dts = 0;
  np.Na_type = "White2"; np.NaR_type = "";
}

void Shu(NeuronProperties& np) {
  np.NaThreshShift = 14;
  np.Square = 0.0001;
  if (TwoPointsOrActiveDend(np)) np.Square = TwoCompartmentArea(np.Square);
  np.gNaR = 0; np.gNa = 13.7; np.gK = 0.68; np.gL = 0.05;
  np.Vrest = -0.065; np.VresetDend = np.Vrest;
  np.Tr_Na = 0;
  np.VNa = 0.06; np.VK = -0.09; np.Temp = 309;
  if (OnePoint(np)) np.n_AP = 0.91;
  if (TwoPointsOrActiveDend(np)) np.n_AP = 1.0;
  np.dT_AP = 0.0014;
  np.IfSet_gL_or_tau = 1; np.IfSet_VL_or_Vrest = 2;
  np.IfBlockNaR = 0;
  np.Na_type = "Shu"; np.NaR_type = "Shu";
}

// A soma with a dendrite 165 times its area; the leaks mix K and Na.
void Bazhenov(NeuronProperties& np) {
  np.Cm = 0.00075; np.Square = 1e-6;
  np.gNaR = 0; np.gNa = 3450; np.gK = 200; np.gL = 0.0718; np.gLd = 0.074;
  np.l = 2 * np.gLd * 165 * np.Square / 0.0001;
  np.VNa = 0.05; np.VK = -0.09;
  np.VL = (0.01 * np.VK + 0.042 * np.VK + 0.0198 * np.VNa) / 0.0718;
  np.VLd = (0.01 * np.VK + 0.044 * np.VK + 0.02 * np.VNa) / 0.074;
  np.ro = 165 * np.gLd / np.gL;
  np.VAHP = -0.07;
  np.n_AP = 0.5; np.dT_AP = 0.0014; np.FixThr = 0.004;
  np.IfSet_gL_or_tau = 1; np.IfSet_VL_or_Vrest = 1;
  np.Na_type = "Bazhenov";
}

void Lyle(NeuronProperties& np) {
  np.Cm = 0.0007; np.tau_m = 0.0144;
  const double square = np.tau_m / np.Cm / 39000;
  if (OnePoint(np)) np.Square = square;
  if (TwoCompartments(np)) np.Square = TwoCompartmentArea(square);
  np.gNaR = 0; np.gNa = 2.28; np.gK = 0.76; np.gKA = 4.36; np.gKM = 0.76; np.gKD = 0.095; np.gAHP = 0.6;
  np.gH = 0.0057;
  np.Vrest = -0.065; np.VresetDend = -0.05;
  np.VNa = 0.065; np.VKn = -0.07; np.VK = -0.07; np.VKM = -0.08; np.VKD = -0.095; np.VH = -0.017;
  np.Temp = 296;
  np.n_AP = 0.262; np.yK_AP = 0.473; np.nA_AP = 0.743; np.lA_AP = 0.691; np.dT_AP = 0.0015;
  np.dwADP = 0.0177; np.dwAHP = 0.0177; np.nH_AP = 0.002; np.xD_AP = 0.96;
  if (TwoCompartments(np)) {
    np.n_AP = 0.12; np.nA_AP = 0.6; np.lA_AP = 0.63; np.dnM = 0.11; np.dwAHP = 0.01;
  }
  if (np.HH_order == "2-p-ActiveDend") {
    np.nA_AP = 0.65; np.lA_AP = 0.63; np.VresetDend = -0.045;
  }
  np.IfSet_gL_or_tau = 2; np.IfSet_VL_or_Vrest = 2;
  np.Na_type = "Lyle"; np.Na_subtype = "Lyle-4"; np.NaR_type = "Lyle"; np.NaR_subtype = "Lyle-4";
}

struct FamilyRow {
  std::string_view HH_type;
  void (*values)(NeuronProperties&);
};

// "Passive" has no row: it keeps the common defaults.
constexpr FamilyRow kFamilies[] = {
    {"Rariza", &Rariza}, {"Destexhe", &Destexhe}, {"Migliore", &Migliore}, {"Cummins", &Cummins},
    {"Chow", &Chow},     {"Naundorf", &Naundorf}, {"White", &White},       {"White2", &White2},
    {"Shu", &Shu},       {"Bazhenov", &Bazhenov}, {"Lyle", &Lyle},
};

void FamilyValues(NeuronProperties& np) {
  for (const FamilyRow& row : kFamilies) {
    if (row.HH_type == np.HH_type) row.values(np);
  }
}

void ClosingItems(NeuronProperties& np) {
  // A K-type reversal no family gave is the K reversal.
  for (double* v : {&np.VKn, &np.VKM, &np.VKD, &np.VAHP}) {
    if (*v == 0.0) *v = np.VK;
  }
  if (np.IfSet_VL_or_Vrest == 0) np.IfSet_VL_or_Vrest = 2;
  // The threshold neuron spikes by its rule, not by its Na channels. A passive
  // membrane has no Na to remove and is reset to its rest.
  if (np.ThrModel == 1 && np.HH_type != "Passive") {
    np.gNa = np.gNaR = 0.0;
    np.Vreset = -0.04;
  } else {
    np.Vreset = np.Vrest;
  }
  if (np.HH_type == "White2") {
    np.gNa = 6.0;
    np.Vreset = -0.065;
  }
  np.k_a = 0.0041;
  np.tau_Thr = 0.002;
  np.Vthr_AP = 0.05;
  np.dVTdV = 0.8;
  np.DepBlock = 0.4;
}

void ResurgentNaCoefficients(NeuronProperties& np) {
  np.Tr_NaR = -60;
  NaRCoefficients(np, {0.043, 30, 3.85, 1}, {0.52, 0, 65, 0}, {0.042, 0, 8.6, 0}, {0.5, 65, 12, -1});
  np.VNaR = 0.031;
  if (np.NaR_type == "Rariza") {
    // The resurgent channel with the transient channel's kinetics.
    np.Tr_NaR = np.Tr_Na;
    NaRCoefficients(np, {np.a1Na, np.a2Na, np.a3Na, np.a4Na}, {np.b1Na, np.b2Na, np.b3Na, np.b4Na},
                    {np.c1Na, np.c2Na, np.c3Na, np.c4Na}, {np.d1Na, np.d2Na, np.d3Na, np.d4Na});
    np.VNaR = np.VNa;
  } else if (np.NaR_type == "Cummins") {
    np.Tr_NaR = 0;
    NaRCoefficients(np, {1.032, -6.99, 14.87, -1}, {5.79, -130.4, -22.9, -1}, {0.06435, -73.26, -3.72, -1},
                    {0.135, -10.28, 9.093, -1});
    np.VNaR = np.VNa;
  }
}

}  // namespace

void SetDefaults(NeuronProperties& np, double& Vus) {
  CommonDefaults(np, Vus);
  FamilyValues(np);
  ClosingItems(np);
  ResurgentNaCoefficients(np);
}

void SetDefaults(Session& s) { SetDefaults(s.NP0, s.stim.Vus); }

void ApplyProgramStartValues(Session& s) {
  s.run.n_Draw = s.run.n_Write = 5;
  s.rec.Smpl = 1;
  s.stim.Pipette.G1 = s.stim.Pipette.C1 = 0.0;
  s.stim.Iind = 100.0;
  s.stim.du_Reset = 0.0;
  s.stim.ss = s.stim.uu = s.stim.gNMDA = 0.0;
  s.prog.NoiseToSignal = 0.0;
  s.prog.FC_dFdu = 700.0;
  s.prog.FC_I0 = 0.01;
  s.prog.FC_freq = 0.0;
  s.prog.tau_E = 0.02;
  s.prog.tau_I = 0.05;
  s.stim.t_Iind = 0.05;
  s.stim.t_IindShift = 0.0;
  s.run.t_end = 0.02;
  s.prog.sc_Simplex = 1.0;
  s.run.Writing = 0;
  s.prog.KeepParams = 0;
  s.run.dt = 5e-5;
  s.rec.NSmpls = 1;
  s.run.nt_end = StepCount(s.run.t_end, s.run.dt);
  s.rec.scx_Smpl = 0.001;
  s.rec.scy_Smpl = -1.0;

  NeuronProperties& np = s.NP0;
  np.HH_type = "Migliore";
  np.HH_order = "1-point";
  np.NaR_type = "Rariza";
  np.NaR_subtype = "Milescu-26";
  np.If_I_V_or_g = 2;
  np.n_AP = 0.5;
  np.IfBlockNaR = 1;
  np.IfBlockNa = np.IfBlockK = np.IfBlockPass = 0;
  np.Thr_type = "Default-2";
}

void ApplyStartupSet(Session& s) {
  s.NP0.HH_type = "Lyle";
  SetDefaults(s);
  SetRunLength(s.run, 0.6);
  s.stim.t_Iind = 1.0;
  s.stim.t_IindShift = 0.0;
  s.stim.Iind = 0.0;
  s.stim.Freq_Iind = 0.0;
  s.stim.uu = 0.004;
  s.stim.ss = 0.1;
  s.prog.NoiseToSignal = 0.0;
  s.NP0.IfBlockNa = s.NP0.IfBlockK = s.NP0.IfBlockKM = s.NP0.IfBlockPass = s.NP0.IfBlockNaR = 0;
  s.NP0.If_I_V_or_g = 2;
  s.prog.FC_dFdu = 16667;
  s.prog.FC_I0 = 0.0008;
  s.prog.FC_freq = 100;
  s.prog.tau_E = 0.3;
  s.prog.tau_I = 0.18;
  if (s.prog.KeepParams == 0) s.prog.KeepParams = 1;
}

void ApplyProgramStart(Session& s) {
  ApplyProgramStartValues(s);
  s.NP0.Imported.clear();  // the start-up neuron has its family's channels only
  SetDefaults(s);
  ApplyStartupSet(s);
}

}  // namespace membrix
