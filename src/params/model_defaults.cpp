#include "params/model_defaults.h"

#include "run/run_globals.h"
#include "run/session.h"

namespace membrix {

namespace {

void CommonDefaults(NeuronProperties& np, double& Vus) {
  np.Cm = 0.001;
  np.ro = 37.0 / 13.0;
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

// The values of the record's family and geometry. A family without values of
// its own ("Passive") keeps the common defaults.
void FamilyValues(NeuronProperties& np) { (void)np; }

void ClosingItems(NeuronProperties& np) {
  for (double* v : {&np.VKn, &np.VKM, &np.VKD, &np.VAHP}) {
    if (*v == 0.0) *v = np.VK;
  }
  if (np.IfSet_VL_or_Vrest == 0) np.IfSet_VL_or_Vrest = 2;
  if (np.ThrModel == 1) {
    if (np.HH_type != "Passive") {
      np.gNa = np.gNaR = 0.0;
      np.Vreset = -0.04;
    }
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

void ResurgentNaCoefficients(NeuronProperties& np) { (void)np; }

}  // namespace

void SetDefaults(NeuronProperties& np, double& Vus) {
  CommonDefaults(np, Vus);
  FamilyValues(np);
  ClosingItems(np);
  ResurgentNaCoefficients(np);
}

void ApplyStartupSet(Session& s) {
  // Until the channel families exist the start-up neuron is passive.
  s.NP0.HH_type = "Passive";
  SetDefaults(s.NP0, s.stim.Vus);
  SetRunLength(s.run, 0.6);
  s.stim.t_Iind = 1.0;
  s.stim.t_IindShift = 0.0;
  s.stim.Iind = 0.0;
  s.stim.Freq_Iind = 0.0;
  s.stim.uu = 0.004;
  s.stim.ss = 0.1;
  s.NP0.IfBlockNa = s.NP0.IfBlockK = s.NP0.IfBlockKM = s.NP0.IfBlockPass = s.NP0.IfBlockNaR = 0;
  s.NP0.If_I_V_or_g = 2;
}

void ApplyProgramStart(Session& s) {
  s.run.n_Draw = s.run.n_Write = 5;
  s.rec.Smpl = 1;
  s.stim.Pipette.G1 = s.stim.Pipette.C1 = 0.0;
  s.stim.Iind = 100.0;
  s.stim.du_Reset = 0.0;
  s.stim.ss = s.stim.uu = s.stim.gNMDA = 0.0;
  s.stim.t_Iind = 0.05;
  s.stim.t_IindShift = 0.0;
  s.run.Writing = 0;
  s.run.dt = 5e-5;
  SetRunLength(s.run, 0.02);
  s.rec.NSmpls = 1;
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
  SetDefaults(np, s.stim.Vus);
  ApplyStartupSet(s);
}

}  // namespace membrix
