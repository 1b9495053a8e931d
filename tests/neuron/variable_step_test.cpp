// The error-controlled integration of the conductance-based neuron: its
// right-hand side against the fixed step it comes from, a passive membrane
// against its closed form, and spike times that converge to the fixed step's
// dt -> 0 limit as the tolerance shrinks.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "common/error.h"
#include "neuron/cond_based_neuron.h"
#include "neuron/variable_step.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "run/clamp_run.h"
#include "run/host.h"
#include "run/run_view_sink.h"
#include "run/session.h"
#include "neuron/neuron_test_support.h"

namespace membrix {
namespace {

struct Model {
  const char* family;
  const char* naType = nullptr;  // the family's own Na and resurgent Na schemes unless named
  const char* naRType = nullptr;
  const char* geometry = "1-point";
};

NeuronProperties ModelRecord(const Model& m) {
  return testing::FamilyRecord(m.family, m.geometry, m.naType, m.naRType);
}

// For every family and Na scheme, and the two-compartment geometries whose
// soma has a capacitance: the rates the right-hand side gives are the
// change one fixed step makes, per unit time, as the step shrinks (two short
// steps, extrapolated to a step of 0). The state is taken away from rest (V
// 25 mV above it, every gate still at rest) so that every gate moves; a first,
// negligible step lets the schemes' last occupancy take up what the others
// leave, as every step does.
TEST(VariableStep, TheRightHandSideIsTheLimitOfTheFixedStep) {
  const Model models[] = {{"Rariza"},   {"Passive"}, {"Destexhe"}, {"Migliore"}, {"Cummins"},
                          {"Chow"},     {"Lyle"},    {"Naundorf"}, {"White"},    {"White2"},
                          {"Shu"},      {"Bazhenov"}, {"Lyle", "LyleMS", "LyleMS"},
                          {"Lyle", "Milescu", "Milescu"}, {"Lyle", "Fleid", "Lyle"},
                          {"Lyle", nullptr, nullptr, "2-points"}, {"Lyle", nullptr, nullptr, "2-p-ActiveDend"},
                          {"Destexhe", nullptr, nullptr, "2-points"}};
  const double Iext = 0.01;
  for (const Model& m : models) {
    SCOPED_TRACE(std::string(m.family) + " " + (m.naType ? m.naType : "") + " " + m.geometry);
    StandaloneClock clock;
    std::unique_ptr<TNeuron> neuron = CreateNeuron(ModelRecord(m), clock.View());
    auto& cb = dynamic_cast<TCondBasedNrn&>(*neuron);
    cb.InitState();
    cb.NV.V += 0.025;
    clock.dt = 1e-15;
    cb.Step(0, 0, 0, 0, 0, Iext, 0);
    const std::vector<std::ptrdiff_t> fields = StateFieldsOf(cb);
    ASSERT_GE(fields.size(), 3u);  // at least V, Ca and the dynamic threshold

    NeuronVariables start = cb.NV;
    NeuronVariables rates{};
    cb.TakeDerivatives(rates, 0, 0, 0, 0, 0, Iext, 0);
    const auto stepped = [&](double dt) {
      cb.NV = start;
      clock.dt = dt;
      cb.Step(0, 0, 0, 0, 0, Iext, 0);
      return cb.NV;
    };
    const double h = 1e-8;
    NeuronVariables whole = stepped(h);
    NeuronVariables half = stepped(h / 2);
    int moving = 0;
    for (std::ptrdiff_t f : fields) {
      const double x0 = FieldAt(start, f);
      const double limit = 2.0 * (FieldAt(half, f) - x0) / (h / 2) - (FieldAt(whole, f) - x0) / h;
      const double rate = FieldAt(rates, f);
      EXPECT_NEAR(limit, rate, 1e-5 * std::abs(rate) + 1e-4) << "field at byte " << f;
      if (std::abs(rate) > 1e-3) ++moving;
    }
    EXPECT_GE(moving, 2);  // the voltage and at least one gate
  }
}

TEST(VariableStep, ToleranceAndGeometryAreCheckedBeforeTheRun) {
  IntegratorSettings settings;
  settings.rtol = 0.0;
  EXPECT_THROW(CheckTolerances(settings), RangeError);
  settings = {};
  settings.atol = std::nan("");
  EXPECT_THROW(CheckTolerances(settings), RangeError);
  EXPECT_THROW(IntegratorFromName("euler"), Error);
  EXPECT_EQ(IntegratorFromName("cvode"), IntegratorKind::Cvode);

  NeuronProperties np = testing::PassiveRecord();
  np.HH_order = "3-points";  // a geometry without equations
  StandaloneClock clock;
  std::unique_ptr<TNeuron> neuron = CreateNeuron(np, clock.View());
  neuron->InitState();
  try {
    TVariableStepIntegrator integrator(dynamic_cast<TCondBasedNrn&>(*neuron), 0.0, {}, -0.03);
    FAIL() << "a neuron without equations was taken";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("\"3-points\""), std::string::npos) << e.what();
  }
}

// A passive membrane under a current step charges along its closed form,
// V(t) = Vrest + (I/g)(1 - exp(-t g/Cm)), to the tolerance asked for; the
// step starts exactly at its edge.
TEST(VariableStep, APassiveMembraneFollowsItsClosedForm) {
  NeuronProperties np = testing::PassiveRecord();
  StandaloneClock clock;
  clock.dt = 1e-4;
  std::unique_ptr<TNeuron> neuron = CreateNeuron(np, clock.View());
  auto& cb = dynamic_cast<TCondBasedNrn&>(*neuron);
  cb.InitState();
  const double Vrest = cb.NV.V;
  const double g = cb.NP.gL + cb.NV.gSum;
  const double Cm = cb.NP.Cm;
  ASSERT_GT(g, 0.0);
  IntegratorSettings settings;
  settings.kind = IntegratorKind::Cvode;
  settings.rtol = 1e-9;
  settings.atol = 1e-9;
  TVariableStepIntegrator integrator(cb, 0.0, settings, -0.03);
  const double I = 0.002;  // mA/cm², from t = 5 ms on
  const double edge = 0.005;
  double worst = 0.0;
  for (int n = 1; n <= 400; ++n) {
    const double t = n * clock.dt;
    clock.t = t;
    HeldInputs in;
    in.Iext = t > edge + 1e-12 ? I : 0.0;
    integrator.AdvanceTo(t, in);
    const double since = std::max(t - edge, 0.0);
    const double expected = Vrest + I / g * (1.0 - std::exp(-since * g / Cm));
    worst = std::max(worst, std::abs(cb.NV.V - expected));
  }
  EXPECT_LT(worst, 1e-8);  // V, against a 1e-9 mV absolute tolerance and a 10 mV rise
  EXPECT_GT(cb.NV.V - Vrest, 0.001);
  EXPECT_EQ(integrator.Restarts(), 1);
}

class SpikeTimes final : public RunViewSink {
 public:
  void Spike(double tSpike) override { times.push_back(tSpike); }
  std::vector<double> times;
};

// The squid axon under a steady 10 µA/cm², firing tonically. The leak
// balances the channels at Vrest, so that every run starts at the same rest
// whatever its step (a search for rest made with the run's step would not).
Session SquidSession(double t_end) {
  Session s;
  ApplyProgramStart(s);
  SelectModelFamily(s, "Rariza");
  s.NP0.IfSet_VL_or_Vrest = 2;
  s.stim.Iind = 0.0;
  s.stim.uu = 0.01;
  s.stim.ss = 0.0;
  SetRunLength(s.run, t_end);
  return s;
}

std::vector<double> SpikesWith(Session s, double dt, IntegratorKind kind, double tol = 1e-6) {
  SetTimeStep(s.run, dt);
  s.run.integrator = {kind, tol, tol};
  BatchHost host;
  SpikeTimes spikes;
  RunClamp(s, host, spikes);
  return spikes.times;
}

// The fixed step converges at first order in dt; two small steps extrapolate
// to its dt -> 0 limit. The error-controlled run reaches that limit within
// 5 µs over ten spikes at rtol 1e-8, and each tenfold tighter tolerance
// brings the tenth spike closer to it.
TEST(VariableStep, SpikeTimesConvergeToTheFixedStepsLimit) {
  const Session s = SquidSession(0.16);
  const std::vector<double> fine = SpikesWith(s, 5e-6, IntegratorKind::FixedStep);
  const std::vector<double> finer = SpikesWith(s, 2.5e-6, IntegratorKind::FixedStep);
  ASSERT_GE(fine.size(), 10u);
  ASSERT_EQ(fine.size(), finer.size());
  std::vector<double> limit;
  for (std::size_t k = 0; k < 10; ++k) limit.push_back(2.0 * finer[k] - fine[k]);

  const std::vector<double> tight = SpikesWith(s, 2.5e-5, IntegratorKind::Cvode, 1e-8);
  ASSERT_GE(tight.size(), 10u);
  for (std::size_t k = 0; k < 10; ++k) EXPECT_NEAR(tight[k], limit[k], 5e-6) << "spike " << k + 1;

  double lastError = 1.0;
  for (double tol : {1e-4, 1e-5, 1e-6, 1e-7}) {
    const std::vector<double> t = SpikesWith(s, 2.5e-5, IntegratorKind::Cvode, tol);
    ASSERT_GE(t.size(), 10u) << "rtol " << tol;
    const double error = std::abs(t[9] - limit[9]);
    EXPECT_LT(error, lastError) << "rtol " << tol;
    lastError = error;
  }
}

// The integrator's steps do not follow the samples: it steps past a sample
// and interpolates there, and the peaks it locates in a step are kept until
// the samples reach them. The spike times are then the same on every sample
// grid fine enough for the detector.
TEST(VariableStep, SpikeTimesDoNotDependOnTheSampleGrid) {
  const Session s = SquidSession(0.16);
  const std::vector<double> fine = SpikesWith(s, 2.5e-5, IntegratorKind::Cvode);
  ASSERT_GE(fine.size(), 10u);
  for (double grid : {1e-4, 5e-4}) {
    const std::vector<double> coarse = SpikesWith(s, grid, IntegratorKind::Cvode);
    ASSERT_EQ(coarse.size(), fine.size()) << "samples " << grid << " s apart";
    for (std::size_t k = 0; k < fine.size(); ++k) {
      EXPECT_NEAR(coarse[k], fine[k], 1e-10) << "samples " << grid << " s apart, spike " << k + 1;
    }
  }
}

// Under ion dynamics the Na and K inside the cell, and the cell volume, are
// state beside the neuron's: after 100 ms of firing, the spike times and the
// concentrations reach the fixed step's dt -> 0 limit.
TEST(VariableStep, IonConcentrationsAreIntegratedWithTheNeuron) {
  Session s = SquidSession(0.1);
  s.ionInputs.IonDynamics = 1;
  s.ionInputs.IfVolume = 1;
  s.ionInputs.KCC2 = 0.5;
  // The squid axon's large currents fill the cell with Na within a few
  // spikes at the default rate; a slower one keeps it firing.
  s.ionInputs.gamma = 0.001;
  struct Outcome {
    std::vector<double> spikes;
    double Nai, Ki, Vol;
  };
  const auto run = [&s](double dt, IntegratorKind kind, double tol) {
    Session c = s;
    SetTimeStep(c.run, dt);
    c.run.integrator = {kind, tol, tol};
    BatchHost host;
    SpikeTimes spikes;
    RunClamp(c, host, spikes);
    return Outcome{spikes.times, c.Ions.Nai, c.Ions.Ki, c.Ions.Vol};
  };
  const Outcome fine = run(5e-6, IntegratorKind::FixedStep, 0.0);
  const Outcome finer = run(2.5e-6, IntegratorKind::FixedStep, 0.0);
  const Outcome tight = run(2.5e-5, IntegratorKind::Cvode, 1e-8);
  ASSERT_GE(fine.spikes.size(), 5u);
  ASSERT_EQ(fine.spikes.size(), finer.spikes.size());
  ASSERT_EQ(tight.spikes.size(), finer.spikes.size());
  for (std::size_t k = 0; k < fine.spikes.size(); ++k) {
    EXPECT_NEAR(tight.spikes[k], 2.0 * finer.spikes[k] - fine.spikes[k], 5e-6) << "spike " << k + 1;
  }
  EXPECT_GT(std::abs(finer.Nai - 10.0), 0.01);  // the run moves the concentrations
  const auto limit = [](double a, double b) { return 2.0 * b - a; };
  EXPECT_NEAR(tight.Nai, limit(fine.Nai, finer.Nai), 1e-4);
  EXPECT_NEAR(tight.Ki, limit(fine.Ki, finer.Ki), 1e-4);
  EXPECT_NEAR(tight.Vol, limit(fine.Vol, finer.Vol), 1e-7);
  EXPECT_NE(tight.Vol, 1.0);
}

// Every geometry: the start-up neuron under a dendritic input that depends on
// the voltage (so that the dendrite's input has a slope) and a current step at
// the soma fires the spikes of the fixed step's dt -> 0 limit, extrapolated
// from three steps (the fixed step of the Mainen-Sejnowski soma, which moves
// a part of the way to its balance at each step, approaches it slowly).
TEST(VariableStep, EveryGeometryReachesTheFixedStepsLimit) {
  struct Case {
    const char* geometry;
    double dt;  // the longest of the three fixed steps, halved twice
    double t_end;
  };
  for (const Case& c : {Case{"2-points", 5e-6, 0.1}, Case{"2-p-ActiveDend", 5e-6, 0.1},
                        Case{"2-p-MainenSejn", 6.25e-7, 0.025}}) {
    SCOPED_TRACE(c.geometry);
    Session s;
    ApplyProgramStart(s);
    SelectGeometry(s, c.geometry);
    s.NP0.IfSet_VL_or_Vrest = 2;
    s.stim.uu = 0.002;
    s.stim.ss = 0.05;
    s.stim.Iind = 1000.0;
    SetRunLength(s.run, c.t_end);
    const std::vector<double> h = SpikesWith(s, c.dt, IntegratorKind::FixedStep);
    const std::vector<double> h2 = SpikesWith(s, c.dt / 2, IntegratorKind::FixedStep);
    const std::vector<double> h4 = SpikesWith(s, c.dt / 4, IntegratorKind::FixedStep);
    const std::vector<double> tight = SpikesWith(s, 5e-6, IntegratorKind::Cvode, 1e-8);
    ASSERT_GE(h.size(), 2u);
    ASSERT_EQ(h.size(), h2.size());
    ASSERT_EQ(h.size(), h4.size());
    ASSERT_EQ(tight.size(), h.size());
    for (std::size_t k = 0; k < h.size(); ++k) {
      const double limit = (8.0 * h4[k] - 6.0 * h2[k] + h[k]) / 3.0;
      EXPECT_NEAR(tight[k], limit, 5e-6) << "spike " << k + 1;
    }
  }
}

// Where a dendritic input changes from one value to another, the fixed step's
// slope of the input moves the two-compartment dendrite at once; held inputs
// on either side of the edge, the integrator makes the same jump.
TEST(VariableStep, ADendriticInputEdgeMovesTheDendriteAsTheFixedStepDoes) {
  const auto dendriteAfterEdge = [](double dt, bool variable) {
    StandaloneClock clock;
    clock.dt = dt;
    std::unique_ptr<TNeuron> neuron = CreateNeuron(testing::PassiveRecord("2-points"), clock.View());
    auto& cb = dynamic_cast<TCondBasedNrn&>(*neuron);
    cb.InitState();
    std::unique_ptr<TVariableStepIntegrator> integrator;
    if (variable) {
      integrator = std::make_unique<TVariableStepIntegrator>(
          cb, 0.0, IntegratorSettings{IntegratorKind::Cvode, 1e-10, 1e-10}, 1.0);
    }
    const int steps = static_cast<int>(std::lround(2e-3 / dt));
    for (int n = 1; n <= steps; ++n) {
      const double uDend = n * dt <= 1e-3 + 1e-12 ? 0.001 : 0.003;
      if (integrator) {
        integrator->AdvanceTo(n * dt, {uDend, 0.02, 0, 0, 0, 0, 0});
      } else {
        cb.Step(uDend, 0.02, 0, 0, 0, 0, 0);
      }
    }
    return cb.NV.VatE;
  };
  const double fine = dendriteAfterEdge(1e-6, false), finer = dendriteAfterEdge(5e-7, false);
  const double limit = 2.0 * finer - fine;
  const double variable = dendriteAfterEdge(1e-5, true);
  EXPECT_NEAR(variable, limit, 1e-8);
}

// What the integrator cannot take is refused with the reason before anything
// runs.
TEST(VariableStep, RunsItCannotIntegrateAreRefused) {
  Session s = SquidSession(0.01);
  s.run.integrator.kind = IntegratorKind::Cvode;
  s.stim.IfVoltageNoise = 1;
  BatchHost host;
  SpikeTimes spikes;
  try {
    RunClamp(s, host, spikes);
    FAIL() << "a noisy run was integrated";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("noise"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace membrix
