#include "data/stimulus_preview.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "neuron/neuron_test_support.h"
#include "run/clamp_run.h"
#include "run/session.h"

namespace membrix {
namespace {

struct Samples : StimulusPreviewSink {
  void PulseWindow(double a, double b) override { window = {a, b}; }
  void Sample(double tMs, double I, double u, double sDend) override {
    t.push_back(tMs);
    Iinj.push_back(I);
    uu.push_back(u);
    ss.push_back(sDend);
  }
  std::vector<double> window, t, Iinj, uu, ss;
};

// A passive cell in the "Iind" mode, whose model trace is the injected current
// of every step: the preview must show the current the run applies, sample by
// sample, noise included.
TEST(StimulusPreview, EqualsTheCurrentAClampRunInjects) {
  const struct {
    PulseShape shape;
    bool noise;
  } cases[] = {{PulseShape::Step, false},         {PulseShape::Ramp, true},  {PulseShape::Oscillations, false},
               {PulseShape::ReversedRamp, false}, {PulseShape::RampS, false}};
  for (const auto& c : cases) {
    auto s = std::make_unique<Session>();
    s->NP0 = testing::PassiveRecord();
    s->NP0.If_I_V_or_g = 6;
    s->stim.Iind = 80.0;
    s->stim.t_IindShift = 0.002;
    s->stim.t_Iind = 0.006;
    s->stim.Freq_Iind = 250.0;
    s->stim.uu = 0.002;
    s->stim.ss = 0.1;
    s->stim.pulseShape = c.shape;
    if (c.noise) {
      s->stim.noiseList = NoiseList::NoiseCurrent;
      s->stim.tau_Noise = 0.001;
    }
    SetRunLength(s->run, 0.01);
    s->random.Uniform();  // the generator as a previous run left it

    BatchHost host;
    Samples preview;
    PreviewStimulus(*s, host, preview);
    const std::string name(kPulseShapeNames[static_cast<int>(c.shape)]);
    EXPECT_DOUBLE_EQ(s->run.t, s->run.nt_end * s->run.dt) << name;
    NullRunViewSink views;
    RunClamp(*s, host, views);
    ASSERT_EQ(static_cast<int>(preview.Iinj.size()), s->run.nt_end) << name;
    for (int nt = 1; nt <= s->run.nt_end; ++nt) {
      ASSERT_DOUBLE_EQ(preview.Iinj[nt - 1], s->ModelData(nt, s->rec.Smpl)) << name << ", step " << nt;
    }
    EXPECT_EQ(preview.window, (std::vector<double>{2.0, 8.0})) << name;
  }
}

TEST(StimulusPreview, StepShapeGivesUInsideThePulseWindowOnly) {
  auto s = std::make_unique<Session>();
  s->NP0 = testing::PassiveRecord();
  s->stim.t_IindShift = 0.002;
  s->stim.t_Iind = 0.004;
  s->stim.uu = 0.003;  // mA/cm^2: 3 muA/cm^2
  s->stim.ss = 0.2;
  SetRunLength(s->run, 0.01);
  BatchHost host;
  Samples preview;
  PreviewStimulus(*s, host, preview);
  ASSERT_FALSE(preview.t.empty());
  for (std::size_t i = 0; i < preview.t.size(); ++i) {
    const bool inside = InPulseWindow(s->stim, preview.t[i] / 1000.0);
    EXPECT_NEAR(preview.uu[i], inside ? 3.0 : 0.0, 1e-12) << "t = " << preview.t[i];
    EXPECT_NEAR(preview.ss[i], inside ? 0.2 * s->NP0.Square * 1e6 : 0.0, 1e-12) << "t = " << preview.t[i];
  }
  EXPECT_NEAR(preview.uu[59], 3.0, 1e-12);  // 3 ms
}

}  // namespace
}  // namespace membrix
