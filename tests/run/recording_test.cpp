#include "run/recording.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/error.h"
#include "common/quoted_text.h"
#include "run/session.h"

namespace membrix {
namespace {

namespace fs = std::filesystem;

// A folder of the test's own, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    static int counter = 0;
    path_ = fs::temp_directory_path() / ("membrix_rec_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::create_directories(path_);
  }
  ~TempFolder() { fs::remove_all(path_); }
  std::string Write(const std::string& name, const std::string& text) const {
    const fs::path p = path_ / name;
    std::ofstream(p) << text;
    return p.string();
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

Session WithRecording(const std::string& file, int oneColumn, int format) {
  Session s;
  s.rec.Smpl = 3;
  s.rec.SmplFile[3] = file;
  s.rec.IfDataIn1column = oneColumn;
  s.rec.DataFormat = format;
  return s;
}

TEST(Recording, ReadsOneAndTwoColumnFiles) {
  TempFolder dir;
  Session one = WithRecording(dir.Write("a.txt", "1.5\n\n2.5\n-3\n"), 1, 2);
  ReadRecording(one);
  ASSERT_EQ(one.rec.Trace.time.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(one.rec.Trace.time[i], 0.05 * (i + 1), 1e-12);
  EXPECT_EQ(one.rec.Trace.value, (std::vector<double>{-1.5, -2.5, 3}));  // negated in DataFormat 2

  Session two = WithRecording(dir.Write("b.dat", "0 -65\n1.0\t-60 extra\n2 -62\r\n"), 0, 1);
  ReadRecording(two);
  EXPECT_EQ(two.rec.Trace.time, (std::vector<double>{0, 1, 2}));
  EXPECT_EQ(two.rec.Trace.value, (std::vector<double>{-65, -60, -62}));

  // Commas separate numbers, also between digits when the line writes decimal points.
  Session csv = WithRecording(dir.Write("c.csv", "0.050,-3.91039E-04\n0.100,3.27579E-04\n0.150, 2.5\n"), 0, 1);
  ReadRecording(csv);
  EXPECT_EQ(csv.rec.Trace.time, (std::vector<double>{0.05, 0.1, 0.15}));
  EXPECT_EQ(csv.rec.Trace.value, (std::vector<double>{-3.91039E-04, 3.27579E-04, 2.5}));
}

TEST(Recording, LinesEndInLfCrLfOrCr) {
  TempFolder dir;
  for (const char* text : {"0 1\n2 3\n4 5\n", "0 1\r\n2 3\r\n4 5", "0 1\r2 3\r\r4 5\r"}) {
    Session s = WithRecording(dir.Write("ends.dat", text), 0, 1);
    ReadRecording(s);
    EXPECT_EQ(s.rec.Trace.time, (std::vector<double>{0, 2, 4})) << Quoted(text);
    EXPECT_EQ(s.rec.Trace.value, (std::vector<double>{1, 3, 5})) << Quoted(text);
  }
}

TEST(Recording, BadInputNamesFileAndLine) {
  TempFolder dir;
  const struct {
    const char* text;
    int oneColumn;
    int line;
    const char* message;
  } cases[] = {
      {"0 1\n1 2\ntime value\n", 0, 3, "expected a time and a value, found \"time value\""},
      {"", 0, 0, "holds no points"},
      {"\n  \n\t\n", 0, 0, "holds no points"},
      {"0,050 -3,91039E-04\n", 0, 1, "decimal comma in \"0,050 -3,91039E-04\""},
      {"1.5\n2,5\n", 1, 2, "decimal comma"},
      {"0.1 2\n0,2\t3,5\n", 0, 2, "decimal comma"},
      {"0.1 2\n0.2 3,5\n", 0, 2, "decimal comma"},  // a blank separates, so the comma is in a number
      {"0 1 2\n", 0, 1, "more numbers than a time and a value per line"},
      {"0.5\n0.05 1.2\n", 1, 2, "more numbers than one value per line"},
      {"0 1\n1 nan\n", 0, 2, "expected a time and a value"},
      {"0 1\n1\x01\x02 2\n", 0, 2, "\\x01\\x02"},
  };
  for (const auto& c : cases) {
    Session s = WithRecording(dir.Write("bad.dat", c.text), c.oneColumn, 1);
    try {
      ReadRecording(s);
      ADD_FAILURE() << Quoted(c.text) << " was read";
    } catch (const FormatError& e) {
      EXPECT_EQ(e.line(), c.line) << Quoted(c.text);
      EXPECT_NE(e.file().find("bad.dat"), std::string::npos) << Quoted(c.text);
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(Recording, FilesThatAreNoRecordingEndWithAMessage) {
  TempFolder dir;
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {(dir.path() / "none.dat").string(), "No such file"},
      {dir.path().string(), "is a folder"},
      {"/dev/zero", "more than 64 MiB"},  // endless: refused at the limit, not read for ever
  };
  for (const auto& c : cases) {
    Session s = WithRecording(c.path, 0, 1);
    try {
      ReadRecording(s);
      ADD_FAILURE() << c.path << " was read";
    } catch (const IoError& e) {
      EXPECT_EQ(e.path(), c.path);
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
  }
}

TEST(Recording, EveryPointOfALongFileIsReadAndResampled) {
  TempFolder dir;
  std::string text;
  for (int i = 0; i < 60003; ++i) text += std::to_string(i) + " " + std::to_string(i % 7) + "\n";
  Session s = WithRecording(dir.Write("long.dat", text), 0, 1);
  SetTimeStep(s.run, 1e-3);  // a row a millisecond: the recording's own grid
  SetRunLength(s.run, 60.0025);
  LoadRecording(s);
  EXPECT_EQ(s.rec.Trace.time.size(), 60003u);
  EXPECT_TRUE(s.SimplexMemo.empty());
  ASSERT_EQ(s.ExpData.Rows(s.rec.Smpl), 60003);
  EXPECT_EQ(s.ModelData.Rows(s.rec.Smpl), 60003);  // room for the model's values beside it
  for (int i : {0, 25001, 60002}) EXPECT_DOUBLE_EQ(s.ExpData(i, s.rec.Smpl), i % 7) << "row " << i;
}

TEST(Recording, InterpolatesAndExtrapolatesLinearly) {
  Session s;
  s.rec.Trace.time = {0, 1, 1, 3};
  s.rec.Trace.value = {0, 10, 20, 40};
  const struct {
    double x, expected;
  } cases[] = {{0.5, 5}, {1.0, 20}, {2.0, 30}, {4.0, 50}, {-1.0, -10}};
  for (auto c : cases) EXPECT_DOUBLE_EQ(Interpolate(s, c.x), c.expected) << "x = " << c.x;

  // Equal times give the earlier value of the pair.
  s.rec.Trace.time = {0, 2, 2};
  s.rec.Trace.value = {0, 7, 9};
  EXPECT_DOUBLE_EQ(Interpolate(s, 5.0), 7.0);
  s.rec.Trace.time = {1};
  s.rec.Trace.value = {4};
  EXPECT_DOUBLE_EQ(Interpolate(s, 9.0), 4.0);
  s.rec.Trace.time.clear();
  s.rec.Trace.value.clear();
  EXPECT_DOUBLE_EQ(Interpolate(s, 9.0), 0.0);
}

TEST(Recording, ResamplesOntoTheModelGridAndClears) {
  Session s;
  s.rec.Smpl = 2;
  s.rec.Trace.time = {0, 10};  // ms
  s.rec.Trace.value = {0, 100};
  SetRunLength(s.run, 0.002);  // 40 steps of 50 us
  Resample(s);
  EXPECT_DOUBLE_EQ(s.ExpData(0, 2), 0.0);
  EXPECT_DOUBLE_EQ(s.ExpData(20, 2), 10.0);  // 1 ms
  EXPECT_DOUBLE_EQ(s.ExpData(40, 2), 20.0);
  EXPECT_DOUBLE_EQ(s.ExpData(41, 2), 0.0);   // beyond the run
  ClearRecording(s);
  EXPECT_DOUBLE_EQ(s.ExpData(20, 2), 0.0);
}

TEST(Recording, RelativeNamesAreFoundBesideTheParameterFile) {
  TempFolder dir;
  dir.Write("trace.dat", "0 1\n1 2\n");
  Session s = WithRecording("trace.dat", 0, 1);
  s.rec.IdFileName = (dir.path() / "protocol.id").string();
  ReadRecording(s);
  EXPECT_EQ(s.rec.Trace.value.size(), 2u);
}

}  // namespace
}  // namespace membrix
