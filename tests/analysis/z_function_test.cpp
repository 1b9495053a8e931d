#include "analysis/z_function.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/firing_clamp.h"
#include "analysis/firing_clamp_analysis.h"
#include "analysis/sweep_test_support.h"
#include "common/error.h"
#include "params/model_defaults.h"
#include "run/clamp_run.h"
#include "run/session.h"
#include "tasks/task_inputs.h"

namespace membrix {
namespace {

using testing::SweepFiles;

class ZFunction : public SweepFiles {};

// Drives the kernel with a white current: the input at step k is known, the
// spikes fall at the given steps.
TEST(Kernel, WithUnityOutputIsTheSpikeTriggeredAverageOverTheNoiseVariance) {
  Session s;
  TaskInputs inputs;
  ApplyProgramStart(s);
  s.run.dt = 1e-4;
  s.run.nt_end = 100000;
  inputs.zInputs.Visible = true;
  inputs.zInputs.Input = 0;
  inputs.zInputs.Output = 0;
  inputs.zInputs.kernelFile.clear();
  s.prog.NoiseToSignal = 0.5;
  s.stim.tau_Noise = 0.0;
  s.z.u0 = 0.004;
  s.z.s0 = 0.0;
  s.stim.ss = 0.0;
  const double c = (0.5 * 0.004) * (0.5 * 0.004) * s.run.dt;
  auto input = [](std::int64_t k) { return 0.004 + 1e-3 * std::sin(0.37 * k) * std::cos(0.011 * k); };
  // Spikes at 100, 300, 650 and, after a pause longer than the history, 2000.
  const std::vector<std::int64_t> spikes = {100, 300, 650, 2000};
  for (std::int64_t k = 1; k <= 2000; ++k) {
    s.run.nt = static_cast<std::int32_t>(k);
    s.run.t = k * s.run.dt;
    s.stim.uu = input(k);
    const bool spike = std::find(spikes.begin(), spikes.end(), k) != spikes.end();
    KernelStep(s, inputs.zInputs, spike ? 2 : 0);
  }
  EXPECT_EQ(s.z.nSpikes, 4);
  EXPECT_EQ(s.z.K, 2);  // the first spike opens the count, the last interval is too long
  EXPECT_EQ(s.z.W, 200);
  for (std::int64_t m : {0, 1, 57, 199, 200}) {
    const double a = (input(300 - m) - 0.004) / c, b = (input(650 - m) - 0.004) / c;
    EXPECT_NEAR(s.z.Z[static_cast<std::size_t>(m)], (a + b) / 2.0, 1e-9 * std::abs(a + b) + 1e-9) << "lag " << m;
  }
  // Lags beyond the shorter interval have only the longer interval's input.
  EXPECT_NEAR(s.z.Z[300], (input(350) - 0.004) / c / 2.0, 1e-6);
}

TEST_F(ZFunction, StoredFunctionsAreResampledToTheRunsStepAndMalformedOnesRefused) {
  {
    std::ofstream out(Path("z.dat"));
    for (int k = 0; k < 100; ++k) out << -0.01 * k << ' ' << k << '\n';  // 0.01 ms steps
  }
  const std::vector<double> same = ReadStoredZ(Path("z.dat"), 1e-5);
  ASSERT_EQ(same.size(), 100u);
  const std::vector<double> half = ReadStoredZ(Path("z.dat"), 2e-5);
  ASSERT_EQ(half.size(), 50u);
  for (std::size_t i = 0; i < half.size(); ++i) EXPECT_EQ(half[i], 2.0 * i) << i;
  EXPECT_TRUE(ReadStoredZ(Path("missing.dat"), 1e-5).empty());

  const struct {
    const char* text;
    int line;
  } bad[] = {{"0 1\n-0.01 x\n", 2}, {"0 1\n", 1}, {"0 1\n0.01 2\n0.02 3\n", 3}};
  for (auto b : bad) {
    {
      std::ofstream out(Path("bad.dat"));
      out << b.text;
    }
    try {
      ReadStoredZ(Path("bad.dat"), 1e-5);
      ADD_FAILURE() << b.text;
    } catch (const FormatError& e) {
      EXPECT_EQ(e.line(), b.line) << b.text;
      EXPECT_NE(std::string(e.what()).find("bad.dat"), std::string::npos);
    }
  }
}

// The times of a stored Z-function are in ms before the spike. The same
// 20 ms function written in seconds or in microseconds is refused at its last
// line, not squeezed or stretched a thousandfold.
TEST_F(ZFunction, StoredFunctionsInAnotherTimeUnitAreRefused) {
  const struct {
    const char* unit;
    double lastTime;
    bool ok;
  } cases[] = {{"ms", -20.0, true},      {"s", -0.02, false},     {"us", -20000.0, false},
               {"ms, 0.5", -0.5, true}, {"ms, 1000", -1000.0, true}, {"ms, 1001", -1001.0, false}};
  for (auto c : cases) {
    {
      std::ofstream out(Path("z.dat"));
      for (int k = 0; k <= 20; ++k) out << c.lastTime * k / 20.0 << ' ' << 1.0 << '\n';
      out << "\n";
    }
    try {
      const std::vector<double> z = ReadStoredZ(Path("z.dat"), 5e-5);
      EXPECT_TRUE(c.ok) << c.unit;
      EXPECT_FALSE(z.empty()) << c.unit;
    } catch (const FormatError& e) {
      EXPECT_FALSE(c.ok) << c.unit << ": " << e.what();
      EXPECT_EQ(e.line(), 21) << c.unit;
      EXPECT_EQ(e.file(), Path("z.dat")) << c.unit;
      EXPECT_NE(std::string(e.what()).find("milliseconds"), std::string::npos) << e.what();
    }
  }
}

// A folder named for the stored functions must be there; the files in it may
// be missing (their functions are then empty).
TEST_F(ZFunction, AStoredFolderThatIsNotThereIsAnError) {
  std::ofstream(Path("plain_file")) << "x\n";
  std::filesystem::create_directories(Path("empty"));
  const struct {
    std::string folder;
    bool ok;
  } cases[] = {{Path("no_such_folder"), false}, {Path("plain_file"), false}, {Path("empty"), true}};
  for (const auto& c : cases) {
    Session s;
    TaskInputs inputs;
    ApplyProgramStart(s);
    inputs.zInputs.storedFolder = c.folder;
    s.z.storedZ = {1.0};
    try {
      LoadStoredZ(s, inputs.zInputs.storedFolder);
      EXPECT_TRUE(c.ok) << c.folder;
      EXPECT_TRUE(s.z.storedZ.empty() && s.z.storedZVav.empty() && s.z.storedZUnit.empty());
    } catch (const IoError& e) {
      EXPECT_FALSE(c.ok) << c.folder << ": " << e.what();
      EXPECT_EQ(e.path(), c.folder);
    }
  }
}

TEST(TraceRing, TheOrbitIsTheLastIntervalOldestFirstAndItsProductsWeighItsVoltage) {
  Session s;
  TaskInputs inputs;
  ApplyProgramStart(s);
  s.NP0.HH_type = "Lyle";
  s.run.dt = 1e-4;
  for (int k = 1; k <= 1500; ++k) {  // wraps the ring
    s.run.nt = k;
    PushTrace(s, 0.1 * k, 2.0 * k, -0.07 + 1e-5 * k);
  }
  s.run.t = 1500 * s.run.dt;
  s.spikes.ISI[0] = 0.0200;  // 200 steps
  s.z.storedZUnit = {1.0, 1.0, 1.0};
  OrbitFromRing(s);
  const ZFunctionState& z = s.z;
  ASSERT_EQ(z.n, 200);
  EXPECT_DOUBLE_EQ(z.V_det.front(), -0.07 + 1e-5 * 1300);
  EXPECT_DOUBLE_EQ(z.V_det.back(), -0.07 + 1e-5 * 1500);
  EXPECT_DOUBLE_EQ(z.I_det[10], 2.0 * 1310);
  EXPECT_DOUBLE_EQ(z.g_det[10], 0.1 * 1310);
  EXPECT_NEAR(z.freq, 50.0, 1e-9);
  EXPECT_NEAR(z.V1ms, -0.07 + 1e-5 * 1488, 1e-12);  // 1.2 ms back

  // At a spike the interval it ended is taken beside the orbit, which stays.
  const std::vector<double> orbit = z.V_det;
  s.spikes.ISI[0] = 0.0100;  // 100 steps
  SpikeProducts(s);
  EXPECT_EQ(z.V_det, orbit);
  EXPECT_NEAR(z.freq, 50.0, 1e-9);
  ASSERT_EQ(z.nLast, 100);
  EXPECT_DOUBLE_EQ(z.V_last.front(), -0.07 + 1e-5 * 1400);
  EXPECT_DOUBLE_EQ(z.V_last.back(), -0.07 + 1e-5 * 1500);
  EXPECT_DOUBLE_EQ(z.I_last[10], 2.0 * 1410);
  EXPECT_NEAR(z.V1msLast, -0.07 + 1e-5 * 1488, 1e-12);
  EXPECT_NEAR(z.VxZ, -0.07 + 1e-5 * 1499, 1e-12);    // the mean of the last three
  EXPECT_NEAR(z.IxZ, 2.0 * 1499, 1e-9);
  // A linear voltage under a symmetric window weighs to its middle.
  EXPECT_NEAR(z.Convolution, -0.07 + 1e-5 * 1450, 1e-9);

  // An interval too short for its window has no convolution.
  s.spikes.ISI[0] = 0.00005;
  SpikeProducts(s);
  EXPECT_EQ(s.z.Convolution, 0.0);
}

TEST(ZConvolution, SumsBackFromTheSpikeWithTheScaledFunction) {
  const std::vector<double> Z = {1.0, 2.0, 3.0, 4.0};
  const std::vector<double> I = {10.0, 20.0, 30.0, 40.0, 50.0};
  ISIPair v;
  v.V_det.assign(5, -0.06);
  v.V_no.assign(5, -0.06);
  const double dt = 0.5;
  // Plain: 50·1 + 40·2 + 30·3 + 20·4, times dt.
  EXPECT_DOUBLE_EQ(ZConvolution(Z, I, ZMode::Plain, 1.0, 4, dt, v), 150.0);
  EXPECT_DOUBLE_EQ(ZConvolution(Z, I, ZMode::Normalized, 1.0, 4, dt, v), 300.0 / 10.0);
  // Scale 2: Z[0], Z[2] at i = 0, 1 (m = round(4/2) = 2, Z[4] is past the end).
  EXPECT_DOUBLE_EQ(ZConvolution(Z, I, ZMode::Plain, 2.0, 4, dt, v), (50.0 * 1.0 + 40.0 * 3.0) * dt);
  // Above threshold in the noisy voltage one sample back: it is left out.
  v.V_no[3] = -0.03;
  EXPECT_DOUBLE_EQ(ZConvolution(Z, I, ZMode::UnderThr, 1.0, 4, dt, v), (50.0 + 90.0 + 80.0) * dt);
  EXPECT_DOUBLE_EQ(SecondKernel({1.0, 1.0}, I, ZMode::Plain, 4, dt, v), dt * dt * (50.0 * (50.0 + 40.0)));
}

TEST_F(ZFunction, ANoisyRunWithTheWindowShownWritesTheKernelAndRecordsTheProducts) {
  Session s;
  TaskInputs inputs;
  ApplyProgramStart(s);
  s.stim.Iind = 0.0;
  s.stim.t_IindShift = 0.0;
  s.stim.t_Iind = 1e8;
  s.stim.uu = 0.006;
  s.stim.ss = 0.1;
  s.prog.tau_E = s.prog.tau_I = 0.0;
  s.prog.NoiseToSignal = 0.3;
  SetRunLength(s.run, 0.4);
  inputs.zInputs.Visible = true;
  inputs.zInputs.kernelFile = Path("func_Z.dat");
  inputs.zInputs.storedFolder = Path("");
  inputs.firingClamp.FunctionF = 5;  // VT_1ms
  inputs.firingClamp.FunctionG = 4;  // Convolution
  // The orbit the kernel weighs every spike against: the noise-free rate and
  // mean voltage at the run's mean input.
  Session orbitRun = s;
  ASSERT_TRUE(DeterministicPreRun(orbitRun, 5, s.stim.uu, s.stim.ss));
  class Quiet final : public FiringClampSink {} quiet;
  BatchHost host;
  FiringClampFiles files;
  files.records.clear();
  const FiringClampResult r = RunWithNoise(s, inputs.firingClamp, inputs.zInputs, host, quiet, 100000, files);
  ASSERT_GE(r.records.size(), 5u);
  // The noisy intervals do not replace it.
  EXPECT_DOUBLE_EQ(s.z.freq, orbitRun.z.freq);
  EXPECT_DOUBLE_EQ(s.z.VavLast, orbitRun.z.VavLast);
  EXPECT_EQ(s.z.V_det, orbitRun.z.V_det);
  for (std::size_t k = 2; k < r.records.size(); ++k) {
    // The voltage before the spike and the mean of the interval lie under the peak.
    EXPECT_LT(r.records[k].F, -0.02) << k;
    EXPECT_GT(r.records[k].F, -0.09) << k;
    EXPECT_LT(r.records[k].G, -0.03) << k;
    EXPECT_GT(r.records[k].G, -0.09) << k;
  }
  const std::vector<std::string> lines = Lines(Path("func_Z.dat"));
  ASSERT_EQ(static_cast<std::int32_t>(lines.size()), s.z.W + 1);
  EXPECT_EQ(lines[0].substr(0, 10), "     0.000");
  EXPECT_EQ(lines[0].size(), 24u);
  EXPECT_GT(s.z.K, 2);
}

// The start-up neuron held at a noisy input, with a small map of its own, and
// stored Z-functions that decay over the 20 ms before a spike.
Session NoisyISISession(const std::string& folder, TaskInputs& inputs) {
  Session s;
  ApplyProgramStart(s);
  inputs.usMap.nue = 5;
  inputs.usMap.nse = 5;
  inputs.usMap.u_min = 3.0;
  inputs.usMap.u_max = 6.5;
  inputs.usMap.s_min = 0.05;
  inputs.usMap.s_max = 0.4;
  // Each point ends with its fifth spike: the map holds the interval the
  // five-spike runs of the one-ISI analysis end with.
  inputs.usMap.t_end = 200;
  inputs.usMap.MaxSpikes = 5;
  inputs.firingClamp.FunctionG = 1;
  class Quiet final : public USMapSink {
    void Point(const USMapPoint&) override {}
  } quiet;
  BatchHost host;
  MapUS(s, inputs.usMap, inputs.fiber, host, quiet, MapGrid::US, folder + "/map.dat");
  inputs.fcAnalysis.mapFile = folder + "/map.dat";
  for (const char* name : {kStoredZFile, kStoredZVavFile}) {
    std::ofstream out(folder + "/" + name);
    for (int k = 0; k <= 200; ++k) out << -0.1 * k << ' ' << 50.0 * std::exp(-0.1 * k / 5.0) << '\n';
  }
  inputs.zInputs.storedFolder = folder;
  s.stim.Iind = 0.0;
  s.stim.t_IindShift = 0.0;
  s.stim.t_Iind = 1e8;
  s.stim.uu = 0.005;
  s.stim.ss = 0.2;
  s.prog.tau_E = s.prog.tau_I = 0.0;
  s.prog.NoiseToSignal = 0.03;
  s.stim.tau_Noise = 0.002;
  SetRunLength(s.run, 0.3);
  return s;
}

TEST_F(ZFunction, TheOneISIAnalysisAndTheWienerCorrectionReanalyseANoisyInterval) {
  TaskInputs inputs;
  Session s = NoisyISISession(Path(""), inputs);
  BatchHost host;
  FiringClampAnalysisSink none;
  inputs.zInputs.n_repeat = 4;
  const OneISIResult one = AnalyseOneISI(s, inputs.fcAnalysis, inputs.firingClamp, inputs.zInputs, host, none);
  // A noisy last interval may lie outside the map: that repetition is skipped.
  ASSERT_GE(one.repeats, 2);
  ASSERT_EQ(one.predictions.size(), static_cast<std::size_t>(one.repeats));
  for (const auto& p : one.predictions) {
    EXPECT_TRUE(std::isfinite(p.f_no) && std::isfinite(p.f_dstb) && std::isfinite(p.K2)) << p.f_no;
  }
  EXPECT_NEAR(one.u0, 0.005, 0.0015);
  EXPECT_TRUE(std::isfinite(one.u1) && std::isfinite(one.s1));

  EXPECT_EQ(one.attempted, 4);
  EXPECT_EQ(one.repeats + one.Skipped(), 4);
  if (one.Skipped() > 0) {
    EXPECT_EQ(one.skipped[static_cast<std::size_t>(OneISISkip::NoEstimate)], one.Skipped());
  }

  // The Wiener correction reads the trace the run wrote and may move each estimate.
  inputs.fcAnalysis.WienerKernel = true;
  inputs.fcAnalysis.wienerTrace = Path("V(t).dat");
  s.run.WriteMode = 1;
  class Quiet final : public FiringClampSink {} quiet;
  FiringClampFiles files;
  files.records.clear();
  files.trace = inputs.fcAnalysis.wienerTrace;
  const FiringClampResult run = RunWithNoise(s, inputs.firingClamp, inputs.zInputs, host, quiet, 10, files);
  ASSERT_GE(run.records.size(), 5u);
  class Kinds final : public FiringClampAnalysisSink {
   public:
    void Conductances(EstimateKind kind, double, double gE, double gI) override {
      (kind == EstimateKind::Wiener ? wiener : plain).push_back(gE + gI);
    }
    std::vector<double> wiener, plain;
  } kinds;
  const FiringClampAnalysis a = AnalyzeByFiringClamp(s, inputs.fcAnalysis, inputs.firingClamp, inputs.zInputs, host,
                                                     ReadAnalysisMap(inputs.fcAnalysis,
                                                                     inputs.firingClamp), run.records, kinds);
  EXPECT_FALSE(kinds.plain.empty());
  EXPECT_FALSE(kinds.wiener.empty());
  for (double g : kinds.wiener) EXPECT_TRUE(std::isfinite(g));
  EXPECT_EQ(a.estimates.size(), kinds.plain.size());
}

// A noise-free run and the orbit at its own input are the same trajectory: the
// interval the analysis takes from the run ends at its last spike, as the
// orbit does, so the two agree sample by sample and in their rate, with or
// without a reset after each spike (the orbit is reset as the run is).
TEST_F(ZFunction, TheNoisyIntervalIsAlignedWithTheOrbitAtItsSpike) {
  for (const ResetProtocol reset : {ResetProtocol::Nothing, ResetProtocol::ResetVoltage, ResetProtocol::CurrentPulse}) {
    const std::string name = std::string(kResetProtocolNames[static_cast<std::size_t>(reset)]);
    TaskInputs inputs;
    Session s = NoisyISISession(Path(""), inputs);
    s.prog.NoiseToSignal = 0.0;
    s.resetInputs.Reset = reset;
    BatchHost host;
    class Quiet final : public FiringClampSink {} quiet;
    FiringClampFiles files;
    files.records.clear();
    const double u = s.stim.uu, sIn = s.stim.ss;
    const FiringClampResult run = RunWithNoise(s, inputs.firingClamp, inputs.zInputs, host, quiet, 5, files);
    ASSERT_EQ(run.nSpikes, 5) << name;
    ASSERT_GT(s.z.samplesAfterSpike, 5) << name << ": the run goes on past its last spike to the downstroke";
    const NoisyInterval noisy = CaptureNoisyInterval(s);
    const IntervalDisturbance d = DisturbanceCurrent(s, noisy, u, sIn);
    ASSERT_TRUE(d.ok) << name;
    ASSERT_GT(d.n_c, 100) << name;
    double largest = 0.0;
    for (double D : d.D) largest = std::max(largest, std::abs(D));
    EXPECT_LT(largest, 1e-9) << name << ": V";
    EXPECT_NEAR(d.dfreq, 0.0, 1e-9) << name;
  }
}

// A repetition that cannot be analysed is counted by its reason and said, not
// passed over: a silent neuron, an input far beyond the map.
TEST_F(ZFunction, TheOneISIAnalysisCountsTheRepeatsItCannotAnalyseByReason) {
  struct Case {
    double uu, runLength;
    OneISISkip why;
    const char* text;
  };
  const Case cases[] = {
      {0.0, 0.03, OneISISkip::NoRecords, "2 of 2 repeats not analysed: the noisy run recorded no spike"},
      {0.03, 0.3, OneISISkip::NoEstimate,
       "2 of 2 repeats not analysed: the last spike has no estimate (its F and G lie outside the map)"},
  };
  TaskInputs baseInputs;
  const Session base = NoisyISISession(Path(""), baseInputs);
  // With no repetition analysed there is nothing to report: it is an error
  // that says why, never means of nothing.
  for (const Case& c : cases) {
    Session s = base;
    TaskInputs inputs = baseInputs;
    s.stim.uu = c.uu;
    SetRunLength(s.run, c.runLength);
    inputs.zInputs.n_repeat = 2;
    BatchHost host;
    FiringClampAnalysisSink none;
    try {
      AnalyseOneISI(s, inputs.fcAnalysis, inputs.firingClamp, inputs.zInputs, host, none);
      ADD_FAILURE() << c.text;
    } catch (const NothingToAnalyseError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("no interval analysed: ") + c.text);
    }
  }
  // A stop before the first repetition is no error: nothing analysed, stopped.
  {
    Session s = base;
    TaskInputs inputs = baseInputs;
    inputs.zInputs.n_repeat = 2;
    testing::StopAfterPoints stop(0);
    FiringClampAnalysisSink none;
    const OneISIResult one = AnalyseOneISI(s, inputs.fcAnalysis, inputs.firingClamp, inputs.zInputs, stop, none);
    EXPECT_TRUE(one.stopped);
    EXPECT_EQ(one.repeats, 0);
  }
  // Several reasons are each counted.
  OneISIResult mixed;
  mixed.attempted = 5;
  mixed.repeats = 2;
  mixed.skipped = {1, 0, 2};
  EXPECT_EQ(OneISISkippedText(mixed),
            "3 of 5 repeats not analysed: 1 because the noisy run recorded no spike; 2 because the neuron does not "
            "fire at the estimated input without noise");
  mixed.skipped = {};
  EXPECT_EQ(OneISISkippedText(mixed), "");
}

}  // namespace
}  // namespace membrix
