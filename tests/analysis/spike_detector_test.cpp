#include "analysis/spike_detector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "run/session.h"

namespace membrix {
namespace {

// A neuron whose voltage is whatever the test feeds it; its derivatives are
// left as a neuron's step leaves them.
class FedNeuron final : public TNeuron {
 public:
  using TNeuron::TNeuron;
};

void FeedVoltage(NeuronVariables& nv, double V, double dt) {
  const double oldDVdt = nv.dVdt;
  nv.Vprev = nv.V;
  nv.V = V;
  nv.dVdt = (nv.V - nv.Vprev) / dt;
  nv.d2Vdt2 = (nv.dVdt - oldDVdt) / dt;
}

constexpr double kVrest = -0.065;

// A session and a fed neuron at rest at the start of a run; Step advances the
// clock by one step, feeds a voltage (mV) and runs the bookkeeping.
struct Trace {
  Session s;
  FedNeuron nrn{s.View()};

  explicit Trace(double dt = 5e-5) {
    s.run.dt = dt;
    for (NeuronProperties* np : {&nrn.NP, &s.NP0}) {
      np->Vrest = kVrest;
      np->tau_m = 0.01;
      np->gL = 0.1;
      np->Square = 1e-5;
    }
    for (NeuronVariables* nv : {&nrn.NV, &s.NV0}) {
      nv->V = nv->Vprev = kVrest;
      nv->tLastSpike = -888.0;
      nv->VThr = 100.0;
    }
    ResetSpikeStats(s.spikes);
  }
  void Advance(double vMilli) {
    ++s.run.nt;
    s.run.t = s.run.nt * s.run.dt;
    FeedVoltage(nrn.NV, vMilli / 1000.0, s.run.dt);
  }
  void Step(double vMilli) {
    Advance(vMilli);
    TrackSpikes(s, nrn);
  }
  double Time() const { return s.run.t; }
};

// Triangular spikes on a flat baseline (mV): each rises to its peak in 0.5 ms
// and falls back in 1 ms; where two overlap the higher one holds. Peaks are
// given as (time in s, voltage in mV).
struct SpikeTrain {
  double baseline;
  std::vector<std::pair<double, double>> peaks;
  double operator()(double t) const {
    double v = baseline;
    for (auto [tp, vp] : peaks) {
      const double tStart = tp - 0.0005;
      if (t > tStart && t <= tp) v = std::max(v, baseline + (vp - baseline) * (t - tStart) / 0.0005);
      if (t > tp && t < tp + 0.001) v = std::max(v, vp + (baseline - vp) * (t - tp) / 0.001);
    }
    return v;
  }
};

TEST(SpikeDetector, PhaseFollowsTheStateTable) {
  Trace tr(1e-4);
  const struct {
    double V;  // mV
    std::int32_t phase;
    const char* what;
  } steps[] = {
      {-65, 0, "at rest"},
      {-45, 0, "below the start level"},
      {-28, 1, "above the start level and rising"},
      {-32, 1, "back below the start level: unchanged"},
      {-10, 1, "rising again"},
      {10, 1, "rising"},
      {0, 2, "first step past the maximum: spike"},
      {-15, 0, "the spike mark lasts one step"},
      {-25, 3, "downstroke crosses the width level"},
      {-50, 0, "the width mark lasts one step"},
      {-40, 0, "below the start level"},
      {-22, 1, "rising within 1 ms of the spike"},
      {-25, 0, "a maximum within 1 ms of the spike is blanked"},
  };
  for (const auto& c : steps) {
    tr.Step(c.V);
    EXPECT_EQ(tr.nrn.NV.SpikePhase, c.phase) << "V = " << c.V << " mV: " << c.what;
  }
  EXPECT_EQ(tr.s.spikes.nSpikes, 1);
  // The spike is at the vertex of the parabola through -10, 10 and 0 mV.
  EXPECT_NEAR(tr.nrn.NV.tLastSpike, 0.0007 - 0.0001 * 5.0 / 6.0, 1e-12);
  EXPECT_NEAR(tr.s.spikes.VPeak, 0.0125 - 0.0125 / 6.0, 1e-12);
}

TEST(SpikeDetector, PlateauWithoutMaximumSpikesAtThePresentStep) {
  Trace tr;
  tr.s.spikes.VPeak = 0.033;  // the last spike's peak
  tr.Step(-65);
  tr.Step(-10);
  tr.Step(-10);  // no longer rising, but no maximum among the last three samples
  ASSERT_EQ(tr.nrn.NV.SpikePhase, 2);
  EXPECT_EQ(tr.nrn.NV.tLastSpike, tr.Time());
  EXPECT_EQ(tr.s.spikes.VPeak, 0.033);
}

TEST(SpikeDetector, DoublePeakedSpikeCountsOnceAndTheNextSpikeCounts) {
  Trace tr;
  // A second maximum 0.8 ms after the first, then a separate spike 5 ms later.
  const SpikeTrain train{-65, {{0.0050, 20}, {0.0058, 10}, {0.0110, 20}}};
  std::vector<double> spikeSteps;
  while (tr.Time() < 0.02) {
    tr.Step(train(tr.Time() + tr.s.run.dt));
    if (tr.nrn.NV.SpikePhase == 2) spikeSteps.push_back(tr.Time());
  }
  ASSERT_EQ(spikeSteps.size(), 2u);
  EXPECT_NEAR(spikeSteps[0], 0.00505, 1e-9);
  EXPECT_NEAR(spikeSteps[1], 0.01105, 1e-9);
  EXPECT_EQ(tr.s.spikes.nSpikes, 2);
}

// Spikes whose downstroke lingers above the start level for 2.5 ms with
// voltage noise on it, then falls back fast: each spike is one upward crossing
// of the start level. The rule that waits for the fall counts exactly those;
// the blanking rule also counts maxima of the noise more than 1 ms after a peak.
TEST(SpikeDetector, NoiseOnASlowDownstrokeIsNotANewSpike) {
  const struct {
    SpikeRearm rule;
    bool countsCrossings;
  } rules[] = {{SpikeRearm::AfterFall, true}, {SpikeRearm::AfterBlanking, false}};
  for (const auto& c : rules) {
    Trace tr;
    tr.s.criteria.rearm = c.rule;
    std::mt19937 noise(7);
    std::uniform_real_distribution<double> bump(-3.0, 3.0);  // mV, never reaching -30 from -25
    int crossings = 0;
    double previous = -65.0;
    while (tr.Time() < 0.2) {
      const double phase = std::fmod(tr.Time() + tr.s.run.dt, 0.01);  // a spike every 10 ms
      double v = -65.0;
      if (phase > 0.002 && phase <= 0.0025) v = -65.0 + 95.0 * (phase - 0.002) / 0.0005;  // up to +30
      if (phase > 0.0025 && phase <= 0.003) v = 30.0 - 40.0 * (phase - 0.0025) / 0.0005;  // down to -10
      if (phase > 0.003 && phase <= 0.0055) v = -10.0 - 15.0 * (phase - 0.003) / 0.0025 + bump(noise);
      if (phase > 0.0055 && phase <= 0.0058) v = -25.0 - 40.0 * (phase - 0.0055) / 0.0003;  // back to rest
      if (previous <= -30.0 && v > -30.0) ++crossings;
      previous = v;
      tr.Step(v);
    }
    ASSERT_EQ(crossings, 20);
    if (c.countsCrossings) {
      EXPECT_EQ(tr.s.spikes.nSpikes, crossings);
    } else {
      EXPECT_GT(tr.s.spikes.nSpikes, crossings + 10) << "the older rule counts the noise on the downstroke";
    }
  }
}

// A burst: spikes of 30 mV every 2 ms riding on a plateau at -25 mV, never
// back to the start level in between. Each of them is a spike under both rules.
TEST(SpikeDetector, SpikesOnAPlateauCountUnderBothRules) {
  for (const SpikeRearm rule : {SpikeRearm::AfterFall, SpikeRearm::AfterBlanking}) {
    Trace tr;
    tr.s.criteria.rearm = rule;
    std::vector<std::pair<double, double>> peaks;
    for (int k = 0; k < 10; ++k) peaks.push_back({0.005 + 0.002 * k, 5.0});
    const SpikeTrain burst{-25, peaks};
    tr.nrn.NV.V = tr.nrn.NV.Vprev = -0.025;  // already on the plateau
    while (tr.Time() < 0.03) tr.Step(burst(tr.Time() + tr.s.run.dt));
    EXPECT_EQ(tr.s.spikes.nSpikes, 10) << static_cast<int>(rule);
  }
}

TEST(SpikeDetector, FirstIntervalIsTheTimeOfTheFirstSpike) {
  Trace tr;
  const SpikeTrain train{-65, {{0.0040, 20}, {0.0100, 20}}};
  std::vector<double> spikeTimes, intervals;
  while (tr.Time() < 0.015) {
    tr.Step(train(tr.Time() + tr.s.run.dt));
    if (tr.nrn.NV.SpikePhase == 2) {
      spikeTimes.push_back(tr.nrn.NV.tLastSpike);
      intervals.push_back(tr.s.spikes.ISI[0]);
      EXPECT_EQ(tr.nrn.NV.ISI, tr.s.spikes.ISI[0]);
    }
  }
  ASSERT_EQ(spikeTimes.size(), 2u);
  EXPECT_NEAR(spikeTimes[0], 0.0040, 2.5e-5);  // interpolated within half a step of the peak
  EXPECT_DOUBLE_EQ(intervals[0], spikeTimes[0]);
  EXPECT_DOUBLE_EQ(intervals[1], spikeTimes[1] - spikeTimes[0]);
}

TEST(SpikeDetector, RateTimesTimeIsTheSpikeCountAtEveryStep) {
  Trace tr;
  // 5 ms at rest, then a spike every 3 ms.
  SpikeTrain train{-65, {}};
  for (double tp = 0.0060; tp < 0.05; tp += 0.003) train.peaks.push_back({tp, 25});
  while (tr.Time() < 0.05) {
    tr.Step(train(tr.Time() + tr.s.run.dt));
    ASSERT_NEAR(tr.s.spikes.Freq * tr.Time(), tr.s.spikes.nSpikes, 1e-9) << "t = " << tr.Time();
    if (tr.Time() < 0.005) {
      ASSERT_EQ(tr.s.spikes.Freq, 0.0) << "no spike yet, t = " << tr.Time();
    }
  }
  EXPECT_EQ(tr.s.spikes.nSpikes, static_cast<std::int32_t>(train.peaks.size()));
}

TEST(SpikeDetector, WidthOfATriangleAtTheWidthLevel) {
  Trace tr(3e-5);  // crossings fall between samples
  // Up from -65 mV at 1 ms to +35 mV at 2 ms, back to -65 mV at 4 ms: -20 mV is
  // crossed at 1.45 ms and 3.1 ms.
  const auto triangle = [](double t) {
    if (t <= 0.001 || t >= 0.004) return -65.0;
    return t < 0.002 ? -65.0 + 100.0 * (t - 0.001) / 0.001 : 35.0 - 100.0 * (t - 0.002) / 0.002;
  };
  bool marked = false;
  while (tr.Time() < 0.006) {
    tr.Step(triangle(tr.Time() + tr.s.run.dt));
    if (tr.nrn.NV.SpikePhase == 3) {
      EXPECT_FALSE(marked) << "the width mark is set once";
      EXPECT_LT(tr.nrn.NV.V, -0.020);
      EXPECT_GT(tr.nrn.NV.Vprev, -0.020);
      marked = true;
    }
  }
  EXPECT_TRUE(marked);
  EXPECT_NEAR(tr.s.spikes.tUp, 0.00145, 1e-9);
  EXPECT_NEAR(tr.s.spikes.tDown, 0.0031, 1e-9);
  EXPECT_NEAR(tr.s.spikes.WidthAP, 0.00165, 1e-9);
}

TEST(SpikeDetector, PerIntervalMeasures) {
  Trace tr;
  // Baseline inside the avPSC band; a neuron with a constant extra conductance.
  const double baseline = -40.5;
  const double gExtra = 0.25;
  const SpikeTrain train{baseline, {{0.0100, 30}, {0.0200, 10}}};
  const double area = tr.nrn.NP.Square * 1e9;
  const SpikeStats& st = tr.s.spikes;
  while (st.nSpikes < 2 && tr.Time() < 0.03) {  // up to the second spike
    tr.Advance(train(tr.Time() + tr.s.run.dt));
    tr.nrn.NV.PSC = (gExtra + tr.nrn.NP.gL) * (tr.nrn.NV.V - kVrest) * area;
    TrackSpikes(tr.s, tr.nrn);
  }
  ASSERT_EQ(st.nSpikes, 2);
  EXPECT_NEAR(st.VavLast, baseline / 1000.0, 1e-9);
  EXPECT_NEAR(st.avPSCLast, gExtra, 1e-9);
  EXPECT_NEAR(st.VTroughLast, baseline / 1000.0, 1e-9);
  // Means over the spikes themselves: the highest samples were the peaks.
  EXPECT_NEAR(st.VMaxAv, (0.030 + 0.010) / 2.0, 1e-9);
  EXPECT_NEAR(st.VTroughAv, baseline / 1000.0, 1e-9);
  // The new interval starts empty.
  EXPECT_EQ(st.VTrough, 1000000.0);
  EXPECT_EQ(st.Vav, 0.0);
  EXPECT_EQ(st.VFilt, kVrest);
}

TEST(SpikeDetector, ResetStartsTheRunAfresh) {
  Trace tr;
  const SpikeTrain train{-60, {{0.0050, 20}}};
  while (tr.Time() < 0.010) tr.Step(train(tr.Time() + tr.s.run.dt));
  tr.s.spikes.VRef = -0.062;
  ASSERT_EQ(tr.s.spikes.nSpikes, 1);
  ResetSpikeStats(tr.s.spikes);
  const SpikeStats& st = tr.s.spikes;
  EXPECT_EQ(st.nSpikes, 0);
  EXPECT_EQ(st.Freq, 0.0);
  EXPECT_EQ(st.ISI[0], 0.0);
  EXPECT_EQ(st.WidthAP, 0.0);
  EXPECT_EQ(st.VMaxAv, 0.0);
  EXPECT_EQ(st.Vav, 0.0);
  EXPECT_EQ(st.VavCount, 0);
  EXPECT_EQ(st.VTrough, 1000000.0);
  EXPECT_EQ(st.VRef, -0.062);  // the caller's
}

TEST(SpikeDetector, ParabolaPeakOfAKnownParabola) {
  Session s;
  s.run.dt = 5e-5;
  const double dt = s.run.dt;
  const struct {
    double offset;  // peak time relative to the present sample, in steps
    double peak;    // V
  } parabolas[] = {{-1.0, 0.02}, {-0.7, 0.031}, {-1.4, -0.01}};
  for (auto c : parabolas) {
    const auto V = [&](double tau) { return c.peak - 3e3 * (tau - c.offset * dt) * (tau - c.offset * dt); };
    const double r = ParabolaPeak(s, V(-2 * dt), V(-dt), V(0));
    EXPECT_NEAR(r, c.offset * dt, 1e-12) << "offset " << c.offset;
    EXPECT_NEAR(s.spikes.VPeak, c.peak, 1e-12) << "offset " << c.offset;
  }
  // Without a maximum in the middle there is no peak, and VPeak stays.
  const struct {
    double Va, Vb, Vc;
  } flat[] = {{0.0, 0.01, 0.02}, {0.02, 0.01, 0.0}, {0.0, 0.01, 0.01}, {0.01, 0.01, 0.0}};
  for (auto c : flat) {
    s.spikes.VPeak = 0.044;
    EXPECT_EQ(ParabolaPeak(s, c.Va, c.Vb, c.Vc), 0.0) << c.Va << ", " << c.Vb << ", " << c.Vc;
    EXPECT_EQ(s.spikes.VPeak, 0.044);
  }
}

// The clamp run detects right after the neuron's step and does the bookkeeping
// at the end of the step: that must see the same spikes as the bookkeeping that
// detects by itself.
TEST(SpikeDetector, BookkeepingAfterTheRunsOwnDetectionSeesEverySpike) {
  Trace alone, loop;
  SpikeTrain train{-62, {}};
  for (double tp = 0.004; tp < 0.04; tp += 0.0045) train.peaks.push_back({tp, 20});
  while (alone.Time() < 0.04) {
    const double V = train(alone.Time() + alone.s.run.dt);
    alone.Step(V);
    loop.Advance(V);
    DetectSpike(loop.s, loop.nrn);
    const bool markedForTheLoop = loop.nrn.NV.SpikePhase == 2;
    TrackSpikes(loop.s, loop.nrn, DetectorPass::AlreadyRun);
    ASSERT_EQ(markedForTheLoop, alone.nrn.NV.SpikePhase == 2) << "t = " << alone.Time();
    ASSERT_EQ(loop.nrn.NV.SpikePhase, alone.nrn.NV.SpikePhase) << "t = " << alone.Time();
  }
  EXPECT_EQ(loop.s.spikes.nSpikes, static_cast<std::int32_t>(train.peaks.size()));
  EXPECT_EQ(loop.s.spikes.nSpikes, alone.s.spikes.nSpikes);
  EXPECT_EQ(loop.s.spikes.Freq, alone.s.spikes.Freq);
  EXPECT_EQ(loop.s.spikes.WidthAP, alone.s.spikes.WidthAP);
  EXPECT_EQ(loop.s.spikes.VavLast, alone.s.spikes.VavLast);
}

// Threshold and integrate-and-fire neurons mark their own spikes in their step;
// the detector passes on their interval and the bookkeeping counts the mark.
TEST(SpikeDetector, NeuronsThatMarkTheirOwnSpikes) {
  const struct {
    std::int32_t ThrModel, LIF_model;
  } models[] = {{1, 0}, {0, 1}};
  for (auto m : models) {
    Trace tr;
    tr.nrn.NP.ThrModel = m.ThrModel;
    tr.nrn.NP.LIF_model = m.LIF_model;
    // A spike shape the voltage test would take; the neuron itself marks nothing.
    const SpikeTrain train{-65, {{0.002, 20}}};
    while (tr.Time() < 0.005) {
      tr.Step(train(tr.Time() + tr.s.run.dt));
      EXPECT_NE(tr.nrn.NV.SpikePhase, 1) << "ThrModel " << m.ThrModel << ", LIF " << m.LIF_model;
    }
    EXPECT_EQ(tr.s.spikes.nSpikes, 0);
    // The neuron's own mark, as the clamp run sees it.
    tr.Advance(-65);
    tr.nrn.NV.SpikePhase = 2;
    tr.nrn.NV.ISI = 0.0123;
    DetectSpike(tr.s, tr.nrn);
    EXPECT_EQ(tr.nrn.NV.SpikePhase, 2);
    EXPECT_EQ(tr.s.spikes.ISI[0], 0.0123);
    TrackSpikes(tr.s, tr.nrn, DetectorPass::AlreadyRun);
    EXPECT_EQ(tr.s.spikes.nSpikes, 1) << "ThrModel " << m.ThrModel << ", LIF " << m.LIF_model;
    EXPECT_NEAR(tr.s.spikes.Freq * tr.Time(), 1.0, 1e-12);
  }
}

// The procedural threshold model is tested against its threshold, not by the
// voltage state machine: with the threshold out of reach nothing spikes.
TEST(SpikeDetector, ProceduralThresholdModelUsesItsThreshold) {
  Trace tr;
  tr.s.NP0.ThrModel = 1;
  const SpikeTrain train{-65, {{0.002, 20}}};
  while (tr.Time() < 0.005) {
    tr.Advance(0);
    FeedVoltage(tr.s.NV0, train(tr.Time()) / 1000.0, tr.s.run.dt);
    TrackSpikesIn(tr.s, tr.s.NP0, tr.s.NV0);  // threshold Vrest + VThr = 99.935 V
    EXPECT_NE(tr.s.NV0.SpikePhase, 1);
    EXPECT_NE(tr.s.NV0.SpikePhase, 2);
  }
  EXPECT_EQ(tr.s.spikes.nSpikes, 0);
}

TEST(SpikeDetector, ProceduralFormMatchesTheNeuronForm) {
  Trace tr;
  SpikeTrain train{-63, {}};
  for (double tp = 0.003; tp < 0.03; tp += 0.004) train.peaks.push_back({tp, 15});
  Trace procedural;
  while (tr.Time() < 0.03) {
    const double V = train(tr.Time() + tr.s.run.dt);
    tr.Step(V);
    procedural.Advance(0);
    FeedVoltage(procedural.s.NV0, V / 1000.0, procedural.s.run.dt);
    TrackSpikesIn(procedural.s, procedural.s.NP0, procedural.s.NV0);
    ASSERT_EQ(procedural.s.NV0.SpikePhase, tr.nrn.NV.SpikePhase) << "t = " << tr.Time();
  }
  EXPECT_EQ(procedural.s.spikes.nSpikes, static_cast<std::int32_t>(train.peaks.size()));
  EXPECT_EQ(procedural.s.NV0.tLastSpike, tr.nrn.NV.tLastSpike);
  EXPECT_EQ(procedural.s.spikes.WidthAP, tr.s.spikes.WidthAP);
}

TEST(SpikeDetector, AdaptationKeepsTheFirstTenSpikeTimes) {
  Trace tr;
  // Intervals that lengthen: 3, 3.2, 3.4, ... ms; twelve spikes.
  SpikeTrain train{-65, {}};
  double tp = 0.002;
  for (int k = 0; k < 12; ++k, tp += 0.003 + 0.0002 * k) train.peaks.push_back({tp, 20});
  std::vector<double> stepTimes;
  while (tr.Time() < tp) {
    tr.Advance(0);
    FeedVoltage(tr.s.NV0, train(tr.Time()) / 1000.0, tr.s.run.dt);
    TrackAdaptation(tr.s);
    if (tr.s.NV0.SpikePhase == 2) stepTimes.push_back(tr.Time());
  }
  ASSERT_EQ(stepTimes.size(), 12u);
  EXPECT_EQ(tr.s.spikes.nSpikes, 12);
  const auto& ISI = tr.s.spikes.ISI;
  EXPECT_NEAR(ISI[1], stepTimes[0], 1e-12);  // the step time of the first spike
  for (int k = 2; k <= 10; ++k) {
    EXPECT_NEAR(ISI[k], stepTimes[k - 1] - stepTimes[k - 2], 1e-12) << "slot " << k;
  }
}

}  // namespace
}  // namespace membrix
