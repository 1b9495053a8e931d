#include "channels/channel.h"

#include <gtest/gtest.h>

#include <cmath>

#include "channels/channel_catalogue.h"

namespace membrix {
namespace {

TEST(RateFunctions, LimitsAndShapes) {
  EXPECT_DOUBLE_EQ(LinExp(0.0, 10.0), 10.0);
  // Just inside the small-argument branch the limit form is used, just outside the quotient.
  const double inside = 0.99e-6 * 10.0;
  EXPECT_DOUBLE_EQ(LinExp(inside, 10.0), 10.0 * (1.0 - inside / 20.0));
  const double outside = 1.01e-6 * 10.0;
  EXPECT_DOUBLE_EQ(LinExp(outside, 10.0), outside / (std::exp(outside / 10.0) - 1.0));
  EXPECT_NEAR(LinExp(inside, 10.0), LinExp(outside, 10.0), 1e-6);  // the two forms meet

  EXPECT_DOUBLE_EQ(HHRate(5.0, 10.0, 1.0), LinExp(5.0, 10.0));
  EXPECT_DOUBLE_EQ(HHRate(5.0, 10.0, 0.0), std::exp(0.5));
  EXPECT_DOUBLE_EQ(HHRate(5.0, 10.0, -1.0), 5.0 / (std::exp(0.5) + 1.0));
  EXPECT_DOUBLE_EQ(HHRateInv(5.0, 10.0, -1.0), 1.0 / (std::exp(0.5) + 1.0));
  // Extreme voltages saturate instead of overflowing.
  EXPECT_DOUBLE_EQ(HHRate(500.0, 10.0, 0.0), std::exp(20.0));
  EXPECT_DOUBLE_EQ(HHRate(-500.0, 10.0, 0.0), 0.0);
  EXPECT_DOUBLE_EQ(TemperatureFactor(309.0, 36.0), 1.0);
  EXPECT_DOUBLE_EQ(TemperatureFactor(306.0, 23.0), 2.3);
}

TEST(ChannelInterface, NullChannelIsEmptyAndBareChannelIsAbstract) {
  TNullChannel null;
  EXPECT_EQ(null.Step(), 0.0);
  EXPECT_EQ(null.Conductance(1, 1, 1), 0.0);
  EXPECT_NO_THROW(null.Init());

  TChannel bare(nullptr);
  EXPECT_THROW(bare.Step(), AbstractOperationError);
  EXPECT_THROW(bare.Conductance(0, 0, 0), AbstractOperationError);
  EXPECT_THROW(bare.Init(), AbstractOperationError);
}

TEST(ChannelCatalogue, UnknownTextsSelectNoChannel) {
  EXPECT_EQ(NaChannelFor("rariza"), nullptr);  // texts compare exactly
  EXPECT_EQ(NaRChannelFor(""), nullptr);
  EXPECT_EQ(FamilyChannelFor("NoSuchFamily", Slot::K), nullptr);
  for (std::string_view family : kModelFamilies) {
    EXPECT_EQ(FamilyChannelFor(family, Slot::Bst), nullptr) << family;
    EXPECT_EQ(FamilyChannelFor(family, Slot::Na), nullptr) << family;
    EXPECT_TRUE(IsModelFamily(family));
  }
  EXPECT_EQ(FamilyChannelFor("White2", Slot::K), nullptr);
  EXPECT_FALSE(IsModelFamily("Hodgkin"));
}

}  // namespace
}  // namespace membrix
