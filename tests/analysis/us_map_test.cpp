#include "analysis/us_map.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/sweep_test_support.h"
#include "common/error.h"
#include "params/model_defaults.h"
#include "run/session.h"
#include "tasks/task_inputs.h"

namespace membrix {
namespace {

using testing::SweepFiles;

class PointRecorder final : public USMapSink {
 public:
  void Point(const USMapPoint& p) override { points.push_back(p); }
  std::vector<USMapPoint> points;
};

Session StartUpSession() {
  Session s;
  ApplyProgramStart(s);
  return s;
}

std::vector<double> Numbers(const std::string& line) {
  std::istringstream in(line);
  std::vector<double> v;
  for (double x; in >> x;) v.push_back(x);
  return v;
}

class USMap : public SweepFiles {};

TEST_F(USMap, WritesTheZoneHeaderAndOneLinePerGridPoint) {
  Session s = StartUpSession();
  TaskInputs inputs;
  inputs.usMap.t_end = 20;  // short runs: the layout is what counts here
  PointRecorder rec;
  BatchHost host;
  const RunsOutcome outcome = MapUS(s, inputs.usMap, inputs.fiber, host, rec, MapGrid::US, Path("map.dat"));
  EXPECT_EQ(outcome.delivered, 189);
  const std::vector<std::string> lines = Lines(Path("map.dat"));
  ASSERT_EQ(lines.size(), 191u);
  EXPECT_EQ(lines[0], "ZONE T=\"ZONE1\"");
  EXPECT_EQ(lines[1], "I= 21 ,J=  9 ,K=1,F=POINT");
  // I runs fastest: the second line is (u_max/20, s_min), the 22nd starts the next s.
  EXPECT_EQ(Numbers(lines[3])[0], 0.5);
  EXPECT_EQ(Numbers(lines[2 + 21])[1], 0.0625);
  for (std::size_t k = 2; k < lines.size(); ++k) ASSERT_EQ(Numbers(lines[k]).size(), 18u) << lines[k];
  ASSERT_EQ(rec.points.size(), 189u);
  EXPECT_EQ(rec.points[21].i, 0);
  EXPECT_EQ(rec.points[21].j, 1);
}

TEST_F(USMap, PointsBelowFiveHertzHaveNoMeasures) {
  Session s = StartUpSession();
  TaskInputs inputs;
  inputs.usMap.nue = 4;
  inputs.usMap.nse = 2;
  inputs.usMap.t_end = 300;
  PointRecorder rec;
  BatchHost host;
  MapUS(s, inputs.usMap, inputs.fiber, host, rec, MapGrid::US, Path("map.dat"));
  const std::vector<std::string> lines = Lines(Path("map.dat"));
  int firing = 0, slow = 0;
  for (std::size_t k = 2; k < lines.size(); ++k) {
    const std::vector<double> c = Numbers(lines[k]);  // c[0] is column 1
    if (c[2] >= 5.0) {
      ++firing;
      EXPECT_LT(c[3], 40.0) << lines[k];   // a spike's peak, mV
      EXPECT_LT(c[9], -40.0) << lines[k];  // its trough
      EXPECT_GT(c[13], 0.3) << lines[k];   // its width, ms
      continue;
    }
    ++slow;
    for (int col : {4, 5, 6, 7, 10, 11, 12, 13, 14, 15, 16}) EXPECT_EQ(c[col - 1], 0.0) << "column " << col << ": " << lines[k];
    EXPECT_NE(lines[k].find("   0.0000   0.00   0.00"), std::string::npos) << lines[k];
  }
  EXPECT_GT(firing, 2);
  EXPECT_GT(slow, 2);  // no input, and the strongest inhibition
  // The silent corner and the conductance split of a point.
  EXPECT_EQ(rec.points[0].Freq, 0.0);
  EXPECT_DOUBLE_EQ(rec.points[1].gE, -0.0025 / s.stim.Vus);
  EXPECT_DOUBLE_EQ(rec.points[1].gE + rec.points[1].gI, 0.0);
}

TEST_F(USMap, FilesAreIdenticalWithOneAndTwoWorkersWithAndWithoutNoise) {
  for (MapNoise noise : {MapNoise::None, MapNoise::Current, MapNoise::Conductances}) {
    for (MapGrid grid : {MapGrid::US, MapGrid::GEGI}) {
      std::string text[2];
      for (int workers : {1, 2}) {
        Session s = StartUpSession();
        TaskInputs inputs;
        inputs.usMap.nue = 3;
        inputs.usMap.nse = 2;
        inputs.usMap.t_end = 150;
        inputs.usMap.Noise = noise;
        s.prog.NoiseToSignal = 0.3;
        s.stim.tau_Noise = 0.002;
        s.stim.NoiseRec = {0.002, 0.002, 0.0};
        s.parallel.workers = workers;
        PointRecorder rec;
        BatchHost host;
        MapUS(s, inputs.usMap, inputs.fiber, host, rec, grid, Path("map.dat"));
        text[workers - 1] = Read(Path("map.dat"));
      }
      EXPECT_EQ(text[0], text[1]) << "noise " << static_cast<int>(noise) << ", grid " << static_cast<int>(grid);
    }
  }
}

// The threshold neuron beside the model steps only when a spike reads it;
// every point must come out as when it steps with the model, bit for bit,
// under noise (new inputs at every step, caught up in small chunks), under the
// reset current (an input that follows the model's spikes) and with the
// threshold model as the model.
TEST_F(USMap, EveryPointAsWhenTheThresholdNeuronStepsWithTheModel) {
  struct Case {
    const char* name;
    MapNoise noise;
    ResetProtocol reset;
    bool thresholdModel;
  };
  const Case cases[] = {{"plain", MapNoise::None, ResetProtocol::None, false},
                        {"noisy conductances", MapNoise::Conductances, ResetProtocol::None, false},
                        {"reset current, noise current", MapNoise::Current, ResetProtocol::CurrentPulse, false},
                        {"threshold model", MapNoise::None, ResetProtocol::None, true}};
  for (const Case& c : cases) {
    Session s = StartUpSession();
    s.NP0.ThrModel = c.thresholdModel ? 1 : 0;
    s.resetInputs.Reset = c.reset;
    s.prog.NoiseToSignal = 0.3;
    s.stim.tau_Noise = 0.002;
    s.stim.NoiseRec = {0.002, 0.003, 0.0};
    TaskInputs inputs;
    USMapInputs& in = inputs.usMap;
    in.nue = 4;
    in.nse = 2;
    in.t_end = 300;
    in.Noise = c.noise;
    int fired = 0;
    for (std::int32_t j = 0; j <= in.nse; ++j) {
      for (std::int32_t i = 0; i <= in.nue; ++i) {
        Session together = s;
        const USMapPoint want = USMapRun(together, in, MapGrid::US, i, j, nullptr, 1);
        for (std::size_t lag : {kThresholdNeuronLag, std::size_t{7}}) {
          SCOPED_TRACE(std::string(c.name) + ", point " + std::to_string(i) + "," + std::to_string(j) + ", lag " +
                       std::to_string(lag));
          Session lagging = s;
          const USMapPoint got = USMapRun(lagging, in, MapGrid::US, i, j, nullptr, lag);
          EXPECT_EQ(got.steps, want.steps);
          for (double USMapPoint::*field :
               {&USMapPoint::Freq, &USMapPoint::VPeakLast, &USMapPoint::VFiltLast, &USMapPoint::VavLast,
                &USMapPoint::avPSCLast, &USMapPoint::VTroughLast, &USMapPoint::Convolution, &USMapPoint::VxZ,
                &USMapPoint::IxZ, &USMapPoint::WidthAP, &USMapPoint::V1ms, &USMapPoint::ThAtSpike}) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(got.*field), std::bit_cast<std::uint64_t>(want.*field));
          }
        }
        if (want.ThAtSpike != 0.0) ++fired;
      }
    }
    EXPECT_GT(fired, 2) << c.name << ": points whose threshold was measured";
  }
}

TEST_F(USMap, RefusesGridsItCannotHoldAndAZeroVus) {
  const struct {
    const char* name;
    int nue, nse;
    double Vus;
  } cases[] = {{"nue above 200", 201, 8, -0.065}, {"nse above 200", 20, 201, -0.065}, {"no steps", 0, 8, -0.065},
               {"Vus = 0", 20, 8, 0.0}};
  for (const auto& c : cases) {
    Session s = StartUpSession();
    TaskInputs inputs;
    inputs.usMap.nue = c.nue;
    inputs.usMap.nse = c.nse;
    s.stim.Vus = c.Vus;
    PointRecorder rec;
    BatchHost host;
    EXPECT_THROW(MapUS(s, inputs.usMap, inputs.fiber, host, rec, MapGrid::US, Path(std::string("x") + c.name)),
                 RangeError) << c.name;
  }
}

// A hand-made map of 4 x 4 points whose columns are known numbers: column k of
// point (i, j) holds k·100 + 10·i + j, u and s are the grid itself, and column 7
// (the G of choice 0) starts each row with zeros.
std::string WriteFixture(const std::string& path, int nue, int nse, bool withColumn16) {
  std::ofstream out(path);
  out << "ZONE T=\"ZONE1\"\n";
  char size[64];
  std::snprintf(size, sizeof size, "I=%3d ,J=%3d ,K=1,F=POINT\n", nue + 1, nse + 1);
  out << size;
  for (int j = 0; j <= nse; ++j) {
    for (int i = 0; i <= nue; ++i) {
      out << 2.0 * i << ' ' << 0.1 * j;
      const int last = withColumn16 ? 18 : 15;
      for (int k = 3; k <= last; ++k) {
        const double x = (k == 7 && i < j) ? 0.0 : k * 100 + 10 * i + j;
        out << ' ' << x;
      }
      out << '\n';
    }
  }
  return path;
}

TEST_F(USMap, ReadsFAndGByTheirChoicesAndFillsGsSilentStart) {
  const std::string file = WriteFixture(Path("fixture.dat"), 3, 3, true);
  const int i = 2, j = 1;
  const double base = 10 * i + j;
  auto col = [&](int k) { return k * 100 + base; };
  const struct {
    int choice;
    double F, G;
  } cases[] = {
      {0, col(3), col(7)},
      {1, col(12) / 1000, col(6) / 1000},
      {2, col(14) / 1000, col(10) / 1000},
      {3, col(10) / 1000, col(4) / 1000},
      {4, (col(4) - col(10)) / 1000, col(11) / 1000},
      {5, col(15) / 1000, col(12)},
      {6, col(16) / 1000, col(13)},
  };
  for (const auto& c : cases) {
    const USMapData m = ReadUSMap(file, c.choice, c.choice);
    EXPECT_DOUBLE_EQ(m.F[m.At(i, j)], c.F) << "choice " << c.choice;
    EXPECT_DOUBLE_EQ(m.G[m.At(i, j)], c.G) << "choice " << c.choice;
  }
  const USMapData m = ReadUSMap(file, 0, 0);
  EXPECT_EQ(m.nue, 3);
  EXPECT_EQ(m.nse, 3);
  EXPECT_DOUBLE_EQ(m.du, 0.002);
  EXPECT_DOUBLE_EQ(m.ds, 0.1);
  EXPECT_DOUBLE_EQ(m.trough[m.At(3, 2)], (1000.0 + 32) / 1000);
  // Row 2 is silent at i = 0, 1: both take the value at i = 2.
  EXPECT_DOUBLE_EQ(m.G[m.At(0, 2)], 700 + 22);
  EXPECT_DOUBLE_EQ(m.G[m.At(1, 2)], 700 + 22);
  EXPECT_DOUBLE_EQ(m.G[m.At(3, 2)], 700 + 32);
  // Without column 16 (the distributed model's file) F of choice 6 is 0.
  const USMapData short15 = ReadUSMap(WriteFixture(Path("f15.dat"), 3, 3, false), 6, 0);
  EXPECT_EQ(short15.F[short15.At(1, 1)], 0.0);
}

TEST_F(USMap, ReadsBackTheMapItWrote) {
  Session s = StartUpSession();
  TaskInputs inputs;
  inputs.usMap.nue = 3;
  inputs.usMap.nse = 3;
  inputs.usMap.t_end = 200;
  PointRecorder rec;
  BatchHost host;
  MapUS(s, inputs.usMap, inputs.fiber, host, rec, MapGrid::US, Path("map.dat"));
  const USMapData m = ReadUSMap(Path("map.dat"), 0, 3);
  ASSERT_EQ(m.F.size(), rec.points.size());
  for (const USMapPoint& p : rec.points) {
    EXPECT_NEAR(m.u[m.At(p.i, p.j)], p.u, 5e-6);  // written in µA/cm² with 2 decimals
    EXPECT_NEAR(m.s[m.At(p.i, p.j)], p.s, 1e-4);
    EXPECT_NEAR(m.F[m.At(p.i, p.j)], p.Freq, 0.005);
  }
}

// VxZ and IxZ weigh each interval with the stored unit Z-function the map
// reads from its folder: a flat one gives the interval's mean voltage and
// input current; without one both are 0. F and G of a point are what the
// analyses read back from its line.
TEST_F(USMap, TheStoredUnitZFunctionWeighsEveryInterval) {
  {
    std::ofstream z(Path("set_func_Z_Unit.dat"));
    for (int k = 0; k <= 100; ++k) z << -0.05 * k << " 1\n";  // 5 ms back at the map's step
  }
  for (const bool stored : {true, false}) {
    Session s = StartUpSession();
    TaskInputs inputs;
    inputs.usMap.nue = 1;
    inputs.usMap.nse = 1;
    inputs.usMap.u_min = 4.0;
    inputs.usMap.u_max = 5.0;
    inputs.usMap.s_min = 0.1;
    inputs.usMap.s_max = 0.2;
    inputs.usMap.t_end = 200;
    inputs.usMap.storedFolder = stored ? Path("") : Path("empty");
    std::filesystem::create_directories(Path("empty"));
    PointRecorder rec;
    BatchHost host;
    MapUS(s, inputs.usMap, inputs.fiber, host, rec, MapGrid::US, Path("map.dat"));
    const USMapData vxz = ReadUSMap(Path("map.dat"), 1, 6);  // F VxZ, G IxZ
    for (const USMapPoint& p : rec.points) {
      ASSERT_GT(p.Freq, 5.0);
      const std::size_t at = vxz.At(p.i, p.j);
      if (stored) {
        // The mean of the last 5 ms before the spike: below the peak, above the trough.
        EXPECT_LT(p.VxZ, p.VPeakLast);
        EXPECT_GT(p.VxZ, p.VTroughLast);
        EXPECT_GT(p.IxZ, 0.0);  // a depolarising input
        EXPECT_NEAR(vxz.F[at], p.VxZ, 1e-5);
        EXPECT_NEAR(vxz.G[at], p.IxZ, 1e-4);
      } else {
        EXPECT_EQ(p.VxZ, 0.0);
        EXPECT_EQ(p.IxZ, 0.0);
      }
      EXPECT_DOUBLE_EQ(USMapF(p, 1), p.VxZ);
      EXPECT_DOUBLE_EQ(USMapG(p, 6), p.IxZ);
      EXPECT_DOUBLE_EQ(USMapF(p, 5), p.V1ms);
    }
  }
}

TEST_F(USMap, LinearFAndGArePlanesThroughTheThirdsOfTheGrid) {
  const std::string file = WriteFixture(Path("fixture.dat"), 6, 6, true);
  const USMapData raw = ReadUSMap(file, 3, 0);
  const USMapData m = ReadUSMap(file, 3, 0, true, Path("linear.dat"));
  for (std::vector<double> USMapData::*X : {&USMapData::F, &USMapData::G}) {
    const std::vector<double>& lin = m.*X;
    const std::vector<double>& org = raw.*X;
    // The plane keeps the three support points and is exactly linear.
    for (auto [i, j] : {std::pair{2, 2}, std::pair{4, 2}, std::pair{2, 4}}) {
      EXPECT_DOUBLE_EQ(lin[m.At(i, j)], org[m.At(i, j)]);
    }
    const double slopeU = (org[m.At(4, 2)] - org[m.At(2, 2)]) / 2, slopeS = (org[m.At(2, 4)] - org[m.At(2, 2)]) / 2;
    for (int j = 0; j <= 6; ++j) {
      for (int i = 0; i <= 6; ++i) {
        EXPECT_NEAR(lin[m.At(i, j)], org[m.At(2, 2)] + (i - 2) * slopeU + (j - 2) * slopeS, 1e-9);
      }
    }
  }
  const std::vector<std::string> lines = Lines(Path("linear.dat"));
  ASSERT_EQ(lines.size(), 2u + 49u);
  EXPECT_EQ(lines[1], "I=  7 ,J=  7 ,K=1,F=POINT");
  EXPECT_EQ(lines[2 + 7 + 3], "  6.000   0.10000 1031.00000 721000.00000");  // (i, j) = (3, 1), G through the filled start of row 4
  // Fewer than three steps leave the planes without support.
  const std::string small = WriteFixture(Path("small.dat"), 2, 6, true);
  EXPECT_THROW(ReadUSMap(small, 0, 0, true, Path("l2.dat")), RangeError);
}

TEST_F(USMap, NamesTheFileAndLineOfABrokenMap) {
  const struct {
    const char* name;
    const char* text;
    int line;
  } cases[] = {
      {"no size", "ZONE T=\"ZONE1\"\nnothing\n", 2},
      {"too large", "ZONE T=\"ZONE1\"\nI=202 ,J=  3 ,K=1,F=POINT\n", 2},
      {"short line", "ZONE T=\"ZONE1\"\nI=  2 ,J=  2 ,K=1,F=POINT\n1 2 3\n", 3},
      {"ends early",
       "ZONE T=\"ZONE1\"\nI=  2 ,J=  2 ,K=1,F=POINT\n0 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14\n", 3},
      // A file that stops early is named at its last line, which it has.
      {"only the zone line", "ZONE T=\"ZONE1\"", 1},
      {"empty", "", 0},
  };
  for (const auto& c : cases) {
    const std::string path = Path("broken.dat");
    std::ofstream(path) << c.text;
    try {
      ReadUSMap(path, 0, 0);
      ADD_FAILURE() << c.name;
    } catch (const FormatError& e) {
      EXPECT_EQ(e.line(), c.line) << c.name << ": " << e.what();
      EXPECT_EQ(e.file(), path);
    }
  }
  EXPECT_THROW(ReadUSMap(Path("missing.dat"), 0, 0), IoError);
}

// The rows of a 5 x 3 grid (I = 5, J = 3) under headers that disagree with
// them: each is refused at the line where the disagreement shows.
TEST_F(USMap, RefusesAHeaderWhoseGridSizeDisagreesWithTheRows) {
  const std::string rows = WriteFixture(Path("rows.dat"), 4, 2, true);
  std::vector<std::string> body = Lines(rows);
  body.erase(body.begin(), body.begin() + 2);  // the 15 rows without their header
  ASSERT_EQ(body.size(), 15u);
  const struct {
    const char* name;
    int I, J;
    const char* tail;
    int line;  // 0: read without complaint
  } cases[] = {
      {"as written", 5, 3, "", 0},
      {"trailing blank lines", 5, 3, "\n  \n", 0},
      {"I and J swapped", 3, 5, "", 6},    // row 2 starts at line 6 with u of point 4 of row 1
      {"one u too few", 4, 3, "", 7},      // row 2 starts with the last point of row 1
      {"one row more", 5, 4, "", 17},      // the file ends after 15 of 20 points
      {"one row fewer", 5, 2, "", 13},     // the third row follows the grid
      {"a stray row", 5, 3, "1 2 3\n", 18},
  };
  for (const auto& c : cases) {
    const std::string path = Path("header.dat");
    {
      std::ofstream out(path);
      char size[64];
      std::snprintf(size, sizeof size, "I=%3d ,J=%3d ,K=1,F=POINT", c.I, c.J);
      out << "ZONE T=\"ZONE1\"\n" << size << "\n";
      for (const std::string& line : body) out << line << "\n";
      out << c.tail;
    }
    try {
      const USMapData m = ReadUSMap(path, 0, 0);
      EXPECT_EQ(c.line, 0) << c.name << ": read as " << m.nue + 1 << " x " << m.nse + 1;
      EXPECT_EQ(m.file, path);
    } catch (const FormatError& e) {
      EXPECT_EQ(e.line(), c.line) << c.name << ": " << e.what();
      EXPECT_EQ(e.file(), path) << c.name;
      EXPECT_NE(std::string(e.what()).find("the header (line 2)"), std::string::npos) << c.name << ": " << e.what();
    }
  }
}

TEST(MapColours, FifteenStepsBetweenBlueAndYellow) {
  const struct {
    int level;
    int r, g, b;
  } colours[] = {{0, 0, 0, 0}, {1, 128, 16, 255}, {8, 128, 128, 144}, {15, 128, 240, 32}, {16, 128, 255, 16}};
  for (auto c : colours) {
    const MapRgb rgb = MapColour(c.level);
    EXPECT_EQ(rgb.r, c.r) << c.level;
    EXPECT_EQ(rgb.g, c.g) << c.level;
    EXPECT_EQ(rgb.b, c.b) << c.level;
  }
  const struct {
    double f;
    int level;
  } rates[] = {{0.0, 1}, {4.0, 1}, {10.0, 3}, {49.9, 14}, {50.0, 15}, {500.0, 15}};
  for (auto c : rates) EXPECT_EQ(FrequencyLevel(c.f, 50.0), c.level) << c.f;
  EXPECT_EQ(ArrayLevel(2.0, 2.0, 2.0), 1);
  EXPECT_EQ(ArrayLevel(3.0, 2.0, 4.0), 7);
  EXPECT_EQ(ArrayLevel(4.0, 2.0, 4.0), 15);
}

}  // namespace
}  // namespace membrix
