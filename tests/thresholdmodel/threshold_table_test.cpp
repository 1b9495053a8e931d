#include "thresholdmodel/threshold_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "common/error.h"
#include "run/clamp_run.h"
#include "run/session.h"

namespace membrix {
namespace {

namespace fs = std::filesystem;

// A folder of its own for one test, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = fs::temp_directory_path() /
            ("membrix-" + std::string(test->name()) + "-" + std::to_string(std::random_device{}()));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string Write(const std::string& name, const std::string& text) const {
    const fs::path file = path_ / name;
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Columns: unread, interval (row filter), unread, range selector, threshold Y (mV), rate X (V/s).
const char* const kThreeRows =
    "  1.0  -888000  4  99.0  77.0   5.0\n"  // no measurement: dropped, its large column 4 does not count
    "\n"
    "  1.0   20.0    8   1.0  10.0   0.0\n"
    "  1.0   15.0   12   2.0  20.0  10.0  7.7 more words\n"  // the rest of a line is not read
    "  1.0   12.0   16   3.0  30.0  40.0\r\n"                // the largest column 4 ends the range
    "  1.0   +9.0   20   2.5  35.0  50.0\n";

TEST(ThresholdTable, ResamplesTheRowsUpToTheRangeRow) {
  TempFolder folder;
  ThresholdModelGlobals g;
  LoadThresholdTableFrom(folder.Write("table.dat", kThreeRows), g);
  EXPECT_DOUBLE_EQ(g.ThresholdScale, 0.001);
  const struct {
    int k;
    double expected;
  } cases[] = {{0, 10.0}, {50, 12.5}, {100, 30.0}, {150, 30.0}, {200, 30.0}};
  for (auto c : cases) EXPECT_DOUBLE_EQ(g.ThresholdTable[c.k], c.expected) << "entry " << c.k;
}

TEST(ThresholdTable, FilesThatMakeNoTableAreErrors) {
  const struct {
    const char* name;
    const char* text;
    int line;          // expected in the error
    const char* word;  // expected in the message, if any
  } cases[] = {
      {"no row has a measurement", " 1 -888000 4 5 6 7\n 1 0 4 5 6 7\n", 0, nullptr},
      {"the range row is the first", " 1 20 4 9 10 0\n 1 15 4 5 20 10\n", 1, nullptr},
      {"a row with five numbers", " 1 20 4 1 10 0\n 1 15 4 2 20 10\n 1 12 4 3 30\n", 3, nullptr},
      {"a word among the numbers", " 1 20 4 1 10 0\n\n 1 15 4 2,5 20 10\n", 3, "2,5"},
      {"a range row without a rate of rise", " 1 20 4 1 10 0\n 1 15 4 2 20 0\n", 2, nullptr},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    const std::string path = folder.Write("bad.dat", c.text);
    ThresholdModelGlobals g;
    g.ThresholdTable[7] = 1.5;
    g.ThresholdScale = 0.25;
    try {
      LoadThresholdTableFrom(path, g);
      ADD_FAILURE() << c.name << ": no error";
    } catch (const FormatError& e) {
      EXPECT_EQ(e.file(), path) << c.name;
      EXPECT_EQ(e.line(), c.line) << c.name << ": " << e.what();
      if (c.word) {
        EXPECT_NE(std::string(e.what()).find(c.word), std::string::npos) << e.what();
      }
    }
    EXPECT_EQ(g.ThresholdTable[7], 1.5) << c.name << ": the table changed";
    EXPECT_EQ(g.ThresholdScale, 0.25) << c.name;
  }
}

TEST(ThresholdTable, MissingFileChangesNothing) {
  TempFolder folder;
  ThresholdModelGlobals g;
  g.ThresholdTable[3] = 2.0;
  g.ThresholdScale = 0.5;
  LoadThresholdTableFrom((folder.path() / "absent.dat").string(), g);
  EXPECT_EQ(g.ThresholdTable[3], 2.0);
  EXPECT_EQ(g.ThresholdScale, 0.5);
}

TEST(ThresholdTable, LookupClampsToTheGridAndFallsBackToThePowerLaw) {
  TempFolder folder;
  ThresholdModelGlobals g;
  EXPECT_DOUBLE_EQ(ThresholdLookup(g, 2.0), ThresholdPowerLaw(2.0));  // no table was ever read
  EXPECT_DOUBLE_EQ(ThresholdPowerLaw(1.0), (7.52 + std::exp(1.96531)) / 1000.0);
  LoadThresholdTableFrom(folder.Write("table.dat", kThreeRows), g);
  const struct {
    double x, expected;
  } cases[] = {{-3.0, 0.010}, {0.0, 0.010}, {2.5, 0.0125}, {40.0, 0.030}, {1e9, 0.030}};
  for (auto c : cases) EXPECT_NEAR(ThresholdLookup(g, c.x), c.expected, 1e-12) << "x = " << c.x;
  // Between grid points the lookup interpolates in the rate, not in the index.
  const double x = (20 * 20 + 0.3 * 41) * g.ThresholdScale;
  EXPECT_NEAR(ThresholdLookup(g, x), (0.7 * g.ThresholdTable[20] + 0.3 * g.ThresholdTable[21]) / 1000, 1e-12);
}

TEST(ThresholdTable, ShippedDataFilesLoad) {
  const struct {
    const char* family;
    double rangeRate;  // V/s, column 6 of the row with the largest column 4
  } cases[] = {{"Lyle", 9.38536}, {"Chow", 35.94083}};
  for (auto c : cases) {
    ThresholdModelGlobals g;
    const fs::path file = fs::path(MEMBRIX_SOURCE_DIR) / "resources" / ThresholdTableFileName(c.family);
    LoadThresholdTableFrom(file.string(), g);
    EXPECT_DOUBLE_EQ(g.ThresholdScale, c.rangeRate / 40000) << c.family;
    for (int k = 1; k <= 200; ++k) EXPECT_GE(g.ThresholdTable[k], g.ThresholdTable[k - 1]) << c.family << k;
  }
  EXPECT_EQ(ThresholdTableFileName("Migliore"), "set_VTh(dVdt)_Lyle.dat");
}

// Makes a folder the working folder for the life of the guard.
class WorkingFolder {
 public:
  explicit WorkingFolder(const fs::path& path) : previous_(fs::current_path()) { fs::current_path(path); }
  ~WorkingFolder() { fs::current_path(previous_); }
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

 private:
  fs::path previous_;
};

TEST(ThresholdTable, EveryRunStartReadsTheFileOfTheFamily) {
  TempFolder folder;
  folder.Write("set_VTh(dVdt)_Chow.dat", kThreeRows);
  WorkingFolder here(folder.path());
  Session s;
  s.NP0.HH_type = "Lyle";
  ResetRunState(s);  // no Lyle file here
  EXPECT_EQ(s.thresholdModel.ThresholdScale, 0.0);
  s.NP0.HH_type = "Chow";
  ResetRunState(s);
  EXPECT_DOUBLE_EQ(s.thresholdModel.ThresholdScale, 0.001);
  folder.Write("set_VTh(dVdt)_Chow.dat", " 1 20 4 1 10 0\n oops\n");
  EXPECT_THROW(ResetRunState(s), FormatError);
}

}  // namespace
}  // namespace membrix
