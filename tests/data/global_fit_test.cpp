#include "data/global_fit.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/number_format.h"
#include "params/model_defaults.h"
#include "params/parameter_file.h"
#include "run/clamp_run.h"
#include "run/host.h"
#include "run/run_view_sink.h"
#include "run/session.h"

namespace membrix {
namespace {

namespace fs = std::filesystem;

// A squid-axon neuron in current clamp under a 1 nA pulse, compared with a
// recording the program made of itself at gNa = 120.
class SquidFit : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("membrix-global-fit-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void Write(const std::string& name, const std::string& text) const {
    std::ofstream out(Path(name));
    out << text;
    ASSERT_TRUE(out.good());
  }

  static std::string ParameterFile(int recordings) {
    std::string text =
        "CommonParametersFromFile\n"
        "NSmpls := " + std::to_string(recordings) + ";\n"
        "NP0.HH_type := 'Rariza';\n"
        "NP0.HH_order := '1-point';\n"
        "t_end := 0.1;\n"
        "Iind := 300;  t_IindShift := 0.002;  t_Iind := 0.095;\n"
        "MembrixPhysParameters\n"
        "NP0.If_I_V_or_g := 2;\n"
        "KeepParams=0\n"
        "ParametersFromFile\n"
        "SmplFile[Smpl] := 'rec1.dat';\n";
    for (int k = 2; k <= recordings; ++k) {
      text += "ParametersFromFile" + std::to_string(k) + "\nIind := " + std::to_string(1000 - 200 * (k - 1)) +
              ";\nSmplFile[Smpl] := 'rec" + std::to_string(k) + ".dat';\n";
    }
    return text + "end.\n";
  }

  // Writes the model trace of each recording, at the file's own values, as
  // that recording: t in ms and V - Vrest in volts, every step.
  void Record(int recordings) {
    for (int k = 1; k <= recordings; ++k) Write("rec" + std::to_string(k) + ".dat", "0 0\n");
    Write("squid.id", ParameterFile(recordings));
    for (int k = 1; k <= recordings; ++k) {
      Session s;
      ApplyProgramStart(s);
      LoadParameterFile(s, Path("squid.id"));
      s.rec.Smpl = k;
      BatchHost host;
      NullRunViewSink views;
      RunClamp(s, host, views);
      std::string text;
      for (int n = 1; n <= s.run.nt; ++n) {
        AppendFixed(text, n * s.run.dt * 1000.0, 10, 5);
        text += ' ';
        AppendScientific(text, s.ModelData(n, k), 24);
        text += '\n';
      }
      Write("rec" + std::to_string(k) + ".dat", text);
    }
  }

  // The fit of gNa from 96, 20 % below the value of the recording.
  Session FitSession() const {
    Session s;
    ApplyProgramStart(s);
    LoadParameterFile(s, Path("squid.id"));
    SelectFitParameters(s.fit, std::vector<std::string>{"gNa"});
    CollectFitSelection(s.fit);
    s.NP0.gNa = 96.0;
    s.fit.Tolerance = 1e-3;
    return s;
  }

  fs::path dir_;
};

class StoppableHost final : public Host {
 public:
  bool Confirm(const std::string&) override { return true; }
  bool StopRequested() const override { return stop; }
  bool stop = false;
};

// Stops the fit at the first progress it hears of.
class StopAtOnce final : public FitProgress {
 public:
  explicit StopAtOnce(StoppableHost& host) : host_(host) {}
  void Status(const FitStatus& status) override {
    lines.push_back(FitStatusLine(fit, status));
    host_.stop = true;
  }
  FitTable fit;
  std::vector<std::string> lines;

 private:
  StoppableHost& host_;
};

TEST_F(SquidFit, GlobalMethodsLeaveTheLocalMinimumTheSimplexStopsIn) {
  Record(1);
  // Between 96 and 120 the deviation rises to a ridge near 105 (a spike moves
  // across the end of the pulse), so the simplex from 96 stops below it.
  Session simplex = FitSession();
  BatchHost host;
  NullRunViewSink views;
  const SimplexResult local = RunSimplex(simplex, host, views);
  EXPECT_LT(local.x[0], 102.0);
  EXPECT_GT(local.value, 0.02);

  struct Case {
    FitMethod method;
    int workers;
  };
  std::vector<double> found;
  for (const Case c : {Case{FitMethod::Global, 2}, Case{FitMethod::Multistart, 2}, Case{FitMethod::Multistart, 1}}) {
    Session s = FitSession();
    s.fit.Method = c.method;
    s.fit.FitSlots[FindFitSlot("gNa")].FitLower = 50.0;
    s.fit.FitSlots[FindFitSlot("gNa")].FitUpper = 200.0;
    s.fit.Starts = 3;
    s.fit.MaxEvaluations = c.method == FitMethod::Global ? 30 : 40;
    s.parallel.workers = c.workers;
    FitProgress quiet;
    const FitOutcome r = RunFit(s, host, views, quiet);
    const std::string what = std::string(FitMethodName(c.method)) + " on " + std::to_string(c.workers);
    EXPECT_NEAR(r.x[0], 120.0, 1.2) << what;
    EXPECT_LT(r.value, 1e-3) << what;
    EXPECT_NE(r.end, FitEnd::Stopped) << what;
    // The result is what the parameters and the memos show.
    EXPECT_EQ(s.NP0.gNa, r.x[0]) << what;
    EXPECT_EQ(s.SimplexMemo.back(), FitEndLine(s.fit, r)) << what;
    EXPECT_NE(s.CoeMemo.at(1).find(std::to_string(static_cast<int>(r.x[0]))), std::string::npos) << what;
    found.push_back(r.x[0]);
    if (c.method != FitMethod::Global) continue;

    // The written file runs the protocol and recording of the fit with the
    // fitted value: its run has the fit's residual.
    std::ifstream in(Path("squid.id"));
    const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Write("fitted.id", FittedParameterFileText(input, s, r.x, "fitted {globally}"));
    Session back;
    ApplyProgramStart(back);
    LoadParameterFile(back, Path("fitted.id"));
    EXPECT_EQ(back.NP0.gNa, r.x[0]);
    EXPECT_EQ(back.stim.Iind, 300.0);
    EXPECT_NEAR(RunClamp(back, host, views) / back.prog.sc_Simplex, r.value, 1e-9);
  }
  // The starts run on one worker or two find the same point.
  EXPECT_EQ(found[1], found[2]);
}

TEST_F(SquidFit, RecordingsScoredInParallelAddUpAsOneAfterAnother) {
  Record(3);
  Session s = FitSession();
  const std::vector<std::vector<double>> points = {{118.0}, {-5.0}, {123.0}};
  std::vector<double> byWorkers[2];
  for (int workers : {1, 2}) {
    s.parallel.workers = workers;
    BatchHost host;
    FitEvaluator evaluator(s, host);
    ASSERT_TRUE(evaluator.Evaluate(points, byWorkers[workers - 1]));
    Session scratch;
    EXPECT_EQ(evaluator.EvaluateSerially(points[0], scratch, host), byWorkers[workers - 1][0]);
  }
  EXPECT_EQ(byWorkers[0], byWorkers[1]);
  EXPECT_EQ(byWorkers[0][1], kFitPenalty);  // below the bound 0: never run
  // The three runs of the session one after another, each starting from the
  // rest the run before found: the same sum to a few parts in 1e5.
  BatchHost host;
  NullRunViewSink views;
  const double serial = FitObjective(s, host, views, points[0]);
  EXPECT_GT(serial, 0.0);
  EXPECT_NEAR(byWorkers[0][0], serial, 1e-4 * serial);
}

TEST_F(SquidFit, AStopEndsTheSearchWithTheBestPointInTheParameters) {
  Record(1);
  for (FitMethod method : {FitMethod::Global, FitMethod::Multistart}) {
    Session s = FitSession();
    s.fit.Method = method;
    s.fit.Starts = 4;
    StoppableHost host;
    NullRunViewSink views;
    StopAtOnce progress(host);
    progress.fit = s.fit;
    const FitOutcome r = RunFit(s, host, views, progress);
    const std::string what(FitMethodName(method));
    EXPECT_EQ(r.end, FitEnd::Stopped) << what;
    ASSERT_EQ(r.x.size(), 1u) << what;
    EXPECT_EQ(s.NP0.gNa, r.x[0]) << what;
    EXPECT_LE(r.evaluations, method == FitMethod::Global ? 1 : 100) << what;
    EXPECT_NE(s.SimplexMemo.back().find(": stopped after"), std::string::npos) << s.SimplexMemo.back();
    ASSERT_FALSE(progress.lines.empty());
    EXPECT_NE(progress.lines[0].find("evaluations"), std::string::npos) << progress.lines[0];
  }
}

// A point at which the model finds no resting potential is scored as one
// outside the bounds, by every method, and the search goes on.
TEST_F(SquidFit, APointWithoutRestScoresAsOneOutsideTheBounds) {
  Record(1);
  Session s = FitSession();
  const std::vector<std::vector<double>> points = {{120.0}, {1e6}};
  BatchHost host;
  FitEvaluator evaluator(s, host);
  std::vector<double> values;
  ASSERT_TRUE(evaluator.Evaluate(points, values));
  EXPECT_LT(values[0], 0.01);
  EXPECT_EQ(values[1], kFitPenalty);
  ASSERT_FALSE(evaluator.notes().empty());
  EXPECT_NE(evaluator.notes()[0].find("no resting potential"), std::string::npos) << evaluator.notes()[0];
  Session scratch;
  EXPECT_EQ(evaluator.EvaluateSerially(points[1], scratch, host), kFitPenalty);
  NullRunViewSink views;
  EXPECT_EQ(FitObjective(s, host, views, points[1]), kFitPenalty);
}

// Loses the recording after a few progress reports, so that the next run fails.
class RecordingLost final : public FitProgress {
 public:
  explicit RecordingLost(std::string path) : path_(std::move(path)) {}
  void Status(const FitStatus&) override {
    if (++reports == 3) fs::remove(path_);
  }
  int reports = 0;

 private:
  std::string path_;
};

TEST_F(SquidFit, AFailedFitKeepsTheBestPointItScored) {
  for (FitMethod method : {FitMethod::Simplex, FitMethod::Global}) {
    Record(1);
    Session s = FitSession();
    s.fit.Method = method;
    BatchHost host;
    NullRunViewSink views;
    RecordingLost progress(Path("rec1.dat"));
    const std::string what(FitMethodName(method));
    try {
      RunFit(s, host, views, progress);
      ADD_FAILURE() << what << ": the fit did not fail";
    } catch (const Error& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find("rec1.dat"), std::string::npos) << message;
      EXPECT_NE(message.find("the parameters keep the best point found before"), std::string::npos) << message;
      // The parameters hold the point the message names.
      char kept[32];
      const auto end = std::to_chars(kept, kept + sizeof kept, s.NP0.gNa).ptr;
      EXPECT_NE(message.find("gNa = " + std::string(kept, end)), std::string::npos) << message;
    }
    EXPECT_EQ(s.fit.SimplexStop, 1) << what;
    EXPECT_EQ(progress.reports, 3) << what;  // nothing reported after the failure
  }
}

TEST(FitStrategy, SearchBoxAndStartingPoints) {
  FitTable fit;
  SelectFitParameters(fit, std::vector<std::string>{"gNa", "gK", "VL[1]"});
  CollectFitSelection(fit);
  fit.FitSlots[FindFitSlot("gK")].FitUpper = 50.0;  // a bound set by the user is searched whole
  std::vector<double> lower, upper;
  const std::vector<double> x0 = {96.0, 36.0, -0.07};
  FitSearchBox(fit, x0, lower, upper);
  ASSERT_EQ(FitParameterAt(fit, 3).field, "VL");
  const std::vector<double> low = {48.0, 0.0, -1.07}, high = {192.0, 50.0, 0.93};
  for (std::size_t j = 0; j < 3; ++j) {
    EXPECT_DOUBLE_EQ(lower[j], low[j]) << j;
    EXPECT_DOUBLE_EQ(upper[j], high[j]) << j;
  }

  const auto points = MultistartPoints(x0, lower, upper, 3);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[0], x0);
  EXPECT_DOUBLE_EQ(points[1][0], 48.0 + 0.5 * 144.0);  // base 2
  EXPECT_DOUBLE_EQ(points[2][1], 50.0 * 2.0 / 3.0);     // base 3
  for (const auto& p : points) {
    for (std::size_t j = 0; j < p.size(); ++j) {
      EXPECT_GE(p[j], lower[j]);
      EXPECT_LE(p[j], upper[j]);
    }
  }

  EXPECT_EQ(ParseFitMethod("multistart"), FitMethod::Multistart);
  EXPECT_THROW(ParseFitMethod("annealing"), Error);
}

TEST(FitStrategy, FittedValuesGoAtTheEndOfTheNeuronSection) {
  Session s;
  SelectFitParameters(s.fit, std::vector<std::string>{"gNa"});
  CollectFitSelection(s.fit);
  const std::vector<double> x = {119.5};
  // The marker in comments does not count.
  const std::string text =
      "{ KeepParams=0 }\nCommonParametersFromFile\nMembrixPhysParameters\n"
      "NP0.gNa := 96;  / KeepParams=0 in a line comment\nKeepParams=0\nParametersFromFile\nend.\n";
  const std::string fitted = FittedParameterFileText(text, s, x, "fit");
  const std::size_t value = fitted.find("NP0.gNa := 119.5;");
  ASSERT_NE(value, std::string::npos) << fitted;
  EXPECT_GT(value, fitted.find("NP0.gNa := 96;"));
  EXPECT_LT(value, fitted.find("\nKeepParams=0\nParametersFromFile"));
  EXPECT_EQ(fitted.rfind("{ fit }\n", 0), 0u) << fitted;

  const std::string noMarker = "CommonParametersFromFile\nMembrixPhysParameters\nNP0.gNa := 96;\nend.\n";
  EXPECT_EQ(FittedParameterFileText(noMarker, s, x, "fit"), FitParameterFileText(s, x, "fit"));
}

}  // namespace
}  // namespace membrix
