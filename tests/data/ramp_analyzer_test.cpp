#include "data/ramp_analyzer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/error.h"
#include "run/session.h"

namespace membrix {
namespace {

namespace fs = std::filesystem;

// A folder of its own for each test, removed afterwards.
class RampTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    dir_ = fs::temp_directory_path() /
           ("membrix_ramp_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::create_directories(dir_);
    ramp_ = std::make_unique<TRamp>();
    ramp_->Folder = dir_.string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path) << text;
    return path;
  }
  // Reads text as the sweep file.
  TRamp& Read(const std::string& text, double tMaxLimitMs = 490.0) {
    in_.t_maxLimit = tMaxLimitMs;
    ramp_->FileName = Write("sweeps.txt", text);
    EXPECT_TRUE(ReadRampFile(*ramp_, in_));
    return *ramp_;
  }

  fs::path dir_;
  std::unique_ptr<TRamp> ramp_;
  RampInputs in_;
  RampSink sink_;
  BatchHost host_;
};

TEST_F(RampTest, SweepsAreSeparatedBySamplesBeyondTheLimit) {
  const struct {
    const char* name;
    std::string text;
    int NSweeps, NLast;
  } cases[] = {
      {"two sweeps, each followed by samples beyond the limit",
       "0.001 -70 1\n0.002 -71 2\n0.6 0 0\n0.001 -72 3\n0.002 -73 4\n0.6 0 0\n0.7 0 0\n0.001 -74 5\n", 2, 0},
      {"the last line beyond the limit does not end the last sweep",
       "0.001 -70 1\n0.002 -71 2\n0.6 0 0\n0.001 -72 3\n0.6 0 0\n", 1, 0},
      {"comments, blank lines and further columns are passed over",
       "# a sweep file\n\n0.001 -70 1 9 9\n  # more\n0.6 0 0\n\n0.001 -72 3\n", 1, 0},
  };
  for (const auto& c : cases) {
    ramp_ = std::make_unique<TRamp>();
    const TRamp& r = Read(c.text);
    EXPECT_EQ(r.NSweeps, c.NSweeps) << c.name;
    EXPECT_EQ(r.NLast, c.NLast) << c.name;
    EXPECT_EQ(r.Loaded, 1) << c.name;
  }
}

TEST_F(RampTest, StoresTimesInMillisecondsAndShiftsTheVoltage) {
  in_.CesiumShift = 70.0;
  const TRamp& r = Read("0.0001 10 -5\n0.0002 12 -6\n0.5 0 0\n0.0001 20 -7\n0.0002 22 -8\n0.5 0 0\n0.0003 1 1\n");
  ASSERT_EQ(r.NSweeps, 2);
  EXPECT_DOUBLE_EQ(r.t[1], 0.2);
  EXPECT_DOUBLE_EQ(r.V(0, 1), -60.0);
  EXPECT_DOUBLE_EQ(r.V(1, 2), -48.0);
  EXPECT_DOUBLE_EQ(r.I(1, 2), -8.0);
  EXPECT_DOUBLE_EQ(r.t_maxLimit, 0.49);
}

TEST_F(RampTest, RefusesMalformedFilesWithTheirLine) {
  std::string tooLong;
  for (int j = 0; j <= TRamp::kLastSample + 1; ++j) tooLong += "0.00001 1 1\n";
  const struct {
    const char* name;
    std::string text;
    int line;
  } cases[] = {
      {"a short line", "0.001 -70 1\n0.002 -71\n0.003 -72 1\n", 2},
      {"a field that is not a number", "# header\n0.001 -70 1\n0.002 minus 1\n", 3},
      {"a sweep of more than 25001 samples", tooLong, TRamp::kLastSample + 2},
      {"a decimal comma", "0.001 -70 1\n0,002\t-71,5\t1\n", 2},
      {"no sweep", "", 0},
      {"no sweep that ends", "0.001 -70 1\n0.002 -71 1\n", 0},
  };
  for (const auto& c : cases) {
    ramp_ = std::make_unique<TRamp>();
    ramp_->FileName = Write("bad.txt", c.text);
    try {
      ReadRampFile(*ramp_, in_);
      ADD_FAILURE() << c.name << ": read without complaint";
    } catch (const FormatError& e) {
      EXPECT_EQ(e.file(), ramp_->FileName) << c.name;
      EXPECT_EQ(e.line(), c.line) << c.name << ": " << e.what();
    }
  }
}

TEST_F(RampTest, AMissingFileChangesNothingAndExtraSweepsAreLeftWithANote) {
  ramp_->FileName = (dir_ / "missing.txt").string();
  EXPECT_FALSE(ReadRampFile(*ramp_, in_));
  EXPECT_EQ(ramp_->Loaded, 0);
  ramp_->FileName = dir_.string();  // a folder is named, not read
  EXPECT_THROW(ReadRampFile(*ramp_, in_), IoError);
  EXPECT_EQ(ramp_->Loaded, 0);

  std::string text;
  for (int i = 1; i <= 102; ++i) text += "0.001 " + std::to_string(i) + " 0\n0.6 0 0\n";
  const TRamp& r = Read(text);
  EXPECT_EQ(r.NSweeps, TRamp::kMaxSweeps);
  EXPECT_DOUBLE_EQ(r.V(0, 100), 100.0);
  EXPECT_NE(r.Note.find("first 100 sweeps"), std::string::npos) << r.Note;
}

TEST_F(RampTest, FilterIsAnEulerStepDrivenByThePreviousSampleOrOff) {
  const std::string text = "0.0000 0 0\n0.0001 10 100\n0.0002 10 100\n0.0003 10 100\n0.6 0 0\n0.7 0 0\n";
  for (double tau : {0.5, 0.0, -1.0}) {
    ramp_ = std::make_unique<TRamp>();
    TRamp& r = Read(text);
    in_.tauFilt = tau;
    r.CurSweep = 1;
    FilterCurrent(r, in_, sink_);
    const std::vector<double> expected = tau > 0 ? std::vector<double>{0, 0, 20, 36} : std::vector<double>{0, 100, 100, 100};
    for (int j = 0; j <= 3; ++j) {
      EXPECT_NEAR(r.Ifilt(j, 1), expected[j], 1e-9) << "tau " << tau << ", sample " << j;
      EXPECT_NEAR(r.Vfilt(j, 1), expected[j] / 10.0, 1e-9) << "tau " << tau << ", sample " << j;
    }
  }
}

TEST_F(RampTest, SpikeTemplateFallsHoldsAndRecovers) {
  TRamp& r = *ramp_;
  r.ShapeAmplitude = 300.0;
  r.ShapeHalfDuration = 1.5;
  const struct {
    double x, value;
  } cases[] = {{0.0, 0.0}, {0.5, 0.0}, {1.25, -150.0}, {2.0, -300.0}, {2.25, -300.0},
               {2.5, -300.0}, {3.25, -200.0}, {4.0, -100.0}, {4.01, 0.0}};
  for (const auto& c : cases) EXPECT_NEAR(SpikeShape(r, c.x), c.value, 1e-9) << "x = " << c.x;
  EXPECT_DOUBLE_EQ(r.ShapeWindow, 4.0);
}

// A sweep sampled every 0.05 ms: -80 mV, a prepulse to -40 mV from 20 to 50 ms,
// a ramp of 1 mV/ms from 60 ms, and with a spike the template current of
// amplitude 300 pA starting at onsetMs.
std::string SyntheticSweeps(const std::vector<double>& onsetsMs) {
  TRamp shape;
  shape.ShapeAmplitude = 300.0;
  shape.ShapeHalfDuration = 1.5;
  std::ostringstream out;
  out.precision(10);
  for (double onset : onsetsMs) {
    for (int j = 0; j <= 2000; ++j) {
      const double t = j * 0.05;
      double v = -80.0;
      if (t >= 20.0 && t < 50.0) v = -40.0;
      if (t > 60.0) v = -80.0 + (t - 60.0);
      const double c = onset > 0 ? SpikeShape(shape, t - onset) : 0.0;
      out << t / 1000.0 << ' ' << v << ' ' << c << '\n';
    }
    out << "0.5 0 0\n";
  }
  out << "0.5 0 0\n";
  return out.str();
}

TEST_F(RampTest, FindThresholdTakesTheFirstSpikeOnsetAfterTheRamp) {
  in_.tauFilt = 0.0;
  in_.ShapeMode = 0;  // scaled: the template of 300 pA
  in_.Conv_thr = 5.0;
  in_.WriteSpikeMarkers = true;
  TRamp& r = Read(SyntheticSweeps({80.0, 0.0}));
  ASSERT_EQ(r.NSweeps, 2);
  ASSERT_TRUE(AllSamples(r, in_, sink_, host_));

  EXPECT_NEAR(r.tJumpDown, 50.0, 1e-9);
  EXPECT_NEAR(r.tRampOnset, 60.0, 0.06);
  EXPECT_NEAR(r.tSpike[1], 80.0, 1e-9);
  EXPECT_NEAR(r.VT[1], -60.0, 1e-9);
  EXPECT_NEAR(r.SpikeAmpl[1], 300.0, 1e-6);
  EXPECT_EQ(r.tSpike[2], 0.0);  // no spike in the second sweep

  std::ifstream vt(dir_ / "VT_tau.dat");
  std::string line1, line2;
  std::getline(vt, line1);
  std::getline(vt, line2);
  EXPECT_EQ(line1, "   30.000   -60.000       300.000         0.000 ");
  EXPECT_EQ(line2.substr(0, 9), "  -50.000");  // tau = -tJumpDown without a spike
  for (const char* stem : {"SpikeShape", "VandI", "SpikeMarker"}) {
    EXPECT_TRUE(fs::exists(dir_ / MarkerFileName(stem, 1))) << stem;
    EXPECT_FALSE(fs::exists(dir_ / MarkerFileName(stem, 2))) << stem;
  }
  EXPECT_EQ(MarkerFileName("SpikeShape", 7), "SpikeShape  7.dat");

  // Run again with a mismatch no onset meets: the spike found before is gone.
  in_.Conv_thr = 1e-9;
  in_.WriteSpikeMarkers = false;
  ASSERT_TRUE(AllSamples(r, in_, sink_, host_));
  EXPECT_EQ(r.tSpike[1], 0.0);
  std::ifstream again(dir_ / "VT_tau.dat");
  std::getline(again, line1);
  EXPECT_EQ(line1, "  -50.000     0.000         0.000         0.000 ");
}

TEST_F(RampTest, UnscaledTemplateFindsTheOnsetOfAnySpikeSize) {
  in_.ShapeMode = 1;
  in_.WriteSpikeMarkers = false;
  TRamp& r = Read(SyntheticSweeps({75.0}));
  r.CurSweep = 1;
  FilterCurrent(r, in_, sink_);
  FindThreshold(r, in_, sink_);
  EXPECT_NEAR(r.tSpike[1], 75.0, 0.6);
  EXPECT_NEAR(r.VT[1], -80.0 + (r.tSpike[1] - 60.0), 1.0);  // the filtered ramp lags by about tauFilt
  EXPECT_NEAR(r.SpikeAmpl[1], 300.0, 30.0);
}

TEST_F(RampTest, SweepsFromTheSimulationAreTheRecordingsAndTheModelTraces) {
  auto s = std::make_unique<Session>();
  s->rec.NSmpls = 2;
  s->rec.Smpl = 2;
  s->run.dt = 1e-4;
  s->run.nt_end = 100;
  for (int k = 0; k <= 100; ++k) {
    s->ExpData(k, 2) = -70.0 + k;
    s->ModelData(k, 2) = -k;
  }
  in_.t_maxLimit = 5.0;
  TRamp& r = *ramp_;
  DataFromSimulation(r, *s, in_, "out", sink_, host_);
  EXPECT_EQ(r.NSweeps, 2);
  EXPECT_EQ(r.NLast, 50);  // 50 steps of 0.1 ms reach t_maxLimit
  EXPECT_NEAR(r.t[50], 5.0, 1e-12);
  EXPECT_EQ(r.V(10, 2), -60.0);
  EXPECT_EQ(r.I(10, 2), -10.0);
  EXPECT_EQ(r.V(0, 2), 0.0);  // row 0 is not taken
  EXPECT_EQ(r.CurSweep, 2);
  EXPECT_EQ(r.Folder, "out");
}

TEST(RampFolderChoice, SetsTheTemplateOfEachDataFolder) {
  RampInputs in;
  EXPECT_EQ(ApplyFolderChoice(in, 1), "ramp[1-70].txt");
  EXPECT_EQ(in.SpikeShapeAmplitude, 3000.0);
  EXPECT_EQ(ApplyFolderChoice(in, 3), "all_ramps_Destexhe.dat");
  EXPECT_EQ(in.Conv_thr, 200.0);
  EXPECT_EQ(in.SpikeShapeHalfDuration, 4.0);
  EXPECT_EQ(in.SpikeShapeAmplitude, 3000.0);  // kept
  EXPECT_EQ(ApplyFolderChoice(in, 5), "");
  EXPECT_EQ(in.Conv_thr, 200.0);
}

}  // namespace
}  // namespace membrix

namespace membrix {
namespace {

// The shipped sample: every sweep of the model cell gives a threshold in the
// sodium activation range, later for every later ramp.
TEST(RampSample, EverySweepOfTheShippedFileHasAThreshold) {
  auto ramp = std::make_unique<TRamp>();
  ramp->FileName = std::string(MEMBRIX_SOURCE_DIR) + "/resources/ramps/model_ramps.txt";
  ramp->Folder = fs::temp_directory_path().string();
  RampInputs in;
  in.WriteSpikeMarkers = false;
  ASSERT_TRUE(ReadRampFile(*ramp, in));
  ASSERT_GE(ramp->NSweeps, 10);
  RampSink sink;
  BatchHost host;
  ASSERT_TRUE(AllSamples(*ramp, in, sink, host));
  for (int i = 1; i <= ramp->NSweeps; ++i) {
    EXPECT_GT(ramp->tSpike[i], 0.0) << "sweep " << i;
    EXPECT_GT(ramp->VT[i], -55.0) << "sweep " << i;
    EXPECT_LT(ramp->VT[i], -35.0) << "sweep " << i;
    EXPECT_GT(ramp->SpikeAmpl[i], in.MinSpikeAmpl) << "sweep " << i;
    if (i > 1) {
      EXPECT_GT(ramp->tSpike[i], ramp->tSpike[i - 1]) << "sweep " << i;
    }
  }
  fs::remove(fs::path(ramp->Folder) / "VT_tau.dat");
}

}  // namespace
}  // namespace membrix
