#include "channels/persistent_sodium.h"

#include <gtest/gtest.h>

#include "channels/channel_test_support.h"

namespace membrix {
namespace {

using testing::FamilyRecord;
using testing::RelaxedOver;
using testing::SlotNeuron;

// Expected values computed by hand (python3) from the published formula.
TEST(VervaekeNaP, SteadyStateAndTimeConstant) {
  const struct {
    double v, inf;
  } cases[] = {{-70.0, 0.014454034006386568}, {-51.0, 0.5}, {-40.0, 0.9201542333853858}};
  for (auto c : cases) {
    const GateRates r = TVervaekeNaP::Rates(c.v);
    EXPECT_NEAR(r.inf, c.inf, 1e-12 * c.inf) << "v = " << c.v;
    EXPECT_EQ(r.tau, 1.0) << "v = " << c.v;
  }
}

// Init at -70 mV, a step at -40 mV relaxes mNaP with tau 1 ms; the current
// reverses at +30 mV whatever VNa is.
TEST(VervaekeNaP, RelaxesAndReversesAtPlus30mV) {
  NeuronProperties np = FamilyRecord("Rariza");
  np.gNaP = 0.5;
  np.VNa = 0.055;
  SlotNeuron sn(np);
  TChannel& ch = sn.At(Slot::NaP, -70.0);
  ch.Init();
  EXPECT_NEAR(sn.NV().mNaP, 0.014454034006386568, 1e-15);
  const double I = sn.At(Slot::NaP, -40.0).Step();
  const double m = RelaxedOver(sn.dt(), 0.014454034006386568, 0.9201542333853858, 1.0);
  EXPECT_NEAR(sn.NV().mNaP, m, 1e-13);
  EXPECT_NEAR(I, m * 0.5 * (-0.040 - 0.03), 1e-14);
  EXPECT_EQ(sn.At(Slot::NaP, 30.0).Step(), 0.0);

  sn.NP().IfBlockNaP = 1;
  const double before = sn.NV().mNaP;
  EXPECT_EQ(sn.At(Slot::NaP, 0.0).Step(), 0.0);
  EXPECT_EQ(ch.Conductance(1.0, 0.0, 0.0), 0.0);
  EXPECT_GT(sn.NV().mNaP, before);  // the blocked gate still moves
}

}  // namespace
}  // namespace membrix
