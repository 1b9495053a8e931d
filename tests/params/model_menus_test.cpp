#include "params/model_menus.h"

#include <gtest/gtest.h>

#include <string>

#include "common/error.h"
#include "params/model_defaults.h"
#include "run/session.h"

namespace membrix {
namespace {

constexpr double kTol = 1e-9;

Session StartedSession() {
  Session s;
  ApplyProgramStart(s);
  return s;
}

TEST(ModelMenus, FamilyChoiceAppliesItsDefaultsAndSideEffects) {
  const struct {
    const char *family, *geometryBefore, *geometryAfter;
    int IfSet_gL_or_tau;
    double gNa;
  } cases[] = {
      {"Rariza", "1-point", "1-point", 1, 120},
      {"Cummins", "1-point", "1-point", 2, 35},  // the defaults overrule the menu's gL choice
      {"Migliore", "2-points", "2-points", 2, 32},
      {"Bazhenov", "1-point", "2-p-MainenSejn", 1, 3450},
      {"Passive", "2-p-ActiveDend", "2-p-ActiveDend", 2, 0},
  };
  for (const auto& c : cases) {
    Session s = StartedSession();
    s.NP0.HH_order = c.geometryBefore;
    s.NP0.gNa = 1234;
    s.stim.Vus = 0.01;
    SelectModelFamily(s, c.family);
    EXPECT_EQ(s.NP0.HH_type, c.family);
    EXPECT_EQ(s.NP0.HH_order, c.geometryAfter) << c.family;
    EXPECT_EQ(s.NP0.IfSet_gL_or_tau, c.IfSet_gL_or_tau) << c.family;
    EXPECT_NEAR(s.NP0.gNa, c.gNa, kTol) << c.family;
    EXPECT_NEAR(s.stim.Vus, -0.065, kTol) << c.family;
  }
}

TEST(ModelMenus, GeometryChoiceReappliesTheFamilyValues) {
  Session s = StartedSession();
  SelectModelFamily(s, "Migliore");
  SelectGeometry(s, "2-points");
  EXPECT_NEAR(s.NP0.n_AP, 0.07, kTol);
  SelectGeometry(s, "1-point");
  EXPECT_NEAR(s.NP0.n_AP, 0.17, kTol);
  EXPECT_EQ(s.NP0.HH_order, "1-point");
}

TEST(ModelMenus, UnknownChoicesAreRefusedAndChangeNothing) {
  const struct {
    void (*select)(Session&, std::string_view);
    const char *value, *aValidOne;
  } cases[] = {
      {&SelectModelFamily, "Hodgkin", "Bazhenov"},
      {&SelectModelFamily, "lyle", "Lyle"},  // names are compared exactly
      {&SelectGeometry, "3-points", "2-p-ActiveDend"},
      {&SelectGeometry, "", "1-point"},
  };
  for (const auto& c : cases) {
    Session s = StartedSession();
    s.NP0.gNa = 1234;
    try {
      c.select(s, c.value);
      ADD_FAILURE() << "\"" << c.value << "\" was accepted";
    } catch (const Error& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(std::string("\"") + c.value + "\""), std::string::npos) << message;
      EXPECT_NE(message.find(c.aValidOne), std::string::npos) << message;
    }
    EXPECT_EQ(s.NP0.HH_type, "Lyle") << c.value;
    EXPECT_EQ(s.NP0.HH_order, "1-point") << c.value;
    EXPECT_EQ(s.NP0.gNa, 1234) << c.value;
  }
}

TEST(ModelMenus, ThrModelToggleBlocksNaAndResetsTheDefaults) {
  Session s = StartedSession();  // "Lyle"
  EXPECT_TRUE(ToggleThrModel(s));
  EXPECT_EQ(s.NP0.ThrModel, 1);
  EXPECT_EQ(s.NP0.IfBlockNa, 1);
  EXPECT_EQ(s.NP0.gNa, 0.0);
  EXPECT_NEAR(s.NP0.Vreset, -0.04, kTol);

  EXPECT_FALSE(ToggleThrModel(s));
  EXPECT_EQ(s.NP0.ThrModel, 0);
  EXPECT_EQ(s.NP0.IfBlockNa, 0);
  EXPECT_NEAR(s.NP0.gNa, 2.28, kTol);
  EXPECT_NEAR(s.NP0.Vreset, -0.065, kTol);
}

TEST(ModelMenus, White2StaysAThresholdModel) {
  Session s = StartedSession();
  SelectModelFamily(s, "White2");
  EXPECT_EQ(s.NP0.ThrModel, 1);
  EXPECT_TRUE(ToggleThrModel(s));  // switched off, its defaults switch it on again
  EXPECT_EQ(s.NP0.ThrModel, 1);
  EXPECT_EQ(s.NP0.IfBlockNa, 0);
  EXPECT_NEAR(s.NP0.gNa, 6, kTol);
}

TEST(ModelMenus, LIFModelToggleResetsTheDefaults) {
  Session s = StartedSession();
  s.NP0.gK = 50;
  s.NP0.IfBlockNa = 1;
  EXPECT_TRUE(ToggleLIFModel(s));
  EXPECT_EQ(s.NP0.LIF_model, 1);
  EXPECT_NEAR(s.NP0.gK, 0.76, kTol);
  EXPECT_EQ(s.NP0.IfBlockNa, 1);  // blockage is not a model choice
  EXPECT_FALSE(ToggleLIFModel(s));
  EXPECT_EQ(s.NP0.LIF_model, 0);
}

}  // namespace
}  // namespace membrix
