#include "population/ensemble_kernel.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/sweep_test_support.h"
#include "neuron/numerics.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "run/clamp_run.h"
#include "run/independent_runs.h"
#include "run/session.h"
#include "population/network.h"

namespace membrix {
namespace {

// A session with the population inputs kept beside it, as the workbench
// keeps them.
struct EnsembleSession : Session {
  EnsembleInputs ensemble;
  SynapseInputs synapse;
};


// The squid axon under a suprathreshold step with noise, as the noise ensemble
// prepares its base session.
EnsembleSession NoiseBase(double tauNoiseMs) {
  EnsembleSession s;
  ApplyProgramStart(s);
  SelectModelFamily(s, "Rariza");
  s.stim.uu = s.stim.ss = 0.0;
  EnsembleInputs& in = s.ensemble;
  in.dt = 0.05;
  in.t_end = 30.0;
  in.tMeasure = 30.0;  // the measured voltage is the final one
  in.Iind = 300.0;
  in.sgm_V = 4.0;
  in.tau_Noise = tauNoiseMs;
  ApplyEnsembleProblem(s, in);
  SelectEnsembleModel(s, EnsembleModel::ConductanceBased);
  s.prog.NoiseToSignal = 1.0;
  s.stim.tau_Noise = tauNoiseMs / 1000.0;
  ResetRunState(s);
  return s;
}

std::vector<KernelIsa> IsasOfThisProcessor() {
  std::vector<KernelIsa> isas;
  for (KernelIsa isa : {KernelIsa::Generic, KernelIsa::Avx2, KernelIsa::Avx512}) {
    if (KernelIsaAvailable(isa)) isas.push_back(isa);
  }
  return isas;
}

void ExpectSameSeries(const std::vector<TimeValue>& a, const std::vector<TimeValue>& b, const char* what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (std::size_t k = 0; k < a.size(); ++k) {
    ASSERT_EQ(a[k].t, b[k].t) << what << " at " << k;
    ASSERT_EQ(a[k].v, b[k].v) << what << " at " << k;
  }
}

// The register form of the bounded exponential has the scalar bits on a large
// sample across and beyond the bounds, at the bounds, at zero and near it.
TEST(EnsembleKernel, ExponentialOfTheRegistersHasTheScalarBits) {
  std::vector<double> x = {0.0, -0.0, 1e-17, -1e-17, 0x1p-54, -0x1p-54, 0x1p-53, 20.0, -20.0,
                           std::nextafter(20.0, 21.0), std::nextafter(-20.0, -21.0), 19.999999, -19.999999, 1e300,
                           -1e300, 0.5 * std::log(2.0) / 128.0};
  std::uint64_t state = 12345;
  while (x.size() < 200000) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    x.push_back((static_cast<double>(state >> 11) * 0x1p-53 - 0.5) * 50.0);  // [-25, 25)
  }
  std::vector<double> y(x.size());
  for (KernelIsa isa : IsasOfThisProcessor()) {
    const std::size_t n = x.size() / KernelLanes(isa) * KernelLanes(isa);
    SafeExpInLanes(isa, x.data(), y.data(), n);
    std::size_t mismatches = 0;
    for (std::size_t k = 0; k < n; ++k) {
      if (std::bit_cast<std::uint64_t>(y[k]) != std::bit_cast<std::uint64_t>(SafeExp(x[k])) && ++mismatches < 5) {
        ADD_FAILURE() << "lanes " << KernelLanes(isa) << ": exp(" << x[k] << ")";
      }
    }
    EXPECT_EQ(mismatches, 0u) << "lanes " << KernelLanes(isa);
  }
}

// Under 3 mV of voltage noise the squid axon's broad spike carries bumps on
// its downstroke. Waiting for the fall, every spike counted is one upward
// crossing of the spike-start level; the older blanking rule counts bumps too.
TEST(EnsembleKernel, UnderVoltageNoiseEachSpikeIsOneUpwardCrossing) {
  for (const SpikeRearm rule : {SpikeRearm::AfterFall, SpikeRearm::AfterBlanking}) {
    EnsembleSession base = NoiseBase(0.0);
    base.ensemble.sgm_V = 3.0;
    base.ensemble.Iind = 0.0;
    base.ensemble.t_end = 400.0;
    base.ensemble.tMeasure = 400.0;
    ApplyEnsembleProblem(base, base.ensemble);
    base.criteria.rearm = rule;
    std::size_t spikes = 0, crossings = 0;
    for (std::int64_t i = 0; i < 10; ++i) {
      Session copy = base;
      copy.random.set_state(RunSeed(i));
      const EnsembleMember m = NoiseMember(copy, base.ensemble, true, nullptr);
      spikes += m.spikes.size();
      for (std::size_t k = 1; k < m.trace.size(); ++k) {
        if (m.trace[k - 1].v <= -0.030 && m.trace[k].v > -0.030) ++crossings;
      }
    }
    ASSERT_GT(crossings, 50u);
    if (rule == SpikeRearm::AfterFall) {
      EXPECT_EQ(spikes, crossings);
    } else {
      EXPECT_GT(spikes, crossings + crossings / 20) << "the blanking rule counts the noise on the downstroke";
    }
  }
}

// Every member of a block, in every register width this processor runs, ends
// with the bits of the one-member step fed the same noise: its final voltage,
// its spike times and, for member 0, its voltage and input at every step.
// Blocks of 13 leave part of the last register empty.
TEST(EnsembleKernel, EveryMemberBitIdenticalToTheOneMemberStep) {
  const std::vector<KernelIsa> isas = IsasOfThisProcessor();
  ASSERT_FALSE(isas.empty());
  for (double tauNoise : {0.0, 2.0}) {
    const EnsembleSession base = NoiseBase(tauNoise);
    ASSERT_TRUE(EnsembleKernelApplies(base));
    for (std::int64_t first : {0, 45}) {
      const std::int64_t last = first + 13;
      std::vector<EnsembleMember> alone;
      std::size_t spikes = 0;
      for (std::int64_t i = first; i < last; ++i) {
        Session copy = base;
        copy.random.set_state(RunSeed(i));
        alone.push_back(NoiseMember(copy, base.ensemble, i == 0, nullptr));
        spikes += alone.back().spikes.size();
      }
      ASSERT_GT(spikes, 13u) << "the members fire";
      for (KernelIsa isa : isas) {
        Session copy = base;
        const std::vector<EnsembleMember> together =
            NoiseMembersInLanes(copy, base.ensemble, first, last, nullptr, isa);
        ASSERT_EQ(together.size(), alone.size());
        for (std::size_t k = 0; k < alone.size(); ++k) {
          SCOPED_TRACE("tau_Noise " + std::to_string(tauNoise) + ", lanes " + std::to_string(KernelLanes(isa)) +
                       ", member " + std::to_string(first + static_cast<std::int64_t>(k)));
          EXPECT_EQ(together[k].Vmeasure, alone[k].Vmeasure);
          EXPECT_EQ(together[k].spikes, alone[k].spikes);
          EXPECT_EQ(together[k].gL, alone[k].gL);
          ExpectSameSeries(together[k].trace, alone[k].trace, "V(t)");
          ExpectSameSeries(together[k].noise, alone[k].noise, "uu(t)");
        }
      }
    }
  }
}

// The same for the Gaussian thresholds: each member's shifts, spikes and, for
// the drawn member, V(t), with and without renewal of the shift at each spike.
TEST(EnsembleKernel, GaussianThresholdMembersBitIdenticalToTheOneMemberStep) {
  for (bool renewal : {false, true}) {
    EnsembleSession base = NoiseBase(0.0);
    base.ensemble.sgm_V = 3.0;
    base.ensemble.ThrRenewal = renewal;
    const std::int64_t first = 32, last = 45, drawn = 40;
    std::vector<EnsembleMember> alone;
    for (std::int64_t i = first; i < last; ++i) {
      Session copy = base;
      copy.random.set_state(RunSeed(i));
      alone.push_back(GaussianThresholdMember(copy, base.ensemble, i == drawn, nullptr));
    }
    ASSERT_NE(alone[0].shifts[0], alone[1].shifts[0]) << "the members differ";
    for (KernelIsa isa : IsasOfThisProcessor()) {
      Session copy = base;
      const std::vector<EnsembleMember> together =
          GaussianThresholdMembersInLanes(copy, base.ensemble, first, last, drawn, nullptr, isa);
      ASSERT_EQ(together.size(), alone.size());
      for (std::size_t k = 0; k < alone.size(); ++k) {
        SCOPED_TRACE(std::string(renewal ? "renewal" : "fixed shift") + ", lanes " +
                     std::to_string(KernelLanes(isa)) + ", member " + std::to_string(first + std::int64_t(k)));
        EXPECT_EQ(together[k].shifts, alone[k].shifts);
        EXPECT_EQ(together[k].spikes, alone[k].spikes);
        ExpectSameSeries(together[k].trace, alone[k].trace, "V(t)");
      }
      EXPECT_FALSE(together[static_cast<std::size_t>(drawn - first)].trace.empty());
    }
  }
}

// Models the kernel does not carry go through the one-member step.
TEST(EnsembleKernel, OnlyTheOnePointSquidAxonWithNaAndKGoesThroughTheKernel) {
  struct Case {
    const char* what;
    void (*change)(Session&);
    bool applies;
  };
  const Case cases[] = {
      {"squid axon", [](Session&) {}, true},
      {"AHP conductance", [](Session& s) { s.NP0.gAHP = 0.5; }, false},
      {"M conductance", [](Session& s) { s.NP0.gKM = 0.5; }, false},
      {"two points", [](Session& s) { s.NP0.HH_order = "2-points"; }, false},
      {"Destexhe family", [](Session& s) { SelectModelFamily(s, "Destexhe"); }, false},
      {"threshold model", [](Session& s) { s.NP0.ThrModel = 1; }, false},
      {"voltage clamp", [](Session& s) { s.NP0.If_I_V_or_g = 1; }, false},
      {"noisy injected current", [](Session& s) { s.stim.noiseList = NoiseList::NoiseCurrent; }, false},
  };
  for (const Case& c : cases) {
    EnsembleSession s = NoiseBase(0.0);
    c.change(s);
    EXPECT_EQ(EnsembleKernelApplies(s), c.applies) << c.what;
  }
}

class EnsembleKernelRun : public testing::SweepFiles {};

// The whole Gaussian-threshold run, two blocks on two workers, histograms the
// same rate through the kernel as through the one-member step.
TEST_F(EnsembleKernelRun, ThresholdEnsembleRateAsWithTheOneMemberStep) {
  std::string rate[2];
  for (int scalar : {0, 1}) {
    if (scalar == 1) setenv("MEMBRIX_ENSEMBLE_KERNEL", "scalar", 1);
    EnsembleSession s;
    ApplyProgramStart(s);
    SelectModelFamily(s, "Rariza");
    s.stim.uu = s.stim.ss = 0.0;
    s.parallel.workers = 2;
    s.ensemble.MeshGauss = 39;
    s.ensemble.t_end = 20.0;
    s.ensemble.Nrate = 40;
    s.ensemble.ThrRenewal = true;
    BatchHost host;
    EnsembleSink sink;
    const EnsembleResult r = RunGaussianThresholds(s, s.ensemble, host, sink, EnsembleModel::ConductanceBased,
                                                   Path(""));
    unsetenv("MEMBRIX_ENSEMBLE_KERNEL");
    EXPECT_EQ(r.outcome.delivered, 40);
    EXPECT_GT(r.ro.Peak(), 0.0);
    rate[scalar] = Read(r.file);
  }
  EXPECT_EQ(rate[0], rate[1]);
}

// The whole noise run, two blocks on two workers, writes the same files and
// dispersion through the kernel as through the one-member step.
TEST_F(EnsembleKernelRun, NoiseEnsembleFilesAsWithTheOneMemberStep) {
  std::string rate[2], curve[2];
  double sigmaV[2] = {0, 0};
  for (int scalar : {0, 1}) {
    if (scalar == 1) setenv("MEMBRIX_ENSEMBLE_KERNEL", "scalar", 1);
    EnsembleSession s;
    ApplyProgramStart(s);
    SelectModelFamily(s, "Rariza");
    s.parallel.workers = 2;
    s.ensemble.MeshGauss = 39;
    s.ensemble.t_end = 20.0;
    s.ensemble.Nrate = 40;
    s.ensemble.tMeasure = 15.0;
    BatchHost host;
    EnsembleSink sink;
    const EnsembleResult r = RunNoiseEnsemble(s, s.ensemble, host, sink, EnsembleModel::ConductanceBased, Path(""));
    unsetenv("MEMBRIX_ENSEMBLE_KERNEL");
    EXPECT_EQ(r.outcome.delivered, 40);
    EXPECT_GT(r.ro.Peak(), 0.0);
    rate[scalar] = Read(r.file);
    curve[scalar] = Read(Path(kOneCurveFileName));
    sigmaV[scalar] = r.sigmaV;
  }
  EXPECT_EQ(rate[0], rate[1]);
  EXPECT_EQ(curve[0], curve[1]);
  EXPECT_EQ(sigmaV[0], sigmaV[1]);
  EXPECT_GT(sigmaV[0], 0.0);
}

}  // namespace
}  // namespace membrix
