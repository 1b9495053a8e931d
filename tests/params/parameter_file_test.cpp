#include "params/parameter_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/error.h"
#include "params/model_defaults.h"
#include "run/session.h"
#include "tasks/task_files_test_support.h"

namespace membrix {
namespace {

// A parameter file in a folder of the test's own.
class IdFile {
 public:
  explicit IdFile(const std::string& text) {
    static int counter = 0;
    path_ = (std::filesystem::temp_directory_path() /
             ("membrix_id_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".id"))
                .string();
    std::ofstream(path_) << text;
  }
  ~IdFile() { std::filesystem::remove(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

double GnaAfter(const std::string& assignment) {
  Session s;
  s.NP0.gNa = -1;
  IdFile f(assignment);
  ReadSection(s, f.path(), "Any", "end.");
  return s.NP0.gNa;
}

TEST(ParameterFile, LexicalRules) {
  const struct {
    const char* text;
    double gNa;
  } cases[] = {
      {"NP0.gNa:=12;", 12},
      {"NP0.gNa  :=   12   ;", 12},
      {"NP0.gNa := '12';", 12},                     // quotes are not part of the value
      {"NP0.gNa := 1.2e2;", 120},                   // lower-case e makes a number
      {"NP0.gNa := 1.2E2;", -1},                    // upper-case E does not: ignored
      {"{a comment} NP0.gNa := 7; / and another", 7},
      {"/ NP0.gNa := 7;\nNP0.gK := 1;", -1},       // a slash comments out the rest of the line
      {"NP0.gNa {why} := 8;", 8},
      {"NP0.gna := 9;", -1},                        // keys are compared exactly
      {"NP0.gNa := 5; end. NP0.gNa := 6;", 5},      // nothing after the end marker
      {"NP0.gNa := -.5;", -0.5},
      {"NP0.gNa := +3;", 3},
  };
  for (auto c : cases) EXPECT_EQ(GnaAfter(c.text), c.gNa) << c.text;
}

TEST(ParameterFile, EchoesAppliedAssignmentsAndReportsBadFormat) {
  Session s;
  IdFile f("NP0.HH_order := '2-points'; NP0.gK := 3; NP0.gNa : 4; Iind := 50;");
  ReadSection(s, f.path(), "Any", "end.");
  EXPECT_EQ(s.NP0.HH_order, "2-points");
  EXPECT_EQ(s.NP0.gK, 3);
  EXPECT_EQ(s.stim.Iind, 50);
  ASSERT_EQ(s.ParamsMemo.size(), 3u);
  EXPECT_EQ(s.ParamsMemo[0], "NP0.HH_order:='2-points';");
  EXPECT_EQ(s.ParamsMemo[1], "NP0.gK:=3;");
  ASSERT_EQ(s.SimplexMemo.size(), 1u);
  EXPECT_EQ(s.SimplexMemo[0].rfind("Bad format of input file", 0), 0u);
}

TEST(ParameterFile, UnknownKeyIsNotedWithItsLineAndNotEchoed) {
  Session s;
  IdFile f("NP0.gK := 3;\nNP0.gNaa := 4;\nBogus := 'x';");
  ReadSection(s, f.path(), "Any", "end.");
  EXPECT_EQ(s.ParamsMemo, (std::vector<std::string>{"NP0.gK:=3;"}));
  ASSERT_EQ(s.SimplexMemo.size(), 2u);
  EXPECT_EQ(s.SimplexMemo[0], f.path() + ", line 2: unknown key \"NP0.gNaa\" is ignored");
  EXPECT_EQ(s.SimplexMemo[1], f.path() + ", line 3: unknown key \"Bogus\" is ignored");

  // A file of thousands of them gives a few notes and a count.
  std::string many;
  for (int i = 0; i < 5000; ++i) many += "Unknown" + std::to_string(i) + " := 1; Bad :x\n";
  IdFile big(many + "NP0.gK := 7;");
  Session b;
  ReadSection(b, big.path(), "Any", "end.");
  EXPECT_EQ(b.NP0.gK, 7);
  ASSERT_EQ(b.SimplexMemo.size(), 11u);
  EXPECT_EQ(b.SimplexMemo.back(), big.path() + ": 9990 more unknown keys or bad lines were ignored without a note");
}

TEST(ParameterFile, ValueThatCannotBeConvertedNamesFileLineAndTokenAndKeepsWhatCameBefore) {
  const struct {
    const char* assignment;
    const char* message;
  } bad[] = {
      {"NP0.IfBlockNa := 1.2.3", "\"1.2.3\" is not a whole number"},
      {"NP0.IfBlockNa := -", "\"-\" is not a whole number"},
      {"NP0.IfBlockNa := true", "\"true\" is not a whole number"},
      {"NP0.IfBlockNa := 1.5", "\"1.5\" is not a whole number"},
      {"NP0.HH_type := 'Hodgkin'", "unknown model family \"Hodgkin\" (NP0.HH_type)"},
      {"NP0.HH_order := '3-points'", "unknown geometry \"3-points\" (NP0.HH_order)"},
  };
  for (const auto& b : bad) {
    const char* value = b.assignment;
    Session s;
    IdFile f(std::string("NP0.gK := 2;\n\n") + b.assignment + ";\nNP0.gNa := 4;");
    try {
      ReadSection(s, f.path(), "Any", "end.");
      FAIL() << value << " was accepted";
    } catch (const FormatError& e) {
      EXPECT_EQ(e.file(), f.path());
      EXPECT_EQ(e.line(), 3) << value;
      EXPECT_NE(std::string(e.what()).find(b.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(s.NP0.gK, 2) << value;   // applied before the bad value
    EXPECT_EQ(s.NP0.gNa, 0) << value;  // not reached
  }
}

TEST(ParameterFile, MissingFileNamesThePath) {
  Session s;
  try {
    ReadSection(s, "/nonexistent/x.id", "Any", "end.");
    FAIL();
  } catch (const IoError& e) {
    EXPECT_EQ(e.path(), "/nonexistent/x.id");
    EXPECT_FALSE(e.reason().empty());
  }
}

constexpr const char* kTwoRecordings = R"(
CommonParametersFromFile
  NSmpls := 2;
  t_end := 0.1;
  Smpl := 1; SmplFile[Smpl] := 'first.dat';
  Smpl := 2; SmplFile[Smpl] := 'second.dat';
MembrixPhysParameters
  MembrixPhysParameters(NP) := 1;
  NP0.HH_type := 'Rariza';
  t_end := 0.2;
KeepParams=0
  t_end := 0.5;
ParametersFromFile
  Iind := 100;
ParametersFromFile2
  Iind := 200;
  NP0.gNa := 77;
end.
)";

TEST(ParameterFile, SectionsApplyWhenTheirRecordingIsLoaded) {
  Session s;
  IdFile f(kTwoRecordings);
  LoadParameterFile(s, f.path());
  EXPECT_EQ(s.rec.IdFileName, f.path());
  EXPECT_EQ(s.rec.NSmpls, 2);
  EXPECT_EQ(s.rec.SmplFile[1], "first.dat");
  EXPECT_EQ(s.rec.SmplFile[2], "second.dat");
  EXPECT_EQ(s.NP0.HH_type, "Rariza");
  EXPECT_EQ(s.run.t_end, 0.5);
  EXPECT_EQ(s.run.nt_end, StepCount(0.2, s.run.dt));  // fixed before the last common section
  const double gNa = s.NP0.gNa;

  LoadRecordingSection(s, 1);
  EXPECT_EQ(s.stim.Iind, 100);
  EXPECT_EQ(s.NP0.gNa, gNa);
  LoadRecordingSection(s, 2);
  EXPECT_EQ(s.stim.Iind, 200);
  EXPECT_EQ(s.NP0.gNa, 77);
  LoadRecordingSection(s, 25);  // no such section: nothing changes
  EXPECT_EQ(s.stim.Iind, 200);
}

// What a parameter file sets: the echo of every assignment applied, the notes,
// and the values a run reads, after the file and after each recording's section.
std::vector<std::string> Loaded(Session& s, const std::string& file) {
  LoadParameterFile(s, file);
  std::vector<std::string> seen = s.ParamsMemo;
  for (int k = 1; k <= s.rec.NSmpls; ++k) {
    s.rec.Smpl = k;
    LoadRecordingSection(s, k);
    seen.push_back("recording " + std::to_string(k) + ": " + s.rec.SmplFile[k] + " Iind=" +
                   std::to_string(s.stim.Iind) + " gNa=" + std::to_string(s.NP0.gNa) +
                   " t_end=" + std::to_string(s.run.t_end) + " nt_end=" + std::to_string(s.run.nt_end));
  }
  seen.insert(seen.end(), s.SimplexMemo.begin(), s.SimplexMemo.end());
  return seen;
}

TEST(ParameterFile, AFileThroughAPipeGivesTheSessionTheFileGives) {
  const std::string sample = std::string(MEMBRIX_SOURCE_DIR) + "/resources/samples/Hodgkin_AP.id";
  Session fromFile;
  const std::vector<std::string> expected = Loaded(fromFile, sample);
  ASSERT_EQ(fromFile.rec.NSmpls, 2);
  ASSERT_EQ(fromFile.rec.SmplFile[2], "Hodgkin_AP_2.d");
  ASSERT_EQ(fromFile.stim.Iind, 300);

  testing::TempFolder dir;
  const std::string fifo = testing::MakeFifo(dir, "Hodgkin_AP.id");
  Session fromPipe;
  std::vector<std::string> seen;
  {
    testing::FifoWriter writer(fifo, testing::Content(sample));
    seen = Loaded(fromPipe, fifo);  // the recordings' sections come after the pipe is spent
  }
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(fromPipe.rec.IdFileName, fifo);
  EXPECT_EQ(fromPipe.rec.IdFileText, fromFile.rec.IdFileText);
}

TEST(ParameterFile, RecordingSectionsComeFromTheTextReadWhenTheFileWasOpened) {
  testing::TempFolder dir;
  const std::string path = dir.Write("cell.id", kTwoRecordings);
  Session s;
  LoadParameterFile(s, path);
  dir.Write("cell.id", "ParametersFromFile2\n  Iind := 999;\nend.\n");  // changed behind the session's back
  LoadRecordingSection(s, 2);
  EXPECT_EQ(s.stim.Iind, 200);
  EXPECT_EQ(s.NP0.gNa, 77);
  std::filesystem::remove(path);
  LoadRecordingSection(s, 1);
  EXPECT_EQ(s.stim.Iind, 100);

  CloseParameterFile(s);
  EXPECT_TRUE(s.rec.IdFileText.empty());
  LoadRecordingSection(s, 1);  // the built-in set again
  EXPECT_EQ(s.rec.SmplFile[1], "NoFile");
}

TEST(ParameterFile, AFailedOpenLeavesNoTraceOfTheFileOpenedBefore) {
  testing::TempFolder dir;
  Session s;
  LoadParameterFile(s, dir.Write("good.id", kTwoRecordings));
  const std::string bad = dir.Write("bad.id", R"(CommonParametersFromFile
  NSmpls := 2;
  NP0.gK := 1.2.3;
ParametersFromFile2
  Iind := 555;
end.
)");
  EXPECT_THROW(LoadParameterFile(s, bad), FormatError);
  // What the bad file applied stays; its own sections are the ones runs read.
  EXPECT_EQ(s.rec.IdFileName, bad);
  LoadRecordingSection(s, 2);
  EXPECT_EQ(s.stim.Iind, 555);
  EXPECT_NE(s.NP0.gNa, 77);

  // A file that cannot be read at all changes nothing.
  EXPECT_THROW(LoadParameterFile(s, dir / "missing.id"), IoError);
  EXPECT_EQ(s.rec.IdFileName, bad);
}

TEST(ParameterFile, RecordingNumberOutsideTheTableIsAnError) {
  Session s;
  IdFile f("Smpl := 21;");
  EXPECT_THROW(ReadSection(s, f.path(), "Any", "end."), FormatError);
  EXPECT_EQ(s.rec.Smpl, 1);
}

TEST(ParameterFile, WithoutAFileTheBuiltInSetIsUsed) {
  Session s;
  s.rec.SmplFile[1] = "x.dat";
  LoadRecordingSection(s, 1);
  EXPECT_EQ(s.rec.SmplFile[1], "NoFile");
  EXPECT_EQ(s.rec.scy_Smpl, 1.0);
}

}  // namespace
}  // namespace membrix
