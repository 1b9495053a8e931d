#include "run/trace_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/error.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "run/clamp_run.h"
#include "run/output_variables.h"
#include "run/session.h"
#include "run/session_values.h"

namespace membrix {
namespace {

// The squid axon under a current step that makes it fire.
Session FiringAxon(double t_end) {
  Session s;
  ApplyProgramStart(s);
  SelectModelFamily(s, "Rariza");
  for (const char* a : {"uu=0", "ss=0", "Iind=300", "t_Iind=1"}) SetSessionAssignment(s, a);
  SetRunLength(s.run, t_end);
  return s;
}

TEST(TraceRecorder, FindsItemsBySpellingOrWithoutCase) {
  struct Case {
    const char* name;
    const char* item;  // nullptr: no item
  };
  const Case cases[] = {{"V", "V"}, {"INa", "INA"}, {"vav", "Vav "}, {" Im ", "Im"}, {"Im-INa", "Im-INa"},
                        {"Vx", nullptr}, {"", nullptr}};
  for (const Case& c : cases) {
    const auto found = FindOutputVariable(c.name);
    if (c.item == nullptr) {
      EXPECT_FALSE(found) << c.name;
    } else {
      ASSERT_TRUE(found) << c.name;
      EXPECT_EQ(*found, c.item);
    }
  }
}

// Every item sampled at the last step equals what the output list reads
// from the state the run ends in; samples fall on t = nt * dt.
TEST(TraceRecorder, SamplesEveryItemAsTheOutputListReadsIt) {
  Session s = FiringAxon(0.02);
  std::vector<std::string> all(OutputVariables().begin(), OutputVariables().end());
  TraceRecorder rec(s, all);
  BatchHost host;
  RecordedRun(s, host, rec);
  ASSERT_EQ(rec.time.size(), static_cast<std::size_t>(s.run.nt));
  EXPECT_DOUBLE_EQ(rec.time.front(), s.run.dt);
  EXPECT_DOUBLE_EQ(rec.time.back(), s.run.nt * s.run.dt);
  for (std::size_t i = 0; i < all.size(); ++i) {
    ASSERT_EQ(rec.values[i].size(), rec.time.size());
    // The running mean voltage is updated by the spike bookkeeping after the
    // step's curve point, as "Draw any curve" shows it.
    if (all[i] == "Vav ") continue;
    EXPECT_EQ(rec.values[i].back(), OutputVariableValue(s, all[i])) << all[i];
  }
}

// The recorder's run is the batch tool's run: same spikes, same end state;
// the session's drawing settings are given back.
TEST(TraceRecorder, RunsAsThePlainRunAndKeepsTheDrawingSettings) {
  Session plain = FiringAxon(0.05);
  NullRunViewSink none;
  struct Spikes final : RunViewSink {
    bool Drawing() const override { return false; }
    void Spike(double t) override { times.push_back(t); }
    std::vector<double> times;
  } spikes;
  BatchHost host;
  RunClamp(plain, host, spikes);

  Session s = FiringAxon(0.05);
  TraceRecorder rec(s, {"V"}, 10);
  RecordedRun(s, host, rec);
  EXPECT_FALSE(spikes.times.empty());
  EXPECT_EQ(rec.spikeTimes, spikes.times);
  EXPECT_EQ(s.NV0.V, plain.NV0.V);
  EXPECT_EQ(rec.time.size(), static_cast<std::size_t>(s.run.nt / 10));
  EXPECT_EQ(s.run.n_Draw, plain.run.n_Draw);
  EXPECT_EQ(s.run.DrawAnyCurve, 0);
}

TEST(TraceRecorder, RejectsUnknownItemsAndCadences) {
  Session s;
  EXPECT_THROW(TraceRecorder(s, {"V", "Vx"}), FormatError);
  EXPECT_THROW(TraceRecorder(s, {"V"}, 0), RangeError);
  try {
    TraceRecorder(s, {"Vx"});
  } catch (const FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("\"Vx\" is not an item of the output list (mm, hh"), std::string::npos);
  }
}

}  // namespace
}  // namespace membrix

namespace membrix {
namespace {

// The squid axon's resurgent Na slot carries no current; recording its gate
// keeps it advancing, and the voltage is the same with or without it.
TEST(TraceRecorder, RecordedGateOfACurrentFreeSlotAdvances) {
  Session plain = FiringAxon(0.02);
  TraceRecorder v(plain, {"V"});
  BatchHost host;
  RecordedRun(plain, host, v);
  Session s = FiringAxon(0.02);
  ASSERT_EQ(s.NP0.gNaR, 0.0);
  TraceRecorder rec(s, {"V", "mmR"});
  RecordedRun(s, host, rec);
  EXPECT_EQ(rec.values[0], v.values[0]);
  const auto [lo, hi] = std::minmax_element(rec.values[1].begin(), rec.values[1].end());
  EXPECT_GT(*hi - *lo, 0.1);  // mmR follows the spikes
}

}  // namespace
}  // namespace membrix
