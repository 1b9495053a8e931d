// Every firing model family with its own defaults, driven through a whole clamp
// run as a user drives it: the program as it starts, the family chosen from the
// menu, current clamp, no input but a current step from t = 0. At rest the
// membrane must stay where it settled; under a depolarising step it must fire
// repetitively with overshooting spikes, faster for a larger step. The families
// that do not are tabled with what they do instead, which models.md explains.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "common/number_format.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "run/clamp_run.h"
#include "run/session.h"

namespace membrix {
namespace {

constexpr double kRunLength = 0.2;  // s, for the rest and for every step
constexpr double kRestTolerance = 0.1;  // mV
constexpr double kVolt = 1000.0;        // mV: no membrane gets there unless its integration diverges

// What the membrane does without input.
enum class AtRest {
  Holds,            // stays within 0.1 mV of the resting potential it settled to
  Drifts,           // moves away without firing: the "rest" was a turning point, not a rest
  FiresUnprompted,  // fires without input
  NoRest,           // the free resting potential cannot be found; every run is refused
};

// What the membrane does under the three steps.
enum class UnderSteps {
  FiresFaster,           // repetitive overshooting spikes, more of them for a larger step
  FiresFasterShrinking,  // the same, but only the first spikes overshoot: the third peaks below 0 mV
  OneSpikeThenRunsAway,  // one spike, after which the voltage runs beyond a volt
  StepOvershoots,        // no counted spike: the voltage step overshoots beyond a volt at the upstroke
  Refused,               // as the rest: the run does not start
};

struct FamilyCase {
  const char* family;
  const char* geometry;
  std::array<double, 3> stepsPa;  // increasing
  AtRest rest;
  UnderSteps steps;
  const char* chosenBefore = nullptr;  // a family selected before this one, whose choices it inherits
};

// Spike times and the voltage drawn at every step of a run.
class SpikeRecorder final : public RunViewSink {
 public:
  void Point(std::string_view series, double, double y) override {
    if (series != " V ") return;
    lowest = std::min(lowest, y);
    highest = std::max(highest, y);
    peakSinceSpike = std::max(peakSinceSpike, y);
  }
  // The detector reports a spike at the step after its peak, so the peak has been drawn.
  void Spike(double tSpike) override {
    times.push_back(tSpike);
    peaks.push_back(peakSinceSpike);
    peakSinceSpike = -std::numeric_limits<double>::infinity();
  }
  bool LeftTheVoltRange() const { return lowest < -kVolt || highest > kVolt; }

  std::vector<double> times;  // s
  std::vector<double> peaks;  // mV
  double lowest = std::numeric_limits<double>::infinity();    // mV
  double highest = -std::numeric_limits<double>::infinity();  // mV

 private:
  double peakSinceSpike = -std::numeric_limits<double>::infinity();
};

// The session as the program starts, with the case's family chosen from the
// menu (and its geometry, where the family's choice leaves another), current
// clamp, the start-up set's dendritic input removed, a step of Iind pA for the
// whole run, and every step drawn.
void ChooseFamily(Session& s, const FamilyCase& c, double Iind) {
  ApplyProgramStart(s);
  s.stim.uu = s.stim.ss = 0.0;
  if (c.chosenBefore) SelectModelFamily(s, c.chosenBefore);
  SelectModelFamily(s, c.family);
  if (s.NP0.HH_order != c.geometry) SelectGeometry(s, c.geometry);
  SelectClampMode(s, "CC");
  s.stim.Iind = Iind;
  s.stim.t_IindShift = 0.0;
  s.stim.t_Iind = kRunLength;
  SetRunLength(s.run, kRunLength);
  s.run.n_Draw = 1;
}

std::string Describe(const FamilyCase& c, double Iind, const Session& s) {
  const double density = Iind / (s.NP0.Square * 1e9) * 1000.0;  // µA/cm²
  return std::string(c.family) + (c.chosenBefore ? std::string(" after ") + c.chosenBefore : "") + ", " +
         c.geometry + ", " + Fixed(Iind, 0, 0) + " pA = " + Fixed(density, 0, 2) + " uA/cm2";
}

TEST(FamilyPhysiology, RestAndRepetitiveFiringOfEachFamily) {
  // Step sizes: from about the smallest that keeps a family firing through the
  // run, doubling. In µA/cm² (each family's area in parentheses): Rariza and
  // Destexhe 7.3, 14.7, 29.3 (2.73e-5 cm²); Migliore 1.8, 3.7, 7.3 (2.73e-5);
  // Chow and White 1, 2, 4 (1e-4); Naundorf 0.5, 1, 2 (1e-4); Shu 2, 4, 8
  // (1e-4); Lyle 0.76, 1.5, 3.0 (5.27e-4); Bazhenov 20, 50, 100 (1e-6).
  const FamilyCase cases[] = {
      {"Rariza", "1-point", {200, 400, 800}, AtRest::Holds, UnderSteps::FiresFaster},
      {"Destexhe", "1-point", {200, 400, 800}, AtRest::Holds, UnderSteps::FiresFasterShrinking},
      {"Migliore", "1-point", {50, 100, 200}, AtRest::Holds, UnderSteps::FiresFaster},
      {"Cummins", "1-point", {50, 100, 200}, AtRest::Holds, UnderSteps::OneSpikeThenRunsAway},
      // Cummins names no "VL is fixed" choice of its own and keeps Rariza's.
      {"Cummins", "1-point", {50, 100, 200}, AtRest::NoRest, UnderSteps::Refused, "Rariza"},
      {"Chow", "1-point", {100, 200, 400}, AtRest::Holds, UnderSteps::FiresFaster},
      {"Naundorf", "1-point", {50, 100, 200}, AtRest::Holds, UnderSteps::FiresFaster},
      {"White", "1-point", {100, 200, 400}, AtRest::Drifts, UnderSteps::FiresFaster},
      {"Shu", "1-point", {200, 400, 800}, AtRest::Holds, UnderSteps::FiresFaster},
      {"Lyle", "1-point", {400, 800, 1600}, AtRest::Holds, UnderSteps::FiresFaster},
      {"Bazhenov", "1-point", {20, 50, 100}, AtRest::Holds, UnderSteps::StepOvershoots},
      // The geometry the Bazhenov menu item selects.
      {"Bazhenov", "2-p-MainenSejn", {20, 50, 100}, AtRest::FiresUnprompted, UnderSteps::FiresFaster},
      {"Bazhenov", "2-points", {20, 50, 100}, AtRest::NoRest, UnderSteps::Refused},
  };
  BatchHost host;
  for (const FamilyCase& c : cases) {
    {
      Session s;
      ChooseFamily(s, c, 0.0);
      SCOPED_TRACE(Describe(c, 0.0, s));
      SpikeRecorder views;
      if (c.rest == AtRest::NoRest) {
        const double Vrest = s.NP0.Vrest;
        EXPECT_THROW(RunClamp(s, host, views), Error);
        EXPECT_EQ(s.NP0.Vrest, Vrest) << "a failed search must not leave its value in the record";
      } else {
        RunClamp(s, host, views);
        const double Vrest = s.NP0.Vrest * 1000.0;
        const double deviation = std::max(views.highest - Vrest, Vrest - views.lowest);
        switch (c.rest) {
          case AtRest::Holds:
            EXPECT_LE(deviation, kRestTolerance) << "rest " << Vrest << " mV";
            EXPECT_TRUE(views.times.empty());
            break;
          case AtRest::Drifts:
            EXPECT_GT(deviation, kRestTolerance) << "rest " << Vrest << " mV";
            EXPECT_TRUE(views.times.empty());
            break;
          case AtRest::FiresUnprompted: EXPECT_GE(views.times.size(), 3u); break;
          case AtRest::NoRest: break;
        }
      }
    }

    std::size_t fewerSpikes = 0;
    for (double Iind : c.stepsPa) {
      Session s;
      ChooseFamily(s, c, Iind);
      SCOPED_TRACE(Describe(c, Iind, s));
      SpikeRecorder views;
      if (c.steps == UnderSteps::Refused) {
        EXPECT_THROW(RunClamp(s, host, views), Error);
        continue;
      }
      RunClamp(s, host, views);
      const std::size_t n = views.times.size();
      switch (c.steps) {
        case UnderSteps::FiresFaster:
        case UnderSteps::FiresFasterShrinking:
          ASSERT_GE(n, 3u);
          EXPECT_GT(views.times.back(), 0.5 * kRunLength) << "the firing stops in the first half of the step";
          EXPECT_GT(n, fewerSpikes) << "a larger step does not fire faster";
          fewerSpikes = n;
          if (c.steps == UnderSteps::FiresFaster) {
            EXPECT_GT(*std::min_element(views.peaks.begin(), views.peaks.end()), 0.0)
                << "a spike does not overshoot";
          } else {
            EXPECT_GT(views.peaks[0], 0.0);
            EXPECT_LT(views.peaks[2], 0.0) << "the third spike overshoots";
          }
          EXPECT_FALSE(views.LeftTheVoltRange());
          break;
        case UnderSteps::OneSpikeThenRunsAway:
          EXPECT_EQ(n, 1u);
          EXPECT_GT(views.peaks.front(), 0.0);
          EXPECT_GT(std::abs(s.NV0.V), 1.0) << "V at the end, V";
          EXPECT_LT(s.NP0.gL, 0.0) << "the leak the neuron derived at rest";
          break;
        case UnderSteps::StepOvershoots:
          EXPECT_EQ(n, 0u);
          EXPECT_TRUE(views.LeftTheVoltRange());
          break;
        case UnderSteps::Refused: break;
      }
    }
  }
}

}  // namespace
}  // namespace membrix
