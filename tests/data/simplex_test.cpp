#include "data/simplex.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/number_format.h"
#include "data/global_fit.h"
#include "params/imported_channels.h"
#include "params/model_defaults.h"
#include "params/parameter_file.h"
#include "run/clamp_run.h"
#include "run/host.h"
#include "run/run_view_sink.h"
#include "run/session.h"

namespace membrix {
namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// The table

TEST(FitTable, DefaultMarksAreNumberedInSlotOrder) {
  FitTable fit;
  CollectFitSelection(fit);
  ASSERT_EQ(fit.FitCount, 12);
  // gNaR, a1 a2 a3, b1 b3, c1 c3, d1 d2 d3, VNaR: slots 2 ... 15 without 7 and 10.
  const std::vector<int> slots = {2, 3, 4, 5, 6, 8, 9, 11, 12, 13, 14, 15};
  for (int k = 1; k <= fit.FitCount; ++k) {
    EXPECT_EQ(fit.FitOrder[k], slots[k - 1] + 1) << "position " << k;
    EXPECT_EQ(fit.FitSlots[slots[k - 1]].FitPos, k);
    EXPECT_EQ(fit.FitSlots[slots[k - 1]].FitSelected, 1);
  }
  for (int slot : {0, 1, 7, 10, 16, 28, 29, 51}) {
    EXPECT_EQ(fit.FitSlots[slot].FitPos, 0) << "slot " << slot;
    EXPECT_EQ(fit.FitSlots[slot].FitSelected, 0) << "slot " << slot;
  }
  EXPECT_EQ(fit.FitSlots[0].FitName, "tau_m, [s]  ");
  EXPECT_EQ(fit.FitSlots[16].FitName, "gNa         ");
  EXPECT_EQ(fit.FitSlots[18].FitLower, 0.0001);
  EXPECT_EQ(fit.FitSlots[28].FitLower, -100.0);
  EXPECT_EQ(fit.FitSlots[28].FitUpper, 1e8);
  EXPECT_EQ(fit.FitSlots[29].FitName, "gNeuroML[1] ");  // the imported channels' conductances
  EXPECT_EQ(fit.FitSlots[36].FitName, "gNeuroML[8] ");
  EXPECT_EQ(fit.FitSlots[37].FitName, "");
}

std::vector<std::string> Marked(const FitTable& fit) {
  std::vector<std::string> items;
  for (int slot = 0; slot < kDefinedFitSlots; ++slot) {
    if (fit.MenuChecked[slot]) items.emplace_back(FitParameters()[slot].menuItem);
  }
  return items;
}

TEST(FitTable, MenuCommandsKeepTheLeakReversalMark) {
  FitTable fit;
  SelectFitParameters(fit, std::vector<std::string>{"VL[1]", "gNa[1]", "b2K"});
  MarkKCurrentFit(fit);
  EXPECT_EQ(Marked(fit), (std::vector<std::string>{"gK", "VL[1]", "a1K", "a2K", "a3K", "b1K", "b3K"}));
  ClearFitMarks(fit);
  EXPECT_EQ(Marked(fit), (std::vector<std::string>{"VL[1]"}));
}

TEST(FitTable, ParametersAreChosenByMenuItemOrFieldName) {
  FitTable fit;
  SelectFitParameters(fit, std::vector<std::string>{"gNa", "tau", "gL[1]", "tau_m"});
  EXPECT_EQ(Marked(fit), (std::vector<std::string>{"tau", "gNa[1]", "gL[1]"}));
  try {
    SelectFitParameters(fit, std::vector<std::string>{"gK", "gNaa"});
    FAIL() << "an unknown name was accepted";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("\"gNaa\""), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("gNa[1]"), std::string::npos) << e.what();
  }
  EXPECT_EQ(Marked(fit), (std::vector<std::string>{"tau", "gNa[1]", "gL[1]"}));  // unchanged
}

TEST(FitTable, StartValuesAreClampedIntoTheBounds) {
  FitTable fit;
  SelectFitParameters(fit, std::vector<std::string>{"gK", "gL", "VK"});
  CollectFitSelection(fit);
  NeuronProperties np;
  np.gK = -3.0;
  np.gL = 0.0;
  np.VK = -0.08;
  FitFromRecord(fit, np);
  EXPECT_EQ(fit.FitX[1], 0.0);
  EXPECT_EQ(fit.FitX[2], 0.0001);
  EXPECT_EQ(fit.FitX[3], -0.08);
  FitToRecord(fit, np);
  EXPECT_EQ(np.gL, 0.0001);
}

// ---------------------------------------------------------------------------
// The minimiser on small analytic objectives

class TestProblem : public SimplexProblem {
 public:
  explicit TestProblem(std::function<double(std::span<const double>)> f) : f_(std::move(f)) {}
  double Objective(std::span<const double> x) override {
    points.emplace_back(x.begin(), x.end());
    return f_(x);
  }
  double Tolerance() const override { return tolerance; }
  bool StopRequested() const override { return stopAfterPass > 0 && passes.size() >= stopAfterPass; }
  void Pass(const SimplexPass& pass) override {
    passes.push_back(pass);
    bestVertices.emplace_back(pass.bestVertex.begin(), pass.bestVertex.end());
  }
  double tolerance = 1e-10;
  std::size_t stopAfterPass = 0;
  std::vector<std::vector<double>> points;  // every evaluated point, in order
  std::vector<SimplexPass> passes;
  std::vector<std::vector<double>> bestVertices;

 private:
  std::function<double(std::span<const double>)> f_;
};

TEST(Simplex, FirstPassTakesTheTrialStepTheValuesCallFor) {
  // Start x0 = 1 (and 1 in 2-D): vertex 1 is 1.11 (x 1.12 for the second
  // coordinate of vertex 2), the last vertex is x0. The trial points below
  // follow from reflecting the highest vertex through the centre of the others,
  // expanding to twice that, or contracting halfway.
  const auto bumpAt1055 = [](std::span<const double> x) {
    return std::abs(x[0] - 1.11) + (std::abs(x[0] - 1.055) < 1e-3 ? 1.0 : 0.0);
  };
  const struct {
    const char* step;
    std::vector<double> x0;
    std::function<double(std::span<const double>)> f;
    std::vector<std::vector<double>> trials;  // points evaluated in the first pass
    int nfunk;
  } cases[] = {
      // 1.11 is highest; reflection to 0.89 beats the lowest, expansion to 0.78.
      {"expansion", {1.0}, [](std::span<const double> x) { return x[0]; }, {{0.89}, {0.78}}, 2},
      // 1.0 is highest; reflection to 1.22 is worse than every other vertex,
      // contraction to 1.055 is kept.
      {"contraction",
       {1.0},
       [](std::span<const double> x) { return std::abs(x[0] - 1.08); },
       {{1.22}, {1.055}},
       2},
      // The contraction is worse than the highest vertex: every vertex but the
      // lowest moves halfway to it, (1 + 1.11) / 2.
      {"shrink", {1.0}, bumpAt1055, {{1.22}, {1.055}, {1.055}}, 3},
      // (1.11, 1) is highest, (1, 1) lowest; the reflection (0.89, 1.12) lies
      // between the lowest and the next-highest vertex and is kept alone.
      {"reflection",
       {1.0, 1.0},
       [](std::span<const double> x) { return 100.0 * (x[0] - 0.944) * (x[0] - 0.944) + x[1]; },
       {{0.89, 1.12}},
       1},
  };
  for (const auto& c : cases) {
    TestProblem problem(c.f);
    problem.stopAfterPass = 1;
    Minimise(c.x0, problem);
    const std::size_t start = c.x0.size() + 1;
    ASSERT_EQ(problem.points.size(), start + c.trials.size()) << c.step;
    for (std::size_t i = 0; i < c.trials.size(); ++i) {
      for (std::size_t j = 0; j < c.x0.size(); ++j) {
        EXPECT_NEAR(problem.points[start + i][j], c.trials[i][j], 1e-12) << c.step << ", trial " << i;
      }
    }
    ASSERT_EQ(problem.passes.size(), 1u) << c.step;
    EXPECT_EQ(problem.passes[0].nfunk, c.nfunk) << c.step;
  }
}

double Rosenbrock(std::span<const double> x) {
  double f = 0;
  for (std::size_t i = 0; i + 1 < x.size(); ++i) {
    f += 100 * std::pow(x[i + 1] - x[i] * x[i], 2) + std::pow(1 - x[i], 2);
  }
  return f + 1.0;  // a minimum of 1 keeps the relative tolerance meaningful
}

TEST(Simplex, FindsTheMinimumAndCountsEveryEvaluation) {
  TestProblem problem(Rosenbrock);
  problem.tolerance = 1e-14;
  const std::vector<double> x0 = {-1.2, 1.0, 0.5};
  const SimplexResult r = Minimise(x0, problem);
  EXPECT_FALSE(r.stopped);
  for (double xi : r.x) EXPECT_NEAR(xi, 1.0, 1e-4);
  EXPECT_NEAR(r.value, 1.0, 1e-10);
  EXPECT_EQ(r.value, Rosenbrock(r.x));
  // A pass costs 1 (reflection), 2 (expansion or contraction) or n + 2 (shrink)
  // evaluations, and nfunk is the evaluations after the start's n + 1.
  const int n = static_cast<int>(x0.size());
  int previous = 0;
  for (const SimplexPass& pass : problem.passes) {
    const int cost = pass.nfunk - previous;
    EXPECT_TRUE(cost == 1 || cost == 2 || cost == n + 2 || (cost == 0 && &pass == &problem.passes.back()))
        << "pass " << pass.pass << " cost " << cost;
    previous = pass.nfunk;
  }
  EXPECT_EQ(r.nfunk, static_cast<int>(problem.points.size()) - (n + 1));
  EXPECT_EQ(r.passes, static_cast<int>(problem.passes.size()));
}

TEST(Simplex, EqualValuesOrNoCoordinatesEndInTheFirstPass) {
  for (const std::vector<double>& x0 : {std::vector<double>{2.0, 3.0}, std::vector<double>{}}) {
    TestProblem problem([](std::span<const double>) { return 5.0; });
    const SimplexResult r = Minimise(x0, problem);
    EXPECT_EQ(r.passes, 1);
    EXPECT_EQ(r.nfunk, 0);
    EXPECT_EQ(problem.points.size(), x0.size() + 1);
    EXPECT_FALSE(r.stopped);
    // The first vertex with the lowest value is vertex 1 itself.
    if (!x0.empty()) {
      EXPECT_EQ(r.x, (std::vector<double>{2.0 * 1.11, 3.0}));
    }
  }
}

TEST(Simplex, ToleranceIsReadAtEveryPass) {
  struct Loosening final : TestProblem {
    using TestProblem::TestProblem;
    double Tolerance() const override { return passes.size() >= 4 ? 10.0 : 1e-300; }
  } problem(Rosenbrock);
  const SimplexResult r = Minimise(std::vector<double>{-1.2, 1.0}, problem);
  EXPECT_EQ(r.passes, 5);
  EXPECT_FALSE(r.stopped);
}

TEST(Simplex, StopEndsBeforeTheNextEvaluationWithTheBestVertexFirst) {
  // Vertex 2, (1, 1.12), is the minimum; the first pass reflects vertex 1 to
  // (0.89, 1.12), which is kept as vertex 1 although vertex 2 stays better.
  TestProblem problem(
      [](std::span<const double> x) { return (x[0] - 1.0) * (x[0] - 1.0) + (x[1] - 1.12) * (x[1] - 1.12); });
  problem.stopAfterPass = 1;
  const SimplexResult r = Minimise(std::vector<double>{1.0, 1.0}, problem);
  EXPECT_TRUE(r.stopped);
  EXPECT_EQ(r.passes, 1);
  EXPECT_EQ(static_cast<int>(problem.points.size()), 3 + r.nfunk);
  EXPECT_EQ(r.x, problem.bestVertices[0]);
  EXPECT_NEAR(r.x[1], 1.12, 1e-15);
  EXPECT_EQ(r.value, problem.passes[0].best);
}

TEST(Simplex, ValuesThatAreNotNumbersCountAsPenalty) {
  // Beyond x = 2 the objective has no value; the minimum at x = 1.5 is found.
  TestProblem problem([](std::span<const double> x) {
    return x[0] > 2.0 ? std::nan("") : 1.0 + (x[0] - 1.5) * (x[0] - 1.5);
  });
  const SimplexResult r = Minimise(std::vector<double>{1.9}, problem);
  EXPECT_NEAR(r.x[0], 1.5, 1e-4);
}

TEST(Simplex, MoreThan26CoordinatesAreAnError) {
  TestProblem problem(Rosenbrock);
  EXPECT_THROW(Minimise(std::vector<double>(27, 1.0), problem), RangeError);
  EXPECT_TRUE(problem.points.empty());
}

// ---------------------------------------------------------------------------
// Memo lines

TEST(FitDisplay, ProgressLineAndFitVector) {
  EXPECT_EQ(SimplexProgressLine(12, 0.0123), "nfunk=  12,  F=  1.230E-02");
  Session s;
  std::vector<std::string> names = {"tau", "ro", "gNaR", "a1NaR", "a2NaR", "a3NaR", "b1NaR", "b2NaR", "VK"};
  SelectFitParameters(s.fit, names);
  CollectFitSelection(s.fit);
  const double values[] = {0.0005, 2.5, 120.0, 0.1, 25.0, -10.0, 4.0, 0.0, -0.072};
  for (int k = 1; k <= 9; ++k) s.fit.FitX[k] = values[k - 1];
  ShowFitVector(s);
  ASSERT_EQ(s.CoeMemo.size(), 4u);
  EXPECT_EQ(s.CoeMemo[0],
            "       tau_m, [s]    ro            gNaR          a1NaR         a2NaR         a3NaR         b1NaR"
            "         b2NaR       ");
  EXPECT_EQ(
      s.CoeMemo[1],
      "  5.0000E-04,       2.5000,     120.0000,       0.1000,      25.0000,     -10.0000,       4.0000,"
      "  0.0000E+00,");
  EXPECT_EQ(s.CoeMemo[2], "      VK          ");
  EXPECT_EQ(s.CoeMemo[3], "   -0.072,");
}

// ---------------------------------------------------------------------------
// Fits of a neuron to recordings

// A temporary folder for one test's files, removed at the end.
class FitFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("membrix-simplex-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
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

  // A Rariza neuron in current clamp, a 1 nA pulse from 2 ms to 17 ms of a
  // 20 ms run (two spikes), compared with the recording "rec1.dat".
  std::string RarizaParameterFile(const std::string& extra = {}) const {
    return "CommonParametersFromFile\n"
           "NSmpls := 1;\n"
           "NP0.HH_type := 'Rariza';\n"
           "NP0.HH_order := '1-point';\n"
           "t_end := 0.02;\n"
           "Iind := 1000;  t_IindShift := 0.002;  t_Iind := 0.015;\n"
           "MembrixPhysParameters\n"
           "NP0.If_I_V_or_g := 2;\n" +
           extra +
           "KeepParams=0\n"
           "ParametersFromFile\n"
           "SmplFile[Smpl] := 'rec1.dat';\n"
           "end.\n";
  }

  // Runs the parameter file's neuron as it stands and writes its model trace
  // as the recording: t in ms and V - Vrest in volts, every step.
  void RecordModel(const std::string& idFile) {
    Write("rec1.dat", "0 0\n");
    Session s;
    ApplyProgramStart(s);
    LoadParameterFile(s, Path(idFile));
    BatchHost host;
    NullRunViewSink views;
    RunClamp(s, host, views);
    std::string text;
    for (int n = 1; n <= s.run.nt; ++n) {
      AppendFixed(text, n * s.run.dt * 1000.0, 10, 5);
      text += ' ';
      AppendScientific(text, s.ModelData(n, 1), 24);
      text += '\n';
    }
    Write("rec1.dat", text);
  }

  fs::path dir_;
};

// Records NP0 at every run of a fit and can stop the fit after a pass.
class WatchingHost final : public Host {
 public:
  explicit WatchingHost(const Session& s) : s_(s) {}
  bool Confirm(const std::string&) override { return true; }
  bool StopRequested() const override { return stop; }
  void ShowParameters() override { runs.push_back(s_.NP0); }
  bool stop = false;
  std::vector<NeuronProperties> runs;  // twice per run, and once per pass

 private:
  const Session& s_;
};

class StopAfterFirstPass final : public FitProgress {
 public:
  explicit StopAfterFirstPass(WatchingHost& host) : host_(host) {}
  void Pass(const SimplexPass& pass, const std::string& line) override {
    best.assign(pass.bestVertex.begin(), pass.bestVertex.end());
    lines.push_back(line);
    host_.stop = true;
  }
  std::vector<double> best;
  std::vector<std::string> lines;

 private:
  WatchingHost& host_;
};

TEST_F(FitFiles, RecoversTheConductancesOfASyntheticRecording) {
  Write("rariza.id", RarizaParameterFile());
  RecordModel("rariza.id");  // at the Rariza values gNa = 120, gK = 36

  Session s;
  ApplyProgramStart(s);
  LoadParameterFile(s, Path("rariza.id"));
  SelectFitParameters(s.fit, std::vector<std::string>{"gNa", "gK"});
  CollectFitSelection(s.fit);
  s.NP0.gNa = 120.0 * 1.2;
  s.NP0.gK = 36.0 * 0.8;
  s.fit.Tolerance = 1e-3;
  BatchHost host;
  NullRunViewSink views;
  const SimplexResult r = RunSimplex(s, host, views);
  // A 0.1 % change of either conductance already costs 40 to 75 uV of RMS
  // deviation, while the rest each run finds (to 1e-7 V) limits the fit to a
  // fraction of a microvolt: the trace is reproduced within 1 uV, and both
  // conductances within 0.1 % of the values behind the recording.
  EXPECT_LT(r.value, 1e-6);
  EXPECT_NEAR(s.NP0.gNa, 120.0, 0.12);
  EXPECT_NEAR(s.NP0.gK, 36.0, 0.036);
  EXPECT_FALSE(r.stopped);
  EXPECT_EQ(s.NP0.gNa, r.x[0]);
  EXPECT_EQ(s.NP0.gK, r.x[1]);
  EXPECT_EQ(s.rec.Smpl, 1);
  EXPECT_EQ(s.SimplexMemo.back(), "Stop Simplex.");
  EXPECT_EQ(static_cast<int>(s.SimplexMemo.size()), r.passes + 1);

  // The fitted values read back through a parameter file give the same model.
  Write("fitted.id", FitParameterFileText(s, r.x, "fitted"));
  Session back;
  ApplyProgramStart(back);
  LoadParameterFile(back, Path("fitted.id"));
  EXPECT_EQ(back.NP0.HH_type, "Rariza");
  EXPECT_EQ(back.NP0.gNa, r.x[0]);
  EXPECT_EQ(back.NP0.gK, r.x[1]);
}

TEST_F(FitFiles, PointsOutsideTheBoundsAreNeverRun) {
  // The recording is made without K current: the best gK is the bound 0, and
  // the simplex reaches below it.
  Write("rariza.id", RarizaParameterFile("NP0.gK := 0;\n"));
  RecordModel("rariza.id");
  Write("rariza.id", RarizaParameterFile());

  Session s;
  ApplyProgramStart(s);
  LoadParameterFile(s, Path("rariza.id"));
  SelectFitParameters(s.fit, std::vector<std::string>{"gK"});
  CollectFitSelection(s.fit);
  s.NP0.gK = 3.0;
  s.fit.Tolerance = 1e-3;
  WatchingHost host(s);
  NullRunViewSink views;
  const SimplexResult r = RunSimplex(s, host, views);
  ASSERT_FALSE(host.runs.empty());
  for (const NeuronProperties& np : host.runs) ASSERT_GE(np.gK, 0.0);
  EXPECT_LT(r.x[0], 0.1);
}

TEST_F(FitFiles, StopAfterTheFirstPassLeavesTheBestVertexInTheParameters) {
  Write("rariza.id", RarizaParameterFile());
  RecordModel("rariza.id");

  Session once;
  ApplyProgramStart(once);
  LoadParameterFile(once, Path("rariza.id"));
  SelectFitParameters(once.fit, std::vector<std::string>{"gNa", "gK"});
  CollectFitSelection(once.fit);
  // Vertex 2 (gK x 1.12) holds the values of the recording; the pass replaces
  // the worse vertex 1, which stays worse than vertex 2.
  once.NP0.gK = 36.0 / 1.12;
  WatchingHost stopping(once);
  NullRunViewSink views;
  StopAfterFirstPass progress(stopping);
  const SimplexResult first = RunSimplex(once, stopping, views, progress);
  EXPECT_TRUE(first.stopped);
  EXPECT_EQ(first.passes, 1);
  EXPECT_EQ(first.x, progress.best);
  EXPECT_EQ(once.NP0.gNa, progress.best[0]);
  EXPECT_EQ(once.NP0.gK, progress.best[1]);
  EXPECT_EQ(once.SimplexMemo, (std::vector<std::string>{progress.lines[0], "Stop Simplex."}));
}

TEST_F(FitFiles, ObjectiveAddsTheScaledDeviationsOfEveryRecording) {
  Write("rariza.id", RarizaParameterFile());
  RecordModel("rariza.id");
  // Recording 2 is compared with the same file after a weaker pulse; each
  // deviation is divided by 4.
  std::string text = RarizaParameterFile();
  text.replace(text.find("NSmpls := 1;"), 12, "NSmpls := 2;  sc_Simplex := 4;");
  text.replace(text.find("end."), 4,
               "ParametersFromFile2\nIind := 500;\nSmplFile[Smpl] := 'rec1.dat';\nend.");
  Write("two.id", text);

  Session s;
  ApplyProgramStart(s);
  LoadParameterFile(s, Path("two.id"));
  SelectFitParameters(s.fit, std::vector<std::string>{"gNa"});
  CollectFitSelection(s.fit);
  BatchHost host;
  NullRunViewSink views;
  const std::vector<double> x = {110.0};
  const double F = FitObjective(s, host, views, x);
  EXPECT_EQ(s.rec.Smpl, 2);
  EXPECT_EQ(s.NP0.gNa, 110.0);

  double sum = 0;
  for (int k = 1; k <= 2; ++k) {
    Session one;
    ApplyProgramStart(one);
    LoadParameterFile(one, Path("two.id"));
    one.NP0.gNa = 110.0;
    one.rec.Smpl = k;
    sum += RunClamp(one, host, views);
  }
  EXPECT_GT(F, 0.0);
  // Each run looks for the rest from the rest the run before found, to 1e-7 V.
  EXPECT_NEAR(F, sum / 4.0, 1e-5 * sum);

  // Outside the bounds nothing runs and NP0 keeps its values.
  s.run.nt = 0;
  EXPECT_EQ(FitObjective(s, host, views, std::vector<double>{-1.0}), kFitPenalty);
  EXPECT_EQ(s.run.nt, 0);
  EXPECT_EQ(s.NP0.gNa, 110.0);
}

TEST_F(FitFiles, BadRequestsFailBeforeAnyRun) {
  Write("rec1.dat", "0 0\n1 0\n");
  Write("rariza.id", RarizaParameterFile());
  std::string noFile = RarizaParameterFile();
  noFile.replace(noFile.find("'rec1.dat'"), 10, "'NoFile'");
  Write("nofile.id", noFile);
  std::string none = RarizaParameterFile();
  none.replace(none.find("NSmpls := 1"), 11, "NSmpls := 0");
  Write("none.id", none);
  std::string unscaled = RarizaParameterFile();
  unscaled.replace(unscaled.find("end."), 4, "sc_Simplex := 0;\nend.");
  Write("unscaled.id", unscaled);
  std::string missing = RarizaParameterFile();
  missing.replace(missing.find("'rec1.dat'"), 10, "'absent.dat'");
  Write("missing.id", missing);

  const struct {
    const char* what;
    const char* file;
    std::vector<std::string> fit;  // empty = nothing ticked
    const char* message;
  } cases[] = {
      {"empty selection", "rariza.id", {}, "no parameter is selected"},
      {"too many", "rariza.id", {"all"}, "at most 26"},
      {"no recordings", "none.id", {"gNa"}, "NSmpls = 0"},
      {"no recording file", "nofile.id", {"gNa"}, "names no recording file"},
      {"scale 0", "unscaled.id", {"gNa"}, "sc_Simplex must be a positive number"},
      {"unreadable recording", "missing.id", {"gNa"}, "absent.dat"},
  };
  for (const auto& c : cases) {
    Session s;
    ApplyProgramStart(s);
    LoadParameterFile(s, Path(c.file));
    if (c.fit.size() == 1 && c.fit[0] == "all") {
      s.fit.MenuChecked.fill(true);
    } else {
      SelectFitParameters(s.fit, c.fit);
    }
    CollectFitSelection(s.fit);
    const NeuronProperties before = s.NP0;
    WatchingHost host(s);
    NullRunViewSink views;
    try {
      RunSimplex(s, host, views);
      ADD_FAILURE() << c.what << ": the fit ran";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.what << ": " << e.what();
    }
    EXPECT_TRUE(host.runs.empty()) << c.what;
    EXPECT_EQ(s.NP0.gNa, before.gNa) << c.what;
  }
}

TEST_F(FitFiles, ParameterFilesTakeBackTheFittedValuesTheyCan) {
  Session s;
  s.fit.MenuChecked.fill(true);
  CollectFitSelection(s.fit);
  s.NP0.HH_type = "Cummins";
  s.NP0.HH_order = "2-points";
  std::vector<double> x;
  for (int k = 1; k <= s.fit.FitCount; ++k) x.push_back(1000.0 + k);  // no default holds these
  Write("fitted.id", FitParameterFileText(s, x, "all of them {x}"));

  Session back;
  ApplyProgramStart(back);
  LoadParameterFile(back, Path("fitted.id"));
  EXPECT_EQ(back.NP0.HH_type, "Cummins");
  EXPECT_EQ(back.NP0.HH_order, "2-points");
  for (int k = 1; k <= s.fit.FitCount; ++k) {
    const FitParameter& p = FitParameterAt(s.fit, k);
    const bool taken = FitValue(back.NP0, p) == x[k - 1];
    // An imported channel's conductance is a comment: the file names no channel.
    EXPECT_EQ(taken, p.inParameterFiles && p.imported < 0) << p.field;
  }
  EXPECT_TRUE(back.NP0.Imported.empty());
}

// An imported channel's conductance is fitted as the built-in ones are,
// named by its slot or by the channel's id.
TEST_F(FitFiles, RecoversTheConductanceOfAnImportedChannel) {
  fs::copy_file(std::string(MEMBRIX_SOURCE_DIR) + "/resources/neuroml/squid_axon.nml", Path("squid_axon.nml"));
  Write("rariza.id", RarizaParameterFile("NP0.gK := 0;\nNeuroMLChannel[1] := 'squid_axon.nml(k_squid)';\n"
                                         "gNeuroML[1] := 36;  ENeuroML[1] := -0.072;\n"));
  RecordModel("rariza.id");

  Session s;
  ApplyProgramStart(s);
  LoadParameterFile(s, Path("rariza.id"));
  EXPECT_EQ(FitNameOfChannel(s.NP0, "gNeuroML[k_squid]"), "gNeuroML[1]");
  EXPECT_EQ(FitNameOfChannel(s.NP0, "gNeuroML[na_squid]"), "gNeuroML[na_squid]");  // not in the model
  SelectFitParameters(s.fit, std::vector<std::string>{FitNameOfChannel(s.NP0, "gNeuroML[k_squid]")});
  CollectFitSelection(s.fit);
  s.NP0.Imported[0].g = 36.0 * 0.8;
  s.fit.Tolerance = 1e-4;
  BatchHost host;
  NullRunViewSink views;
  const SimplexResult r = RunSimplex(s, host, views);
  EXPECT_LT(r.value, 1e-6);
  EXPECT_NEAR(s.NP0.Imported[0].g, 36.0, 0.036);
  EXPECT_EQ(s.NP0.Imported[0].g, r.x[0]);
  // The fitted file, the parameter file with the fitted value, reads back.
  Write("fitted.id", FittedParameterFileText(s.rec.IdFileText, s, r.x, "fitted"));
  Session back;
  ApplyProgramStart(back);
  LoadParameterFile(back, Path("fitted.id"));
  ASSERT_EQ(back.NP0.Imported.size(), 1u);
  EXPECT_EQ(back.NP0.Imported[0].g, r.x[0]);

  // A fit of a channel the model does not have fails before any run.
  SelectFitParameters(s.fit, std::vector<std::string>{"gNeuroML[2]"});
  CollectFitSelection(s.fit);
  EXPECT_THROW(RunSimplex(s, host, views), Error);
}

}  // namespace
}  // namespace membrix
