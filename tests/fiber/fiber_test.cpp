#include "fiber/fiber.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/error.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "run/session.h"
#include "tasks/task_inputs.h"

namespace membrix {
namespace {

// A session of the given family in current clamp, without other inputs.
Session FiberSession(const char* family) {
  Session s;
  ApplyProgramStart(s);
  SelectModelFamily(s, family);
  s.stim.uu = s.stim.ss = s.stim.s_soma = 0.0;
  s.stim.Iind = 0.0;
  s.NP0.If_I_V_or_g = 2;
  return s;
}

// The fiber of the session and inputs, at rest.
std::unique_ptr<TFiber> RestingFiber(Session& s, const FiberInputs& in) {
  auto fiber = SetupFiber(s, in);
  InitFiber(s, *fiber);
  return fiber;
}

void Advance(Session& s, TFiber& fiber, int steps) {
  for (int n = 1; n <= steps; ++n) {
    s.run.nt = n;
    s.run.t = n * s.run.dt;
    fiber.ClearInputs();
    StimulateFiber(s, fiber);
    StepFiber(s, fiber, s.run.t);
  }
}

// A passive axon three tenths of a length constant long, driven by a current step at the soma.
FiberInputs PassiveCable(int N) {
  FiberInputs in;
  in.Stimulation = FiberStimulation::EndSteps;
  in.NaDistribution = 4;  // "fiber is passive"
  in.N = N;
  in.L = 300.0;
  in.diam = 1.0;
  in.RL = 150.0;
  return in;
}

TEST(Fiber, PassiveCableConvergesToTheCableInputConductance) {
  // The soma's injected current splits between its own leak and the cable,
  // whose input conductance over the soma's is tanh(L/λ)/Gs_R; the finite
  // segments miss the membrane of about one segment, so the error falls as 1/N.
  double previous = 1.0;
  for (int N : {50, 100, 200, 500}) {
    Session s = FiberSession("Passive");
    TaskInputs inputs;
    s.run.dt = 2e-4;
    FiberInputs in = PassiveCable(N);
    in.Iind_Left = 10.0;
    auto fiber = RestingFiber(s, in);
    const double Vrest = fiber->V[0];
    Advance(s, *fiber, 2000);  // 0.4 s, many membrane time constants
    const NeuronProperties& np = fiber->Nodes[0]->NP;
    const double Gsoma = np.gL * np.Square;
    const double Gtotal = in.Iind_Left / 1e9 / (fiber->V[0] - Vrest);
    const double ratio = (Gtotal - Gsoma) / Gsoma;
    const FiberDerived d = DerivedValues(*fiber);
    const double expected = std::tanh(fiber->Props.L / d.Lambda) / d.Gs_R;
    const double error = std::abs(ratio / expected - 1.0);
    RecordProperty("relative_error_N" + std::to_string(N), std::to_string(error));
    std::printf("N = %3d: cable/soma conductance %.6f, expected %.6f, relative error %.5f\n", N, ratio, expected,
                error);
    EXPECT_LT(error, previous) << "N = " << N;
    EXPECT_LT(error, 2.0 / N) << "N = " << N;
    previous = error;
  }
}

TEST(Fiber, RestsWithoutInputAndTheFarEndLeadsItsOwnInput) {
  Session s = FiberSession("Passive");
  TaskInputs inputs;
  FiberInputs in = PassiveCable(20);
  auto fiber = RestingFiber(s, in);
  const double Vrest = fiber->Nodes[0]->NP.Vrest;
  Advance(s, *fiber, 200);
  for (int i = 0; i <= 20; ++i) EXPECT_NEAR(fiber->V[i], Vrest, 1e-12) << "node " << i;

  in.Iind_Right = 20.0;
  fiber = RestingFiber(s, in);
  Advance(s, *fiber, 20);
  // Early on the depolarisation falls from the far end toward the soma.
  for (int i = 0; i < 20; ++i) EXPECT_GT(fiber->V[i + 1], fiber->V[i]) << "node " << i;
  EXPECT_GT(fiber->V[0], Vrest);
}

TEST(Fiber, ClampedSomaStaysAtTheCommandAndCarriesTheClampCurrent) {
  Session s = FiberSession("Passive");
  TaskInputs inputs;
  s.NP0.If_I_V_or_g = 1;
  // A clamped membrane is not brought to rest by the setup: let the leak rest at Vrest.
  s.NP0.VL = s.NP0.Vrest;
  s.NP0.gL = s.NP0.Cm / s.NP0.tau_m;
  s.run.dt = 2e-4;
  FiberInputs in = PassiveCable(200);
  in.Iind_Right = 10.0;
  auto fiber = RestingFiber(s, in);
  ASSERT_EQ(fiber->Props.SomaClamped, 1);
  const double VClamp = fiber->Props.VClamp;
  for (int n = 0; n < 20; ++n) {
    Advance(s, *fiber, 100);
    ASSERT_EQ(fiber->V[0], VClamp) << "step " << n;
  }
  // The current injected at the far end reaches the clamped soma attenuated by cosh(L/λ).
  const double expected = -in.Iind_Right / 1e9 / std::cosh(fiber->Props.L / fiber->Props.Lambda);
  EXPECT_NEAR(fiber->ISoma / expected, 1.0, 0.02);
}

TEST(Fiber, ThomasSolveMatchesDenseElimination) {
  // A system shaped like the fiber's: the soma row, interior rows, the far-end row.
  const int N = 6;
  std::vector<double> lower(N + 1), diag(N + 1), upper(N + 1), rhs(N + 1), U(N + 1);
  std::vector<std::vector<double>> A(N + 1, std::vector<double>(N + 2, 0.0));
  for (int i = 0; i <= N; ++i) {
    lower[i] = i == 0 ? 0.0 : -0.3 - 0.1 * i;
    upper[i] = i == N ? 0.0 : -0.2 - 0.05 * i;
    diag[i] = i == N ? 0.3 + 0.1 * i : 1.5 + 0.2 * i;
    rhs[i] = std::sin(1.0 + i);
    if (i > 0) A[i][i - 1] = lower[i];
    if (i < N) A[i][i + 1] = upper[i];
    A[i][i] = diag[i];
    A[i][N + 1] = rhs[i];
  }
  diag[0] = -5.0, A[0][0] = -5.0;
  upper[0] = 2.0, A[0][1] = 2.0;
  SolveTridiagonal(lower, diag, upper, rhs, U, N);
  // Gauss-Jordan with partial pivoting on the dense matrix.
  for (int c = 0; c <= N; ++c) {
    int p = c;
    for (int r = c + 1; r <= N; ++r) {
      if (std::abs(A[r][c]) > std::abs(A[p][c])) p = r;
    }
    std::swap(A[c], A[p]);
    for (int r = 0; r <= N; ++r) {
      if (r == c) continue;
      const double e = A[r][c] / A[c][c];
      for (int k = c; k <= N + 1; ++k) A[r][k] -= e * A[c][k];
    }
  }
  for (int i = 0; i <= N; ++i) EXPECT_NEAR(U[i], A[i][N + 1] / A[i][i], 1e-12) << "row " << i;
}

TEST(Fiber, SpikePropagatesAlongTheActiveAxon) {
  Session s = FiberSession("Rariza");
  TaskInputs inputs;
  s.run.dt = 2e-5;
  FiberInputs in;
  in.Stimulation = FiberStimulation::EndSteps;
  in.Iind_Left = 3000.0;
  in.NaDistribution = 2;  // homogeneous
  in.N = 100;
  in.L = 3000.0;
  auto fiber = RestingFiber(s, in);
  // The first crossing of -20 mV at a quarter and at three quarters of the axon.
  double tQuarter = -1.0, tThreeQuarters = -1.0, tEnd = -1.0;
  for (int n = 1; n <= 1000 && tEnd < 0.0; ++n) {
    Advance(s, *fiber, 1);
    const double t = n * s.run.dt;
    if (tQuarter < 0.0 && fiber->V[25] > -0.02) tQuarter = t;
    if (tThreeQuarters < 0.0 && fiber->V[75] > -0.02) tThreeQuarters = t;
    if (tEnd < 0.0 && fiber->V[100] > -0.02) tEnd = t;
  }
  ASSERT_GT(tQuarter, 0.0);
  ASSERT_GT(tThreeQuarters, tQuarter);
  ASSERT_GT(tEnd, tThreeQuarters);
  const double velocity = 0.5 * in.L * 1e-6 / (tThreeQuarters - tQuarter);  // m/s
  std::printf("conduction velocity %.3f m/s\n", velocity);
  EXPECT_GT(velocity, 0.1);
  EXPECT_LT(velocity, 3.0);
}

TEST(Fiber, StimulationShapes) {
  Session s = FiberSession("Passive");
  TaskInputs inputs;
  FiberInputs in = PassiveCable(4);
  in.Iind_Left = 30.0;
  in.Iind_Right = 10.0;
  in.alpha_Hz = 200.0;
  in.Stimulation = FiberStimulation::EndAlpha;
  auto fiber = RestingFiber(s, in);
  s.run.t = 1.0 / in.alpha_Hz;
  StimulateFiber(s, *fiber);
  EXPECT_DOUBLE_EQ(fiber->Iind[0], 30e-9);
  EXPECT_DOUBLE_EQ(fiber->Iind[4], 10e-9);
  s.run.t = 0.5 / in.alpha_Hz;
  StimulateFiber(s, *fiber);
  EXPECT_LT(fiber->Iind[0], 30e-9);

  // Without amplitudes the noisy conductances relax to their means with tau_noise.
  in.Stimulation = FiberStimulation::SomaNoise;
  in.tau_noise = 2.0;
  in.mean_gE = 0.2;
  in.mean_gI = 0.4;
  fiber = RestingFiber(s, in);
  s.run.dt = 1e-4;
  const int steps = 20;  // one time constant
  for (int n = 0; n < steps; ++n) StimulateFiber(s, *fiber);
  const double left = std::pow(1.0 - s.run.dt / 0.002, steps);
  EXPECT_NEAR(fiber->gE, 0.2 * (1.0 - left), 1e-12);
  EXPECT_NEAR(fiber->gI, 0.4 * (1.0 - left), 1e-12);
  EXPECT_NEAR(fiber->Iext[0], -s.stim.Vus * fiber->gE, 1e-15);
  EXPECT_NEAR(fiber->gSyn[0], fiber->gE + fiber->gI, 1e-15);

  // White noise without amplitude is the mean itself, not nothing.
  in.tau_noise = 0.0;
  fiber = RestingFiber(s, in);
  StimulateFiber(s, *fiber);
  EXPECT_DOUBLE_EQ(fiber->gE, 0.2);
  EXPECT_DOUBLE_EQ(fiber->gI, 0.4);
}

TEST(Fiber, ChannelDistributionRules) {
  Session s = FiberSession("Rariza");
  TaskInputs inputs;
  FiberInputs neutral;
  neutral.N = 4;
  neutral.Homogeneous = 1;
  neutral.NoAdaptation = 0;
  neutral.NaDistribution = 2;
  auto fiber = SetupFiber(s, neutral);
  NeuronProperties base = fiber->Nodes[0]->NP;
  base.gNa = 1, base.gNaR = 0.5, base.gK = 2, base.gKM = 3, base.gKA = 4, base.gKD = 5, base.gAHP = 6;
  base.gH = 7, base.gADP = 8, base.NaThreshShift = 2;

  using Field = double NeuronProperties::*;
  const struct {
    const char* rule;
    std::function<void(FiberInputs&)> set;
    int node;
    Field field;
    double expected;
  } cases[] = {
      {"homogeneous axon keeps the soma's Na", [](FiberInputs& in) { in.wNa = 0; }, 0, &NeuronProperties::gNa, 1},
      {"homogeneous axon without Na", [](FiberInputs& in) { in.wNa = 0; }, 2, &NeuronProperties::gNa, 0},
      {"homogeneous axon K scaled by wK", [](FiberInputs& in) { in.wK = 2; }, 3, &NeuronProperties::gKD, 10},
      {"linear Na along the axon", [](FiberInputs& in) { in.Homogeneous = 0, in.wNa = 0.5; }, 4,
       &NeuronProperties::gNa, 1.5},
      {"parabolic Na along the axon", [](FiberInputs& in) { in.Homogeneous = 0, in.wNa = 2; }, 2,
       &NeuronProperties::gNa, 1.0},
      {"parabolic K along the axon", [](FiberInputs& in) { in.Homogeneous = 0, in.wK = 2; }, 4,
       &NeuronProperties::gKA, 10},
      {"passive right half", [](FiberInputs& in) { in.RightHalfPassive = 1; }, 3, &NeuronProperties::gK, 0},
      {"the middle is not the right half", [](FiberInputs& in) { in.RightHalfPassive = 1; }, 2,
       &NeuronProperties::gK, 2},
      {"no adaptation on the axon", [](FiberInputs& in) { in.NoAdaptation = 1; }, 1, &NeuronProperties::gAHP, 0},
      {"the soma keeps its adaptation", [](FiberInputs& in) { in.NoAdaptation = 1; }, 0,
       &NeuronProperties::gKM, 3},
      {"Na falls, NaR rises", [](FiberInputs& in) { in.NaDistribution = 0; }, 1, &NeuronProperties::gNaR, 0.125},
      {"Na falls linearly", [](FiberInputs& in) { in.NaDistribution = 0; }, 1, &NeuronProperties::gNa, 0.75},
      {"NaThreshShift falls linearly", [](FiberInputs& in) { in.NaDistribution = 1; }, 2,
       &NeuronProperties::NaThreshShift, 1},
      {"NaR only in the right half", [](FiberInputs& in) { in.NaDistribution = 3; }, 1, &NeuronProperties::gNaR, 0},
      {"NaR in the right half", [](FiberInputs& in) { in.NaDistribution = 3; }, 2, &NeuronProperties::gNaR, 0.5},
      {"Na only at the soma", [](FiberInputs& in) { in.NaDistribution = 3; }, 2, &NeuronProperties::gNa, 0},
      {"passive fiber", [](FiberInputs& in) { in.NaDistribution = 4; }, 1, &NeuronProperties::gH, 0},
      {"passive fiber, active soma", [](FiberInputs& in) { in.NaDistribution = 4; }, 0, &NeuronProperties::gH, 7},
      {"AHP grows to the far end", [](FiberInputs& in) { in.NaDistribution = 5; }, 2, &NeuronProperties::gAHP, 3},
      {"K follows NaR, scaled at the soma", [](FiberInputs& in) { in.KDistribution = 1; }, 2,
       &NeuronProperties::gK, 1},
      {"K follows NaR, scaled at the end", [](FiberInputs& in) { in.KDistribution = 2; }, 0,
       &NeuronProperties::gKA, 8},
      {"K only in the right half", [](FiberInputs& in) { in.KDistribution = 3; }, 1, &NeuronProperties::gKA, 0},
  };
  for (const auto& c : cases) {
    FiberInputs in = neutral;
    c.set(in);
    for (auto& node : fiber->Nodes) node->NP = base;
    ApplyChannelDistribution(*fiber, in);
    EXPECT_DOUBLE_EQ(fiber->Nodes[static_cast<std::size_t>(c.node)]->NP.*c.field, c.expected) << c.rule;
  }
}

TEST(Fiber, RefusesImpossibleGeometry) {
  const struct {
    const char* what;
    std::function<void(FiberInputs&, Session&)> set;
  } cases[] = {
      {"no segment", [](FiberInputs& in, Session&) { in.N = 0; }},
      {"more than 500 segments", [](FiberInputs& in, Session&) { in.N = 501; }},
      {"zero length", [](FiberInputs& in, Session&) { in.L = 0; }},
      {"negative diameter", [](FiberInputs& in, Session&) { in.diam = -1; }},
      {"zero resistivity", [](FiberInputs& in, Session&) { in.RL = 0; }},
      {"no membrane time constant", [](FiberInputs&, Session& s) { s.NP0.tau_m = 0; }},
      {"observed node beyond the end", [](FiberInputs& in, Session&) { in.zDraw = 1.5; }},
  };
  for (const auto& c : cases) {
    Session s = FiberSession("Passive");
    TaskInputs inputs;
    c.set(inputs.fiber, s);
    s.run.Writing = 1;
    EXPECT_THROW(SetupFiber(s, inputs.fiber), RangeError) << c.what;
  }
  Session s = FiberSession("Passive");
  TaskInputs inputs;
  inputs.fiber.N = 500;
  EXPECT_EQ(SetupFiber(s, inputs.fiber)->Nodes.size(), 501u);
}

// Records the frames of a run.
class FrameRecorder final : public FiberSink {
 public:
  void Clear() override { ++clears; }
  void Frame(const TFiber&, double t, double) override { times.push_back(t); }
  int clears = 0;
  std::vector<double> times;
};

TEST(FiberRun, DrawsEveryNDrawStepsAndRecordsTheObservedNode) {
  for (int nDraw : {0, 4}) {
    Session s = FiberSession("Passive");
    TaskInputs inputs;
    inputs.fiber = PassiveCable(10);
    inputs.fiber.Iind_Right = 50.0;
    inputs.fiber.zDraw = 1.0;
    inputs.fiber.nDraw = nDraw;
    SetRunLength(s.run, 20 * s.run.dt);
    BatchHost host;
    FrameRecorder frames;
    const FiberOutcome outcome = FiberRun(s, inputs.fiber, host, frames);
    EXPECT_EQ(outcome.steps, s.run.nt_end);
    EXPECT_EQ(frames.clears, 1);
    EXPECT_EQ(frames.times.size(), nDraw == 0 ? 1u : 1u + static_cast<std::size_t>(s.run.nt_end / nDraw))
        << "nDraw = " << nDraw;
    // Current clamp records the depolarisation of the observed node, here the far end.
    EXPECT_GT(s.ModelData(s.run.nt_end, s.rec.Smpl), 0.0);
  }
}

}  // namespace
}  // namespace membrix
