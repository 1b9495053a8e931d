#include "neuron/cond_based_neuron.h"

#include <gtest/gtest.h>

#include <cmath>

#include "neuron/lif_neuron.h"
#include "neuron/neuron_test_support.h"
#include "neuron/thresh_neuron.h"

namespace membrix {
namespace {

using testing::PassiveRecord;

TEST(CreateNeuron, IntegrateAndFireWinsOverThresholdModel) {
  StandaloneClock clock;
  const struct {
    int lif, thr;
    const char* expected;
  } cases[] = {{1, 1, "LIF"}, {1, 0, "LIF"}, {0, 1, "Thresh"}, {0, 0, "CondBased"}};
  for (auto c : cases) {
    NeuronProperties np = PassiveRecord();
    np.LIF_model = c.lif;
    np.ThrModel = c.thr;
    np.gK = 1.25;
    auto n = CreateNeuron(np, clock.View());
    const char* kind = dynamic_cast<TLIFNrn*>(n.get())        ? "LIF"
                       : dynamic_cast<TThreshNrn*>(n.get())   ? "Thresh"
                       : dynamic_cast<TCondBasedNrn*>(n.get()) ? "CondBased"
                                                              : "?";
    EXPECT_STREQ(kind, c.expected) << "LIF_model=" << c.lif << " ThrModel=" << c.thr;
    EXPECT_EQ(n->NP.gK, 1.25);
    EXPECT_EQ(n->NP.HH_type, "Passive");
  }
}

TEST(CreateNeuron, OperationsAClassLeavesAbstractRaiseTheirError) {
  StandaloneClock clock;
  NeuronProperties np = PassiveRecord();
  auto cb = CreateNeuron(np, clock.View());
  EXPECT_THROW(cb->CheckSpike(), AbstractOperationError);
  EXPECT_THROW(cb->ResetAfterSpike(), AbstractOperationError);
  np.LIF_model = 1;
  auto lif = CreateNeuron(np, clock.View());
  double a = 0, b = 0, g = 0;
  EXPECT_THROW(lif->Currents(a, b, g), AbstractOperationError);
  EXPECT_THROW(lif->InputConductance(), AbstractOperationError);
}

TEST(CreateNeuron, UnknownFamilyIsAnError) {
  StandaloneClock clock;
  NeuronProperties np = PassiveRecord();
  np.HH_type = "passive";
  try {
    CreateNeuron(np, clock.View());
    FAIL() << "no error for an unknown family";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("\"passive\""), std::string::npos) << e.what();
  }
}

// A neuron made from the record, initialised, with its clock.
struct Fixture {
  explicit Fixture(const NeuronProperties& np) : neuron(np, clock.View()) { neuron.NP = np; }
  void Steps(int n, double Iext = 0.0, double Vclamp = 0.0) {
    for (int i = 0; i < n; ++i) {
      clock.t += clock.dt;
      neuron.Step(0, 0, 0, 0, 0, Iext, Vclamp);
    }
  }
  StandaloneClock clock;
  TCondBasedNrn neuron;
};

TEST(CondBasedNeuron, RestIsKeptInEveryGeometry) {
  for (const char* geometry : {"1-point", "2-points", "2-p-MainenSejn", "2-p-ActiveDend"}) {
    NeuronProperties np = PassiveRecord(geometry);
    np.VL = -0.080;  // the leak is balanced against the channels at rest, whatever VL was
    Fixture f(np);
    f.neuron.InitState();
    EXPECT_DOUBLE_EQ(f.neuron.NP.VL, np.Vrest) << geometry;
    f.Steps(2000);
    EXPECT_NEAR(f.neuron.NV.V, np.Vrest, 1e-7) << geometry;
    EXPECT_NEAR(f.neuron.NV.VatE, np.Vrest, 1e-7) << geometry;
  }
}

TEST(CondBasedNeuron, DerivedPassiveParameters) {
  NeuronProperties np = PassiveRecord();
  np.IfSet_gL_or_tau = 2;
  np.gL = 123.0;
  Fixture f(np);
  f.neuron.InitState();
  EXPECT_DOUBLE_EQ(f.neuron.NP.gL, np.Cm / np.tau_m);  // no channel conductance at rest
  EXPECT_NE(f.neuron.NP.gL, np.gL);                    // the caller's record is untouched

  np.IfSet_gL_or_tau = 1;
  np.gL = 0.1;
  Fixture g(np);
  g.neuron.InitState();
  EXPECT_DOUBLE_EQ(g.neuron.NP.tau_m, np.Cm / 0.1);
  EXPECT_NEAR(g.neuron.InputConductance(), 0.1 + (np.Cm / g.neuron.NP.tau_m) * np.ro / (1 + np.l), 1e-12);
}

TEST(CondBasedNeuron, FreeRestingPotentialIsTheLeakReversal) {
  NeuronProperties np = PassiveRecord();
  np.IfSet_VL_or_Vrest = 1;
  np.VL = -0.070;
  np.If_I_V_or_g = 5;  // a voltage clamp does not hold the membrane while its rest is sought
  Fixture f(np);
  f.neuron.InitState();
  // The search stops once a step moves V by less than 0.1 uV, which with a time
  // constant tau_m leaves V within 0.1 uV * tau_m/dt of the leak reversal.
  const double tolerance = 1e-7 * np.tau_m / f.clock.dt;
  EXPECT_NEAR(f.neuron.NP.Vrest, -0.070, tolerance);
  EXPECT_NEAR(f.neuron.NV.V, -0.070, tolerance);
  EXPECT_GT(f.neuron.NV.V, -0.070 + tolerance / 100);  // it came from -64 mV and was not clamped
}

TEST(CondBasedNeuron, ChargesTowardTheSteadyVoltageOfAnInjectedCurrent) {
  NeuronProperties np = PassiveRecord();
  Fixture f(np);
  f.neuron.InitState();
  const double gL = f.neuron.NP.gL;
  const double tau = np.Cm / gL;
  const double I = 0.001;  // mA/cm²
  const int n = static_cast<int>(2 * tau / f.clock.dt);
  f.Steps(n, I);
  const double expected = np.Vrest + I / gL * (1 - std::exp(-n * f.clock.dt / tau));
  EXPECT_NEAR(f.neuron.NV.V, expected, 1e-3 * I / gL);
  EXPECT_NEAR(f.neuron.NV.Iind, I * np.Square * 1e9, 1e-9);
  // Explicit Euler: the derivative of the step is the one the voltage moved by.
  EXPECT_NEAR(f.neuron.NV.dVdt, (f.neuron.NV.V - f.neuron.NV.Vprev) / f.clock.dt, 1e-9);
}

TEST(CondBasedNeuron, VoltageClampHoldsTheCommandAndReportsTheClampCurrent) {
  for (const char* geometry : {"1-point", "2-points"}) {
    NeuronProperties np = PassiveRecord(geometry);
    np.If_I_V_or_g = 1;
    Fixture f(np);
    f.neuron.InitState();
    const double Vclamp = -0.040;
    f.Steps(1, 0.0, Vclamp);
    EXPECT_EQ(f.neuron.NV.V, Vclamp) << geometry;
    // The first step also charges the membrane capacitance.
    EXPECT_GT(f.neuron.NV.PSC, 0.0) << geometry;
    f.Steps(200, 0.0, Vclamp);
    EXPECT_EQ(f.neuron.NV.V, Vclamp) << geometry;
    if (std::string(geometry) == "1-point") {
      // Held still, the clamp supplies the leak current, in pA.
      const double leak = f.neuron.NP.gL * (Vclamp - f.neuron.NP.VL) * np.Square * 1e9;
      EXPECT_NEAR(f.neuron.NV.PSC, leak, 1e-9 * std::abs(leak)) << geometry;
    } else {
      // The soma also feeds the dendrite it depolarises.
      EXPECT_GT(f.neuron.NV.PSC, 0.0) << geometry;
    }
  }
}

TEST(CondBasedNeuron, TwoPointsUsesTheInputDerivativeOnlyAfterAnInput) {
  NeuronProperties np = PassiveRecord("2-points");
  Fixture f(np);
  f.neuron.InitState();
  const double l = np.l, tau = np.tau_m;
  f.clock.t += f.clock.dt;
  f.neuron.Step(0.002, 0, 0, 0, 0, 0, 0);  // previous dendritic input 0: no derivative term
  EXPECT_DOUBLE_EQ(f.neuron.NV.IdendIn, (l / 2 + 1) * f.neuron.NV.IsynDend);
  const double previous = f.neuron.NV.IsynDend;
  f.clock.t += f.clock.dt;
  f.neuron.Step(0.004, 0, 0, 0, 0, 0, 0);
  const double dI = (f.neuron.NV.IsynDend - previous) / f.clock.dt;
  EXPECT_DOUBLE_EQ(f.neuron.NV.IdendIn, 0.5 * l * tau * dI + (l / 2 + 1) * f.neuron.NV.IsynDend);
  EXPECT_GT(f.neuron.NV.VatE, np.Vrest);
  EXPECT_GT(f.neuron.NV.V, np.Vrest);
  EXPECT_GT(f.neuron.NV.VatE, f.neuron.NV.V);  // the input enters at the dendrite
}

TEST(CondBasedNeuron, UnknownGeometryIsNotIntegrated) {
  NeuronProperties np = PassiveRecord("3-points");
  Fixture f(np);
  f.neuron.InitState();
  f.Steps(10, 0.01);
  EXPECT_EQ(f.neuron.NV.V, np.Vrest);
}

}  // namespace
}  // namespace membrix

namespace membrix {
namespace {

// Channels keep the relaxation factors of their fixed time constants for the
// step they were computed for; a run whose step changes must see new ones.
TEST(CondBasedNeuron, ChangedTimeStepReachesEveryChannel) {
  for (const char* family : {"Lyle", "White", "White2", "Chow", "Cummins"}) {
    NeuronProperties np;
    np.HH_type = family;
    np.HH_order = "1-point";
    np.If_I_V_or_g = 2;
    double vus = 0;
    SetDefaults(np, vus);
    Fixture a(np);
    a.neuron.InitState();
    a.Steps(50, 0.002);
    a.clock.dt = 2e-5;

    // A neuron that meets the shorter step first, from the same state.
    Fixture b(np);
    b.clock.dt = 2e-5;
    b.clock.t = a.clock.t;
    b.neuron.InitState();
    b.neuron.NP = a.neuron.NP;
    b.neuron.NV = a.neuron.NV;
    a.Steps(50, 0.002);
    b.Steps(50, 0.002);
    EXPECT_EQ(a.neuron.NV.V, b.neuron.NV.V) << family;
    EXPECT_EQ(a.neuron.NV.lAHP, b.neuron.NV.lAHP) << family;
    EXPECT_EQ(a.neuron.NV.zM, b.neuron.NV.zM) << family;
    EXPECT_EQ(a.neuron.NV.hh, b.neuron.NV.hh) << family;
  }
}

}  // namespace
}  // namespace membrix
