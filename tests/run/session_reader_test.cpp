#include "run/session_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "common/error.h"
#include "run/session.h"
#include "run/session_values.h"

namespace membrix {
namespace {

// Every name the setter knows reads back what was set, so the two tables
// cannot drift apart.
TEST(SessionReader, ReadsBackEveryGlobalTheSetterKnows) {
  for (std::string_view name : SessionGlobalNames()) {
    Session s;
    // A step that divides the run length; an integrator by its number.
    const double value = name == "dt" ? 2.5e-5 : name == "Integrator" ? 1.0 : 7.0;
    SetSessionValue(s, name, std::to_string(value));
    const SessionValue v = GetSessionValue(s, name);
    const double x = std::holds_alternative<double>(v) ? std::get<double>(v)
                                                        : static_cast<double>(std::get<std::int64_t>(v));
    EXPECT_EQ(x, value) << name;
  }
}

TEST(SessionReader, ReadsRecordFieldsWithTheirKind) {
  Session s;
  SetSessionValue(s, "NP0.gNa", "50.5");
  SetSessionValue(s, "NP0.If_I_V_or_g", "1");
  SetSessionValue(s, "NP0.HH_type", "Rariza");
  EXPECT_EQ(std::get<double>(GetSessionValue(s, "NP0.gNa")), 50.5);
  EXPECT_EQ(std::get<std::int64_t>(GetSessionValue(s, "NP0.If_I_V_or_g")), 1);
  EXPECT_EQ(std::get<std::string>(GetSessionValue(s, "NP0.HH_type")), "Rariza");
  for (const char* bad : {"NP0.gNaa", "Iindd", "gNa", ""}) {
    EXPECT_THROW(GetSessionValue(s, bad), FormatError) << bad;
  }
}

}  // namespace
}  // namespace membrix
