// The burst (Bst) current of the procedural neuron takes the level a spike
// kicks its gate toward from the session's "tau1, ms".

#include <gtest/gtest.h>

#include "analysis/adaptation_sweep.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "run/session.h"

namespace membrix {
namespace {

// A firing squid neuron with a burst conductance too small to change its
// spikes, so that the gate after a run is linear in the kick level.
Session FiringWithBurstGate(double tau1) {
  Session s;
  ApplyProgramStart(s);
  SelectModelFamily(s, "Rariza");
  s.stim.uu = s.stim.ss = 0.0;
  SetRunLength(s.run, 0.08);
  s.NP0.gBst = 1e-9;
  s.proc.tau1 = tau1;
  AdaptationRun(s, 200.0);
  return s;
}

TEST(BurstCurrent, SpikesKickItsGateTowardTheSessionsTau1) {
  const Session unset = FiringWithBurstGate(0.0);
  const Session standard = FiringWithBurstGate(100.0);
  const Session high = FiringWithBurstGate(400.0);
  ASSERT_GE(standard.spikes.nSpikes, 3);
  ASSERT_EQ(high.spikes.nSpikes, standard.spikes.nSpikes);
  ASSERT_GT(standard.NV0.mBst, 0.0);
  // Unset, the level is 100 and is kept in the session.
  EXPECT_EQ(unset.proc.tau1, 100.0);
  EXPECT_EQ(unset.NV0.mBst, standard.NV0.mBst);
  EXPECT_EQ(high.proc.tau1, 400.0);
  EXPECT_NEAR(high.NV0.mBst / standard.NV0.mBst, 4.0, 1e-6);
}

}  // namespace
}  // namespace membrix
