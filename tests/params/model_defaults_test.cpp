#include "params/model_defaults.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "run/session.h"

namespace membrix {
namespace {

constexpr double kRo = 37.0 / 13.0;  // dendritic to somatic conductance of the common defaults

// Conductances in mS/cm² and dimensionless gates are compared to 1e-9, voltages
// to 1 nV, areas to 1e-12 cm²: far below anything a run could tell apart.
constexpr double kTol = 1e-9;
constexpr double kAreaTol = 1e-12;

constexpr std::array<double NeuronProperties::*, 14> kConductances = {
    &NeuronProperties::gNa,  &NeuronProperties::gNaR, &NeuronProperties::gK,   &NeuronProperties::gKM,
    &NeuronProperties::gKA,  &NeuronProperties::gKD,  &NeuronProperties::gCaH, &NeuronProperties::gKCa,
    &NeuronProperties::gADP, &NeuronProperties::gAHP, &NeuronProperties::gCaT, &NeuronProperties::gBst,
    &NeuronProperties::gNaP, &NeuronProperties::gH};

using NP = NeuronProperties;
constexpr std::array<double NP::*, 16> kNaCoefficients = {
    &NP::a1Na, &NP::a2Na, &NP::a3Na, &NP::a4Na, &NP::b1Na, &NP::b2Na, &NP::b3Na, &NP::b4Na,
    &NP::c1Na, &NP::c2Na, &NP::c3Na, &NP::c4Na, &NP::d1Na, &NP::d2Na, &NP::d3Na, &NP::d4Na};
constexpr std::array<double NP::*, 16> kNaRCoefficients = {
    &NP::a1NaR, &NP::a2NaR, &NP::a3NaR, &NP::a4NaR, &NP::b1NaR, &NP::b2NaR, &NP::b3NaR, &NP::b4NaR,
    &NP::c1NaR, &NP::c2NaR, &NP::c3NaR, &NP::c4NaR, &NP::d1NaR, &NP::d2NaR, &NP::d3NaR, &NP::d4NaR};

// A record that has been used: every conductance and n_AP hold values of some
// earlier model, and the kinetics texts name a previous choice.
NeuronProperties UsedRecord(const std::string& family, const std::string& geometry = "1-point") {
  NeuronProperties np;
  np.HH_type = family;
  np.HH_order = geometry;
  np.Na_type = "previous Na";
  np.NaR_type = "previous NaR";
  for (auto g : kConductances) np.*g = 7.5;
  np.n_AP = 0.5;
  np.Vreset = 0.02;
  return np;
}

NeuronProperties Defaults(const std::string& family, const std::string& geometry = "1-point") {
  NeuronProperties np = UsedRecord(family, geometry);
  double vus = 0.0;
  SetDefaults(np, vus);
  return np;
}

TEST(ModelDefaults, EachFamilyGetsItsChannelsAndArea) {
  const double lyleSquare = 0.0144 / 0.0007 / 39000;
  const struct {
    const char* family;
    double gNa, gK;
    const char *Na_type, *NaR_type;
    double Square;
  } cases[] = {
      {"Rariza", 120, 36, "Rariza", "Rariza", 2.73e-5},
      {"Passive", 0, 0, "previous Na", "previous NaR", 2.73e-5},
      {"Destexhe", 7, 10, "Rariza", "Rariza", 2.73e-5},
      {"Migliore", 32, 10, "Migliore", "Migliore", 2.73e-5},
      {"Cummins", 35, 2.1, "Cummins", "Cummins", 2.73e-5},
      {"Chow", 30, 40, "Chow", "Chow", 1e-4},
      {"Lyle", 2.28, 0.76, "Lyle", "Lyle", lyleSquare},
      {"Naundorf", 35, 9, "Naundorf", "", 1e-4},
      {"White", 20, 3.65, "White", "", 1e-4},
      {"White2", 6, 0, "White2", "", 1e-4},  // a threshold model: gNa is its own value, not a channel's
      {"Shu", 13.7, 0.68, "Shu", "Shu", 1e-4},
      {"Bazhenov", 3450, 200, "Bazhenov", "previous NaR", 1e-6},  // names no NaR kinetics
  };
  for (const auto& c : cases) {
    const NeuronProperties np = Defaults(c.family);
    EXPECT_NEAR(np.gNa, c.gNa, kTol) << c.family;
    EXPECT_NEAR(np.gK, c.gK, kTol) << c.family;
    EXPECT_EQ(np.Na_type, c.Na_type) << c.family;
    EXPECT_EQ(np.NaR_type, c.NaR_type) << c.family;
    EXPECT_NEAR(np.Square, c.Square, kAreaTol) << c.family;
  }
  EXPECT_NEAR(lyleSquare, 5.275e-4, 1e-7);
}

TEST(ModelDefaults, PassiveKeepsOnlyTheCommonDefaults) {
  NeuronProperties np = UsedRecord("Passive");
  np.IfSet_VL_or_Vrest = 1;
  double vus = 0.0;
  SetDefaults(np, vus);

  for (auto g : kConductances) EXPECT_EQ(np.*g, 0.0);
  EXPECT_EQ(np.Na_type, "previous Na");
  EXPECT_EQ(np.NaR_type, "previous NaR");
  EXPECT_EQ(np.n_AP, 0.5);  // named by no family value: kept
  EXPECT_NEAR(vus, -0.065, kTol);
  EXPECT_NEAR(np.Cm, 0.001, kTol);
  EXPECT_NEAR(np.tau_m, 0.021, kTol);
  EXPECT_NEAR(np.gL, 1.0 / 21.0, kTol);
  EXPECT_NEAR(np.Vrest, -0.064, kTol);
  EXPECT_NEAR(np.Vreset, np.Vrest, kTol);
  EXPECT_EQ(np.IfSet_gL_or_tau, 2);
  EXPECT_EQ(np.IfSet_VL_or_Vrest, 1);  // a choice already made stays

  NeuronProperties fresh;
  fresh.HH_type = "Passive";
  SetDefaults(fresh, vus);
  EXPECT_EQ(fresh.IfSet_VL_or_Vrest, 2);  // no choice yet: Vrest is fixed
}

// n_AP and Square by geometry; a geometry a family does not name keeps n_AP
// (0.5 from the used record) and the family's one-compartment area.
TEST(ModelDefaults, GeometrySetsAfterSpikeGateAndArea) {
  const double c = (3 + kRo) / (2 * kRo + 3);  // two-compartment area correction
  const double lyle = 0.0144 / 0.0007 / 39000;
  const struct {
    const char *family, *geometry;
    double n_AP, Square;
  } cases[] = {
      {"Migliore", "1-point", 0.17, 2.73e-5},      {"Migliore", "2-points", 0.07, 2.73e-5},
      {"Migliore", "2-p-ActiveDend", 0.07, 2.73e-5}, {"Migliore", "2-p-MainenSejn", 0.5, 2.73e-5},
      {"Chow", "1-point", 0.45, 1e-4},             {"Chow", "2-points", 0.0, 1e-4 * c},
      {"Chow", "2-p-ActiveDend", 0.0, 1e-4 * c},   {"Chow", "2-p-MainenSejn", 0.5, 1e-4},
      {"Naundorf", "1-point", 0.68, 1e-4},         {"Naundorf", "2-points", 0.66, 1e-4},
      {"Shu", "1-point", 0.91, 1e-4},              {"Shu", "2-p-ActiveDend", 1.0, 1e-4 * c},
      {"Shu", "2-p-MainenSejn", 0.5, 1e-4},        {"Lyle", "1-point", 0.262, lyle},
      {"Lyle", "2-points", 0.12, lyle * c},        {"Lyle", "2-p-MainenSejn", 0.12, lyle * c},
      {"Lyle", "2-p-ActiveDend", 0.12, lyle * c},
  };
  for (const auto& k : cases) {
    const NeuronProperties np = Defaults(k.family, k.geometry);
    EXPECT_NEAR(np.n_AP, k.n_AP, kTol) << k.family << " " << k.geometry;
    EXPECT_NEAR(np.Square, k.Square, kAreaTol) << k.family << " " << k.geometry;
  }
}

TEST(ModelDefaults, LyleSpikeResetDependsOnGeometry) {
  const struct {
    const char* geometry;
    double nA_AP, lA_AP, dnM, dwAHP, VresetDend;
  } cases[] = {
      {"1-point", 0.743, 0.691, 0.175, 0.0177, -0.05},
      {"2-points", 0.6, 0.63, 0.11, 0.01, -0.05},
      {"2-p-MainenSejn", 0.6, 0.63, 0.11, 0.01, -0.05},
      {"2-p-ActiveDend", 0.65, 0.63, 0.11, 0.01, -0.045},
  };
  for (const auto& k : cases) {
    const NeuronProperties np = Defaults("Lyle", k.geometry);
    EXPECT_NEAR(np.nA_AP, k.nA_AP, kTol) << k.geometry;
    EXPECT_NEAR(np.lA_AP, k.lA_AP, kTol) << k.geometry;
    EXPECT_NEAR(np.dnM, k.dnM, kTol) << k.geometry;
    EXPECT_NEAR(np.dwAHP, k.dwAHP, kTol) << k.geometry;
    EXPECT_NEAR(np.VresetDend, k.VresetDend, kTol) << k.geometry;
  }
}

TEST(ModelDefaults, UnsetPotassiumReversalsFollowVK) {
  const struct {
    const char* family;
    double VKn, VKM, VKD, VAHP;
  } cases[] = {
      {"Passive", -0.07, -0.07, -0.07, -0.07},
      {"White", -0.095, -0.095, -0.095, -0.095},
      {"Lyle", -0.07, -0.08, -0.095, -0.07},       // its own VKM and VKD stay
      {"Bazhenov", -0.09, -0.09, -0.09, -0.07},    // its own VAHP stays
  };
  for (const auto& c : cases) {
    const NeuronProperties np = Defaults(c.family);
    EXPECT_NEAR(np.VKn, c.VKn, kTol) << c.family;
    EXPECT_NEAR(np.VKM, c.VKM, kTol) << c.family;
    EXPECT_NEAR(np.VKD, c.VKD, kTol) << c.family;
    EXPECT_NEAR(np.VAHP, c.VAHP, kTol) << c.family;
  }
}

TEST(ModelDefaults, ThresholdModelRemovesNaAndSetsReset) {
  const struct {
    const char* family;
    int ThrModel;
    double gNa, gNaR, Vreset;
  } cases[] = {
      {"Lyle", 0, 2.28, 0, -0.065},     // reset to rest
      {"Lyle", 1, 0, 0, -0.04},
      {"Cummins", 1, 0, 0, -0.04},      // its resurgent current goes as well
      {"Cummins", 0, 35, 6.9, -0.064},
      {"White2", 0, 6, 0, -0.065},      // switches the threshold model on itself
      {"Passive", 1, 0, 0, -0.064},     // nothing to remove: reset to rest
  };
  for (const auto& c : cases) {
    NeuronProperties np = UsedRecord(c.family);
    np.ThrModel = c.ThrModel;
    double vus = 0.0;
    SetDefaults(np, vus);
    EXPECT_NEAR(np.gNa, c.gNa, kTol) << c.family << " ThrModel " << c.ThrModel;
    EXPECT_NEAR(np.gNaR, c.gNaR, kTol) << c.family << " ThrModel " << c.ThrModel;
    EXPECT_NEAR(np.Vreset, c.Vreset, kTol) << c.family << " ThrModel " << c.ThrModel;
  }
  const NeuronProperties white2 = Defaults("White2");
  EXPECT_EQ(white2.ThrModel, 1);
  EXPECT_NEAR(white2.FixThr, 0.08, kTol);  // 15 mV above its VL
  EXPECT_EQ(white2.IfSet_VL_or_Vrest, 3);
}

TEST(ModelDefaults, ResurgentNaCoefficientsFollowNaRType) {
  const struct {
    const char* family;
    double Tr_NaR, a1NaR, b3NaR, d3NaR, VNaR;
  } cases[] = {
      {"Destexhe", -63, 0.32, -5, 5, 0.05},          // copies the family's Na kinetics
      {"Rariza", -60, 0.1, 18, 10, 0.055},
      {"Cummins", 0, 1.032, -22.9, 9.093, 0.06294},  // own kinetics, Na reversal
      {"Migliore", -60, 0.043, 65, 12, 0.031},       // the common resurgent block
      {"Naundorf", -60, 0.043, 65, 12, 0.031},       // no NaR channel: the same block
  };
  for (const auto& c : cases) {
    const NeuronProperties np = Defaults(c.family);
    EXPECT_NEAR(np.Tr_NaR, c.Tr_NaR, kTol) << c.family;
    EXPECT_NEAR(np.a1NaR, c.a1NaR, kTol) << c.family;
    EXPECT_NEAR(np.b3NaR, c.b3NaR, kTol) << c.family;
    EXPECT_NEAR(np.d3NaR, c.d3NaR, kTol) << c.family;
    EXPECT_NEAR(np.VNaR, c.VNaR, kTol) << c.family;
  }
  const NeuronProperties destexhe = Defaults("Destexhe");
  for (std::size_t i = 0; i < kNaCoefficients.size(); ++i) {
    EXPECT_EQ(destexhe.*kNaRCoefficients[i], destexhe.*kNaCoefficients[i]) << "coefficient " << i;
  }
}

TEST(ModelDefaults, BazhenovDerivesItsDendriteFromItsOwnValues) {
  const NeuronProperties np = Defaults("Bazhenov", "2-p-MainenSejn");
  EXPECT_NEAR(np.l, 0.2442, kTol);                   // 2 gLd 165 Square / 1e-4
  EXPECT_NEAR(np.ro, 165 * 0.074 / 0.0718, kTol);    // dendrite 165 times the soma
  EXPECT_NEAR(np.VL, -0.00369 / 0.0718, kTol);       // K and Na leaks mixed
  EXPECT_NEAR(np.VLd, -0.00386 / 0.074, kTol);
  EXPECT_NEAR(np.Square, 1e-6, kAreaTol);            // no area correction
  EXPECT_EQ(np.HH_order, "2-p-MainenSejn");
}

TEST(ProgramStart, LeavesTheLyleStartupSet) {
  Session s;
  ApplyProgramStart(s);
  EXPECT_EQ(s.NP0.HH_type, "Lyle");
  EXPECT_EQ(s.NP0.HH_order, "1-point");
  EXPECT_EQ(s.NP0.Thr_type, "Default-2");
  EXPECT_EQ(s.NP0.Na_subtype, "Lyle-4");
  EXPECT_EQ(s.NP0.NaR_subtype, "Lyle-4");
  EXPECT_NEAR(s.NP0.gNa, 2.28, kTol);
  EXPECT_NEAR(s.NP0.n_AP, 0.262, kTol);
  EXPECT_EQ(s.NP0.If_I_V_or_g, 2);
  for (int flag : {s.NP0.IfBlockNa, s.NP0.IfBlockK, s.NP0.IfBlockKM, s.NP0.IfBlockPass, s.NP0.IfBlockNaR}) {
    EXPECT_EQ(flag, 0);
  }

  EXPECT_NEAR(s.run.t_end, 0.6, kTol);
  EXPECT_NEAR(s.run.dt, 5e-5, 1e-15);
  EXPECT_EQ(s.run.nt_end, 11999);  // recomputed; 0.6/5e-5 lies just below 12000 and steps truncate
  EXPECT_EQ(s.run.n_Draw, 5);
  EXPECT_EQ(s.run.n_Write, 5);
  EXPECT_EQ(s.run.Writing, 0);
  EXPECT_NEAR(s.stim.uu, 0.004, kTol);
  EXPECT_NEAR(s.stim.ss, 0.1, kTol);
  EXPECT_EQ(s.stim.Iind, 0.0);
  EXPECT_NEAR(s.stim.t_Iind, 1.0, kTol);
  EXPECT_EQ(s.stim.gNMDA, 0.0);
  EXPECT_NEAR(s.stim.Vus, -0.065, kTol);
  EXPECT_EQ(s.rec.Smpl, 1);
  EXPECT_EQ(s.rec.NSmpls, 1);
  EXPECT_NEAR(s.rec.scy_Smpl, -1.0, kTol);

  EXPECT_EQ(s.prog.KeepParams, 1);
  EXPECT_NEAR(s.prog.FC_dFdu, 16667, kTol);
  EXPECT_NEAR(s.prog.FC_I0, 0.0008, kTol);
  EXPECT_NEAR(s.prog.FC_freq, 100, kTol);
  EXPECT_NEAR(s.prog.tau_E, 0.3, kTol);
  EXPECT_NEAR(s.prog.tau_I, 0.18, kTol);
  EXPECT_EQ(s.prog.NoiseToSignal, 0.0);
  EXPECT_NEAR(s.prog.sc_Simplex, 1.0, kTol);
}

// Opening a parameter file starts from the program-start values whatever the
// session did before, and leaves the defaults to the file's own section.
TEST(ProgramStart, StartValuesResetAUsedSession) {
  Session s;
  ApplyProgramStart(s);
  s.stim.Pipette.G1 = 3;
  s.stim.du_Reset = 0.2;
  s.run.dt = 1e-5;
  s.run.Writing = 1;
  s.rec.Smpl = 4;
  s.rec.NSmpls = 7;
  s.prog.sc_Simplex = 9;
  s.NP0.IfBlockNa = 1;
  s.NP0.gNa = 99;

  ApplyProgramStartValues(s);
  EXPECT_EQ(s.stim.Pipette.G1, 0.0);
  EXPECT_EQ(s.stim.du_Reset, 0.0);
  EXPECT_NEAR(s.stim.Iind, 100, kTol);
  EXPECT_NEAR(s.stim.t_Iind, 0.05, kTol);
  EXPECT_EQ(s.stim.uu, 0.0);
  EXPECT_NEAR(s.run.t_end, 0.02, kTol);
  EXPECT_EQ(s.run.nt_end, 400);  // from the restored dt
  EXPECT_EQ(s.run.Writing, 0);
  EXPECT_EQ(s.rec.Smpl, 1);
  EXPECT_EQ(s.rec.NSmpls, 1);
  EXPECT_EQ(s.prog.KeepParams, 0);
  EXPECT_NEAR(s.prog.FC_dFdu, 700, kTol);
  EXPECT_NEAR(s.prog.tau_E, 0.02, kTol);
  EXPECT_NEAR(s.prog.sc_Simplex, 1.0, kTol);
  EXPECT_EQ(s.NP0.HH_type, "Migliore");
  EXPECT_EQ(s.NP0.NaR_type, "Rariza");
  EXPECT_EQ(s.NP0.IfBlockNaR, 1);
  EXPECT_EQ(s.NP0.IfBlockNa, 0);
  EXPECT_NEAR(s.NP0.n_AP, 0.5, kTol);
  EXPECT_NEAR(s.NP0.gNa, 99, kTol);  // no defaults applied
}

TEST(ProgramStart, StartupSetKeepsAKeepParamsAlreadyChosen) {
  for (int before : {0, 2}) {
    Session s;
    s.prog.KeepParams = before;
    ApplyStartupSet(s);
    EXPECT_EQ(s.prog.KeepParams, before == 0 ? 1 : before) << "KeepParams was " << before;
  }
}

}  // namespace
}  // namespace membrix
