#include "run/stimulus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/error.h"
#include "run/session.h"

namespace membrix {
namespace {

constexpr double kSquare = 1e-5;       // cm²
constexpr double kPa = kSquare * 1e9;  // pA per mA/cm²
constexpr double kVrest = -0.065;      // V

// A session whose neuron has a known area and rest, in current clamp, without
// any input until a test asks for one.
struct StimulusFixture : ::testing::Test {
  StimulusFixture() {
    np.Square = kSquare;
    np.Vrest = kVrest;
    np.If_I_V_or_g = 2;
    np.Cm = 0.001;
    np.tau_m = 0.01;
    s.stim.Iind = 0.0;
    s.stim.t_IindShift = 0.25;
    s.stim.t_Iind = 0.25;
  }
  StepInputs At(double t) {
    s.run.t = t;
    return Stimulus(s, np);
  }
  double CurrentPaAt(double t) { return At(t).Iext * kPa; }

  Session s;
  NeuronProperties np;
};

TEST_F(StimulusFixture, ShortPulsesWithAFrequencyMakeATrainOfElevenFromTheWindowStart) {
  s.stim.Iind = 100.0;
  s.stim.Freq_Iind = 100.0;
  s.stim.t_Iind = 0.01;  // pulses as long as the period: one continuous current but for the edges
  const double t0 = s.stim.t_IindShift;
  for (int k = 0; k < 11; ++k) EXPECT_NEAR(CurrentPaAt(t0 + (k + 0.5) * 0.01), 100.0, 1e-9) << "pulse " << k;
  EXPECT_NEAR(CurrentPaAt(t0 + 0.1099), 100.0, 1e-9);
  for (double x : {-0.005, 0.1101, 0.115, 0.2}) EXPECT_EQ(CurrentPaAt(t0 + x), 0.0) << "x = " << x;

  // A window of 20 ms is too long for a train: the same settings give one step.
  s.stim.t_Iind = 0.02;
  for (double x : {0.001, 0.01, 0.0101, 0.019}) EXPECT_NEAR(CurrentPaAt(t0 + x), 100.0, 1e-9) << "x = " << x;
  for (double x : {0.021, 0.05, 0.1}) EXPECT_EQ(CurrentPaAt(t0 + x), 0.0) << "x = " << x;
}

TEST_F(StimulusFixture, WindowIsOpenOnTheLeftForTheCurrentOnly) {
  s.stim.Iind = 100.0;
  s.stim.uu = 0.002;
  s.stim.ss = 0.1;
  s.stim.gNMDA = 0.3;
  s.stim.s_soma = 0.05;
  s.stim.t_IindShift = 0.5;  // times and window exact in binary, so x = 0 and x = t_Iind are hit
  s.stim.t_Iind = 0.25;
  const double dt = s.run.dt;
  const struct {
    double t;
    bool inputsOn, currentOn;
  } cases[] = {{0.5 - dt, false, false}, {0.5, true, false}, {0.5 + dt, true, true},
               {0.75, true, true},       {0.75 + dt, false, false}};
  for (auto c : cases) {
    const StepInputs in = At(c.t);
    const double on = c.inputsOn ? 1.0 : 0.0;
    EXPECT_EQ(in.uDend, 0.002 * on) << "t = " << c.t;
    EXPECT_EQ(in.sDend, 0.1 * on) << "t = " << c.t;
    EXPECT_EQ(in.gNMDA, 0.3 * on) << "t = " << c.t;
    EXPECT_EQ(in.sSoma, 0.05 * on) << "t = " << c.t;
    EXPECT_EQ(in.uSoma, 0.0);
    EXPECT_NEAR(in.Iext * kPa, c.currentOn ? 100.0 : 0.0, 1e-9) << "t = " << c.t;
  }
}

TEST_F(StimulusFixture, EachShapeShapesTheInputsAndTheCurrent) {
  s.stim.Iind = 100.0;
  s.stim.uu = 2.0;
  s.stim.ss = 3.0;
  s.stim.t_Iind = 0.1;
  const double r = std::sqrt(0.5);
  const struct {
    PulseShape shape;
    double freq, x, u, sd, pA;
  } cases[] = {
      {PulseShape::Step, 5, 0.025, 2.0, 3.0, 100.0},
      {PulseShape::Ramp, 5, 0.025, 0.5, 3.0, 25.0},
      {PulseShape::Ramp, 5, 0.05, 1.0, 3.0, 50.0},
      {PulseShape::Oscillations, 5, 0.025, 2.0 * r, 3.0, 100.0 * r},
      {PulseShape::Oscillations, 5, 0.05, 2.0, 3.0, 100.0},
      {PulseShape::Oscillations, 0, 0.025, 0.0, 3.0, 0.0},
      {PulseShape::ReversedRamp, 5, 0.025, 1.5, 2.25, 75.0},
      {PulseShape::ReversedRamp, 5, 0.05, 1.0, 1.5, 50.0},
      {PulseShape::RampS, 5, 0.025, 2.0, 0.75, 100.0},
      {PulseShape::RampS, 5, 0.05, 2.0, 1.5, 100.0},
  };
  for (auto c : cases) {
    s.stim.pulseShape = c.shape;
    s.stim.Freq_Iind = c.freq;
    const StepInputs in = At(s.stim.t_IindShift + c.x);
    const auto name = kPulseShapeNames[static_cast<int>(c.shape)];
    EXPECT_NEAR(in.uDend, c.u, 1e-9) << name << " at x = " << c.x << ", f = " << c.freq;
    EXPECT_NEAR(in.sDend, c.sd, 1e-9) << name << " at x = " << c.x;
    EXPECT_NEAR(in.Iext * kPa, c.pA, 1e-6) << name << " at x = " << c.x;
  }
}

TEST_F(StimulusFixture, WindowOfZeroLengthGivesFiniteInputs) {
  s.stim.uu = 2.0;
  s.stim.ss = 3.0;
  s.stim.t_Iind = 0.0;
  for (PulseShape shape : {PulseShape::Ramp, PulseShape::ReversedRamp, PulseShape::RampS}) {
    s.stim.pulseShape = shape;
    const StepInputs in = At(s.stim.t_IindShift);
    const auto name = kPulseShapeNames[static_cast<int>(shape)];
    EXPECT_TRUE(std::isfinite(in.uDend) && std::isfinite(in.sDend)) << name;
  }
}

TEST_F(StimulusFixture, VoltageTrainCountsFromTimeZero) {
  np.If_I_V_or_g = 1;
  s.stim.Vh = -0.02;
  s.stim.Iind = 100.0;
  s.stim.t_IindShift = 0.05;
  s.stim.t_Iind = 0.005;
  const struct {
    double freq, t, V;
  } cases[] = {
      {100, 0.0025, -0.02}, {100, 0.0075, kVrest}, {100, 0.1025, -0.02}, {100, 0.1125, kVrest},
      // Without a frequency the command is a step over the pulse window.
      {0, 0.0025, kVrest},  {0, 0.0525, -0.02},    {0, 0.0575, kVrest},
  };
  for (auto c : cases) {
    s.stim.Freq_Iind = c.freq;
    EXPECT_EQ(ClampVoltage(s, np, c.t), c.V) << "f = " << c.freq << ", t = " << c.t;
  }
  // The current train of the same settings starts with the pulse window.
  s.stim.Freq_Iind = 100;
  EXPECT_EQ(CurrentPaAt(0.0025), 0.0);
  EXPECT_NEAR(CurrentPaAt(0.0525), 100.0, 1e-9);
}

TEST_F(StimulusFixture, RecordedCommandIsInterpolatedBetweenRows) {
  const int column = s.rec.Smpl;
  auto recorded = [](double row) { return -60.0 + 0.001 * row; };  // mV
  s.ExpData.Resize(column, 25000);  // a recording of 25000 steps
  for (int row = 0; row <= 25000; ++row) s.ExpData(row, column) = recorded(row);
  const double dt = s.run.dt;
  const struct {
    int nt_end;
    double step, row;
  } cases[] = {
      {100, 10.25, 10.25},        {100, 99.5, 99.5},          // between rows k and k + 1
      {100, 150.0, 100.0},                                    // past the run: its last row
      {30000, 24999.5, 24999.5},  {30000, 25000.5, 25000.0},  // past the recording's rows: its last row
  };
  for (int mode : {4, 5}) {
    np.If_I_V_or_g = mode;
    for (auto c : cases) {
      s.run.nt_end = c.nt_end;
      EXPECT_NEAR(ClampVoltage(s, np, c.step * dt), recorded(c.row) / 1000.0, 1e-12)
          << "mode " << mode << ", step " << c.step << " of " << c.nt_end;
    }
  }
}

// A bare neuron is enough: the electrode reads only its voltage and record.
struct ElectrodeFixture : ::testing::Test {
  ElectrodeFixture() : cell(clock.View()) {
    cell.NP.If_I_V_or_g = 2;
    cell.NP.HH_order = "1-point";
    cell.NV.V = -0.06;
    s.stim.Vus = -0.065;
    s.run.dt = 5e-5;
    in = {0.002, 0.1, 0.001, 0.05, 0.3, 0.003, -0.02};
  }
  StandaloneClock clock;
  TNeuron cell;
  Session s;
  StepInputs in;
};

TEST_F(ElectrodeFixture, IsTransparentWithoutPipetteConductance) {
  s.stim.Pipette.C1 = 0.002;
  for (int mode : {2, 4}) {
    cell.NP.If_I_V_or_g = mode;
    StepInputs copy = in;
    Electrode(s, cell, copy);
    EXPECT_EQ(copy.uDend, in.uDend);
    EXPECT_EQ(copy.sDend, in.sDend);
    EXPECT_EQ(copy.uSoma, in.uSoma);
    EXPECT_EQ(copy.sSoma, in.sSoma);
    EXPECT_EQ(copy.Iext, in.Iext) << "mode " << mode;
    EXPECT_EQ(s.stim.Pipette.Vp, cell.NV.V);
    EXPECT_EQ(s.stim.Pipette.Ip, in.Iext);
  }
}

TEST_F(ElectrodeFixture, CurrentClampFeedsTheStimulusThroughThePipette) {
  PipetteRecord& p = s.stim.Pipette;
  const struct {
    const char* geometry;
    double C1, Ip, Vp, Iext;
    bool dendriteKept;
  } cases[] = {
      // Ip = -(s_dend + s_soma)(Vp - Vus) + u_dend + u_soma + Iext; Vp from C1 and G1.
      {"1-point", 0.002, 0.00555, -0.0616920454545454545, -0.0067681818181818, false},
      // Two compartments: only the somatic input moves into the pipette.
      {"2-points", 0.002, 0.00385, -0.0617306818181818181, -0.0069227272727273, true},
      // Without capacitance the cell receives the whole pipette current.
      {"1-point", 0.0, 0.00555, -0.06 + 0.00555 / 4.0, 0.00555, false},
  };
  for (auto c : cases) {
    cell.NP.HH_order = c.geometry;
    p = {4.0, c.C1, -0.062, 0.0, 0.0};
    StepInputs io = in;
    Electrode(s, cell, io);
    EXPECT_NEAR(p.Ip, c.Ip, 1e-15) << c.geometry << ", C1 = " << c.C1;
    EXPECT_NEAR(p.Vp, c.Vp, 1e-15) << c.geometry << ", C1 = " << c.C1;
    EXPECT_EQ(p.VpPrev, -0.062);
    EXPECT_NEAR(io.Iext, c.Iext, 1e-15) << c.geometry << ", C1 = " << c.C1;
    EXPECT_EQ(io.uSoma, 0.0);
    EXPECT_EQ(io.sSoma, 0.0);
    EXPECT_EQ(io.uDend, c.dendriteKept ? in.uDend : 0.0) << c.geometry;
    EXPECT_EQ(io.sDend, c.dendriteKept ? in.sDend : 0.0) << c.geometry;
    EXPECT_EQ(io.gNMDA, in.gNMDA);
  }
}

TEST_F(ElectrodeFixture, VoltageClampWithPipetteHoldsThePipetteAtTheCommand) {
  cell.NP.If_I_V_or_g = 4;
  s.stim.Pipette = {4.0, 0.002, -0.065, 0.0, 0.0};
  StepInputs io = in;
  Electrode(s, cell, io);
  const PipetteRecord& p = s.stim.Pipette;
  EXPECT_EQ(p.Vp, -0.02);
  // Through G1 into the cell, plus the charge that moves the pipette by 45 mV in one step.
  EXPECT_NEAR(p.Ip, 0.04 * 4.0 + 0.045 * 0.002 / 5e-5, 1e-12);
  EXPECT_NEAR(io.Iext, 0.04 * 4.0, 1e-15);
  EXPECT_EQ(io.uDend, in.uDend);
  EXPECT_EQ(io.sSoma, in.sSoma);
}

TEST(OUStep, WhiteNoiseIsCutAtTenDeviations) {
  const struct {
    double sigma, r, expected;
  } cases[] = {
      {2.0, 0.5, 1.0 + 1.0}, {2.0, 12.0, 1.0 + 20.0}, {2.0, -15.0, 1.0 - 20.0}, {-2.0, 12.0, 1.0 - 20.0}};
  for (auto c : cases) {
    double p = 123.0;
    EXPECT_EQ(OUStep(p, 0.0, 1.0, c.sigma, 5e-5, c.r), c.expected)
        << "sigma = " << c.sigma << ", r = " << c.r;
    EXPECT_EQ(p, c.expected);
  }
}

TEST(OUStep, NegativeTimeConstantIsAnError) {
  double p = 0.0;
  EXPECT_THROW(OUStep(p, -0.001, 0.0, 1.0, 5e-5, 0.3), RangeError);
}

TEST(OUStep, ColouredNoiseKeepsTheRequestedMeanAndDeviation) {
  RandomGenerator random;
  const double tau = 0.005, dt = 5e-5, mean = 1.0, sigma = 2.0;
  double p = mean, sum = 0.0, sum2 = 0.0, jump = 0.0;
  const int n = 400000;  // 4000 correlation times
  for (int i = 0; i < n; ++i) {
    const double before = p;
    OUStep(p, tau, mean, sigma, dt, random);
    sum += p;
    sum2 += p * p;
    jump += std::abs(p - before);
  }
  const double m = sum / n;
  EXPECT_NEAR(m, mean, 0.15);
  EXPECT_NEAR(std::sqrt(sum2 / n - m * m), sigma, 0.05 * sigma);
  EXPECT_LT(jump / n, 0.2 * sigma);  // correlated from step to step, not white
}

TEST_F(StimulusFixture, NoiseCurrentIsCorrelatedWithinThePulseAndRestsOutside) {
  s.stim.Iind = 100.0;
  s.stim.noiseList = NoiseList::NoiseCurrent;
  s.stim.tau_Noise = 0.01;
  s.stim.t_IindShift = 0.0;
  s.stim.t_Iind = 1.0;  // 100 correlation times
  const double dt = s.run.dt;
  const int steps = 19900;  // inside the pulse
  double prev = 0.0, sum2 = 0.0, maxJump = 0.0;
  for (int nt = 1; nt <= steps; ++nt) {
    const double n = CurrentPaAt(nt * dt) - 100.0;
    sum2 += n * n;
    if (nt > 1) maxJump = std::max(maxJump, std::abs(n - prev));
    prev = n;
  }
  EXPECT_NEAR(std::sqrt(sum2 / steps), 100.0, 25.0);  // deviation |Iind|
  EXPECT_LT(maxJump, 60.0);  // steps of about 10 pA; white noise would jump by ~100 pA
  EXPECT_EQ(CurrentPaAt(1.5), 0.0);
  EXPECT_EQ(s.stim.noiseCurrentState, 0.0);

  // A run that ends inside the pulse leaves no noise for the next one.
  CurrentPaAt(0.5);
  ASSERT_NE(s.stim.noiseCurrentState, 0.0);
  ResetStimulusState(s.stim, kVrest);
  EXPECT_EQ(s.stim.noiseCurrentState, 0.0);
  EXPECT_EQ(s.stim.Pipette.Vp, kVrest);
  EXPECT_EQ(s.stim.Pipette.VpPrev, kVrest);
}

TEST(Stimulus, FreshSessionsGiveTheSameNoise) {
  NeuronProperties np;
  np.Square = kSquare;
  np.Vrest = kVrest;
  np.If_I_V_or_g = 2;
  np.Cm = 0.001;
  np.tau_m = 0.01;
  auto noisyRun = [&np](Session& s) {
    s.stim.Iind = 50.0;
    s.stim.noiseList = NoiseList::NoiseCurrent;
    s.stim.tau_Noise = 0.001;
    s.stim.NoiseRec = {0.002, 1e-3, 0.0};
    s.stim.IfVoltageNoise = 1;
    std::vector<double> currents;
    for (int nt = 1; nt <= 200; ++nt) {
      s.run.t = nt * s.run.dt;
      currents.push_back(Stimulus(s, np).Iext);
    }
    return currents;
  };
  Session a, b;
  const std::vector<double> first = noisyRun(a);
  EXPECT_EQ(first, noisyRun(b));
  EXPECT_NE(first.front(), first.back());
  EXPECT_EQ(a.stim.sgm_V, 0.003);  // taken from the ensemble window's input, in mV
}

}  // namespace
}  // namespace membrix
