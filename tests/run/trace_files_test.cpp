#include "run/trace_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "neuron/neuron_test_support.h"
#include "run/clamp_run.h"
#include "run/output_variables.h"
#include "run/session.h"

namespace membrix {
namespace {

namespace fs = std::filesystem;

// Works in a folder of its own, for the files a run writes beside itself.
class InTempFolder {
 public:
  InTempFolder() : previous_(fs::current_path()) {
    static int counter = 0;
    path_ = fs::temp_directory_path() / ("membrix_trace_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::create_directories(path_);
    fs::current_path(path_);
  }
  ~InTempFolder() {
    fs::current_path(previous_);
    fs::remove_all(path_);
  }

 private:
  fs::path previous_;
  fs::path path_;
};

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class Answer final : public Host {
 public:
  explicit Answer(bool yes) : yes_(yes) {}
  bool Confirm(const std::string& question) override {
    asked = question;
    return yes_;
  }
  std::string asked;

 private:
  bool yes_;
};

void PassiveRun(Session& s, int steps) {
  s.NP0 = testing::PassiveRecord();
  s.NP0.IfSet_VL_or_Vrest = 3;
  s.NP0.VL = -0.070;
  s.stim.Iind = 0;
  SetRunLength(s.run, steps * s.run.dt);
}

TEST(TraceFiles, EachModeWritesItsColumnsEveryWritingStep) {
  InTempFolder here;
  const struct {
    int mode;
    const char* item;
    std::size_t width;  // characters of a line
    const char* status;
  } cases[] = {
      {1, "", 19, "Written columns are: 1-t(ms)  2-V(mV)"},
      {2, "", 29, "Written columns are: 1-t(ms)  2-Exp.Curve(Volts or pA) 3-Mod.Curve(Volts or pA)"},
      {3, "", 29, "Written columns are: 1-t(ms)  2-mmR  3-hhR"},
      {4, "V", 23, "Written columns are: 1-t(ms)  2-V"},
  };
  for (auto c : cases) {
    Session s;
    PassiveRun(s, 1000);
    Answer yes(true);
    NullRunViewSink views;
    SaveTraceRun(s, yes, views, "trace.dat", c.mode, c.item);
    const auto lines = Lines("trace.dat");
    ASSERT_EQ(lines.size(), 200u) << "mode " << c.mode;  // every 5th of 1000 steps
    EXPECT_EQ(lines[0].size(), c.width) << lines[0];
    EXPECT_EQ(lines[0].substr(0, 9), "    0.250") << "mode " << c.mode;  // step 5 at 50 us
    EXPECT_EQ(yes.asked, std::string(c.status) + ". OK?");
    EXPECT_EQ(s.run.WriteMode, 0);
  }
}

TEST(TraceFiles, VoltageIsWrittenInMillivoltsWithThreeDecimals) {
  InTempFolder here;
  Session s;
  PassiveRun(s, 5);
  Answer yes(true);
  NullRunViewSink views;
  SaveTraceRun(s, yes, views, "v.dat", 1);
  std::ostringstream expected;
  expected << "    0.250 ";
  char v[16];
  std::snprintf(v, sizeof v, "%9.3f", s.NV0.V * 1000.0);
  EXPECT_EQ(Lines("v.dat").at(0), expected.str() + v);
}

TEST(TraceFiles, AnswerOtherThanYesEmptiesTheFile) {
  InTempFolder here;
  Session s;
  PassiveRun(s, 100);
  Answer no(false);
  NullRunViewSink views;
  SaveTraceRun(s, no, views, "v.dat", 1);
  EXPECT_TRUE(fs::exists("v.dat"));
  EXPECT_EQ(fs::file_size("v.dat"), 0u);
}

TEST(TraceFiles, RunLogAndIonFileBesideTheRecording) {
  InTempFolder here;
  std::ofstream("rec2.d") << "0 0\n1000 0\n";
  Session s;
  PassiveRun(s, 100);
  s.rec.Smpl = 2;
  s.rec.SmplFile[2] = "rec2.d";
  s.run.Writing = 1;
  BatchHost host;
  NullRunViewSink views;
  RunClamp(s, host, views);
  const auto log = Lines("rec2.dat");
  ASSERT_EQ(log.size(), 20u);
  EXPECT_EQ(log[0].substr(0, 10), "   0.25000");
  EXPECT_EQ(log[0].size(), 10u + 1 + 11 + 1 + 12 + 1 + 12);
  EXPECT_TRUE(fs::exists(kIonFileName));
}

TEST(TraceFiles, UnknownItemOrUnwritableFileIsAnError) {
  InTempFolder here;
  Session s;
  PassiveRun(s, 10);
  Answer yes(true);
  NullRunViewSink views;
  EXPECT_THROW(SaveTraceRun(s, yes, views, "x.dat", 4, "Voltage"), RangeError);
  EXPECT_THROW(SaveTraceRun(s, yes, views, "no/such/folder/x.dat", 1), IoError);
  EXPECT_EQ(s.run.WriteMode, 0);
}

std::string Content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(TraceFiles, OutputThatIsAnInputIsRefusedBeforeAnythingIsWritten) {
  InTempFolder here;
  std::ofstream("cell.id") << "end.\n";
  std::ofstream("rec.d") << "0 0\n1000 0\n";
  std::ofstream(kIonFileName) << "0 0\n1000 0\n";
  std::ofstream("other.d") << "0 0\n1000 0\n";
  const struct {
    const char* trace;  // empty: no trace file
    const char* recording;
    bool writing;
    const char* message;
  } cases[] = {
      {"rec.d", "rec.d", false, "rec.d: is the recording of the run"},
      {"./sub/../rec.d", "rec.d", false, "is the recording of the run"},
      {"cell.id", "rec.d", false, "cell.id: is the parameter file of the run"},
      {"", kIonFileName, true, "is the recording of the run; the ion file would overwrite it"},
      {"other.dat", "other.d", true, "the trace file and the run log cannot share one file"},
  };
  fs::create_directory("sub");
  for (const auto& c : cases) {
    Session s;
    PassiveRun(s, 100);
    s.rec.IdFileName = "cell.id";
    s.rec.Smpl = 2;
    s.rec.SmplFile[2] = c.recording;
    s.run.Writing = c.writing ? 1 : 0;
    const std::string before = Content(c.recording);
    Answer yes(true);
    NullRunViewSink views;
    try {
      if (*c.trace != '\0') {
        SaveTraceRun(s, yes, views, c.trace, 1);
      } else {
        RunClamp(s, yes, views);
      }
      ADD_FAILURE() << c.message << ": the run was made";
    } catch (const IoError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(Content(c.recording), before) << c.message;
    EXPECT_EQ(Content("cell.id"), "end.\n") << c.message;
    EXPECT_FALSE(fs::exists("other.dat")) << c.message;
    EXPECT_EQ(s.run.WriteMode, 0) << c.message;
  }
}

TEST(TraceFiles, RunThatFailsOnItsInputsLeavesExistingOutputsAlone) {
  InTempFolder here;
  std::ofstream("v.dat") << "an earlier trace\n";
  std::ofstream("missing.dat") << "an earlier run log\n";
  Session s;
  PassiveRun(s, 100);
  s.rec.Smpl = 2;
  s.rec.SmplFile[2] = "missing.d";  // no such recording
  s.run.Writing = 1;
  Answer yes(true);
  NullRunViewSink views;
  EXPECT_THROW(SaveTraceRun(s, yes, views, "v.dat", 1), IoError);
  EXPECT_EQ(Content("v.dat"), "an earlier trace\n");
  EXPECT_EQ(Content("missing.dat"), "an earlier run log\n");
  EXPECT_FALSE(fs::exists(kIonFileName));
}

TEST(TraceFiles, FailedWriteEmptiesItsFileAndNamesTheOthersLeftShort) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  InTempFolder here;
  std::ofstream("rec.d") << "0 0\n1000 0\n";
  Session s;
  PassiveRun(s, 100);
  s.rec.Smpl = 2;
  s.rec.SmplFile[2] = "rec.d";
  s.run.Writing = 1;
  Answer yes(true);
  NullRunViewSink views;
  try {
    SaveTraceRun(s, yes, views, "/dev/full", 1);
    ADD_FAILURE() << "the write to /dev/full was not noticed";
  } catch (const IoError& e) {
    const std::string text = e.what();
    EXPECT_NE(text.find("/dev/full: writing failed"), std::string::npos) << text;
    EXPECT_NE(text.find("rec.dat, t_V_pump_Na_VNa_K_VK.dat end where the run stopped"), std::string::npos) << text;
  }
}

TEST(OutputVariables, ListItemsReadTheirFields) {
  EXPECT_EQ(OutputVariables().size(), 43u);
  for (std::string_view item : OutputVariables()) EXPECT_FALSE(item.empty());
  Session s;
  s.NV0.V = -0.065;
  s.NV0.Iion = 0.002;
  s.NV0.INa = -0.001;
  s.NV0.hhR = 0.25;
  EXPECT_DOUBLE_EQ(OutputVariableValue(s, "V"), -65.0);
  EXPECT_DOUBLE_EQ(OutputVariableValue(s, "Im"), -0.002);
  EXPECT_DOUBLE_EQ(OutputVariableValue(s, "Im-INa"), -0.001);
  EXPECT_DOUBLE_EQ(OutputVariableValue(s, "hhR"), 0.25);
  s.stim.uu = 0.004;
  s.stim.t_IindShift = 0.1;
  s.run.t = 0.05;
  EXPECT_DOUBLE_EQ(OutputVariableValue(s, "uu"), 0.0);  // outside the pulse window
}

}  // namespace
}  // namespace membrix
