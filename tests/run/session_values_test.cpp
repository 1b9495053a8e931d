#include "run/session_values.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "run/session.h"

namespace membrix {
namespace {

TEST(SessionValues, SetsGlobalsAndRecordFieldsByName) {
  Session s;
  SetSessionAssignment(s, "Iind=150");
  SetSessionAssignment(s, "t_Iind=0.2");
  SetSessionAssignment(s, "NP0.gNa=50");
  SetSessionAssignment(s, "NP0.HH_type=Rariza");
  SetSessionAssignment(s, "NP0.If_I_V_or_g=1");
  SetSessionAssignment(s, "dt=2.5e-5");
  SetSessionAssignment(s, "t_end=0.1");
  EXPECT_EQ(s.stim.Iind, 150.0);
  EXPECT_EQ(s.stim.t_Iind, 0.2);
  EXPECT_EQ(s.NP0.gNa, 50.0);
  EXPECT_EQ(s.NP0.HH_type, "Rariza");
  EXPECT_EQ(s.NP0.If_I_V_or_g, 1);
  EXPECT_EQ(s.run.nt_end, 4000);  // the step count follows t_end and dt
}

TEST(SessionValues, RejectsWhatItCannotApplyAndChangesNothing) {
  const char* bad[] = {"NP0.gNaa=1", "Iindd=1", "Iind=abc", "Iind=1.5x", "NP0.If_I_V_or_g=1.5",
                       "Smpl=", "=5", "Iind"};
  for (const char* a : bad) {
    Session s;
    const double before = s.stim.Iind;
    EXPECT_THROW(SetSessionAssignment(s, a), FormatError) << a;
    EXPECT_EQ(s.stim.Iind, before) << a;
  }
  Session s;
  try {
    SetSessionAssignment(s, "NP0.gNaa=1");
  } catch (const FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("NP0.gNaa"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace membrix
