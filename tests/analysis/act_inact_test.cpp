#include "analysis/act_inact.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <vector>

#include "analysis/act_inact_test_support.h"
#include "channels/channel.h"
#include "common/error.h"
#include "run/session.h"

namespace membrix {
namespace {

using testing::ActInactFixture;
using testing::Lines;
using testing::RecordingSink;

TEST(MaxAbsInRange, KeepsTheSignOfTheFirstLargestMagnitude) {
  const std::vector<double> a = {7.0, 1.0, -5.0, 4.0, 5.0, -3.0, 3.0, 0.0, 0.0};
  const struct {
    int from, to;
    double expected;
    const char* what;
  } cases[] = {
      {1, 4, -5.0, "sign kept"},         {2, 4, -5.0, "first of equal magnitudes wins"},
      {5, 6, -3.0, "first of -3 and 3"}, {7, 8, 0.0, "all zeros"},
      {4, 3, 0.0, "empty range"},        {0, 8, 7.0, "whole array"},
      {-3, 0, 7.0, "clipped to the array"},
  };
  for (const auto& c : cases) EXPECT_EQ(MaxAbsInRange(a, c.from, c.to), c.expected) << c.what;
}

TEST(ActInactProtocol, LevelsAndRecordingNames) {
  const struct {
    int r;
    double Vrest, Vh;
    const char* file;
    const char* folder;
  } cases[] = {
      {-20, -0.1, 0.05, "a50.d", kActivationFolder},       {-15, -0.1, 0.025, "a25.d", kActivationFolder},
      {0, -0.1, -0.05, "a-50.d", kActivationFolder},       {1, -0.11, 0.0, "a-110.d", kInactivationFolder},
      {20, -0.015, 0.0, "a-15.d", kInactivationFolder},
  };
  for (const auto& c : cases) {
    const ActInactProtocol p = ActInactProtocolOf(c.r);
    EXPECT_NEAR(p.Vrest, c.Vrest, 1e-12) << c.r;
    EXPECT_NEAR(p.Vh, c.Vh, 1e-12) << c.r;
    EXPECT_EQ(p.V, c.r > 0 ? p.Vrest : p.Vh) << c.r;
    const std::filesystem::path expected =
        std::filesystem::path("start") / std::filesystem::path(c.folder) / c.file;
    EXPECT_EQ(ActInactRecordingPath("start", c.r), expected.lexically_normal().make_preferred().string()) << c.r;
  }
}

TEST(ActInactLegends, MoveLegendsCyclesAndOverridesTheRequestedCorner) {
  int corner = 0;
  std::vector<int> cycle;
  for (int i = 0; i < 6; ++i) cycle.push_back(corner = NextLegendCorner(corner));
  EXPECT_EQ(cycle, (std::vector<int>{1, 2, 3, 4, 5, 1}));
  const struct {
    int corner;
    const char* requested;
    const char* placed;
  } cases[] = {{0, "rt", "rt"}, {1, "rt", "lt"}, {2, "rt", "lb"}, {3, "lb", "rb"}, {4, "lb", "rt"}, {5, "lb", "lb"}};
  for (const auto& c : cases) EXPECT_EQ(LegendPlacement(c.corner, c.requested), c.placed) << c.corner;
}

// ---- The peak computation on recordings of a fixture -------------------------------

TEST_F(ActInactFixture, SavedPeaksHave21ActivationAnd20InactivationLines) {
  for (int mode : {1, 2}) {
    const std::string path = Folder("peaks" + std::to_string(mode) + ".dat");
    testing::ScriptedHost yes(true);
    SaveActInact(state, path, mode, yes, [&] { Calc(host); });
    const std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), mode == 1 ? 21u : 20u);
    EXPECT_EQ(lines.front().substr(0, 9), mode == 1 ? "   50.000" : " -110.000");
    EXPECT_EQ(lines.back().substr(0, 9), mode == 1 ? "  -50.000" : "  -15.000");
    EXPECT_EQ(lines.front()[9], ' ') << "fields of 9, one blank apart";
    EXPECT_EQ(yes.asked, std::string(mode == 1 ? kNoteActivationG : kNoteInactivationI) + ". OK?");
    EXPECT_EQ(state.ActInactSaveMode, 0);
  }
}

TEST_F(ActInactFixture, AProtocolRunsAllItsSteps) {
  SetTimeStep(s.run, 1e-5);
  SetRunLength(s.run, 0.30000001);  // 30000 steps, past the 25000 the program once stopped at
  // The first protocol runs to its end; the second is stopped at its first step.
  host.stopAfter = 30001;
  Calc(host);
  EXPECT_TRUE(peaks.done[0]);
  EXPECT_FALSE(peaks.done[1]);
  EXPECT_EQ(host.yields, 30001);
}

TEST_F(ActInactFixture, RecordedPeaksAreSearchedFromTheSecondMillisecondOn) {
  const struct {
    double dt;
    int k0;
  } cases[] = {{1e-5, 100}, {5e-5, 20}};
  for (const auto& c : cases) {
    SetTimeStep(s.run, c.dt);
    SetRunLength(s.run, 3 * c.k0 * c.dt);
    // Larger at the step before the first searched one than at that step.
    WriteRecordings([&](int, int row) { return row == c.k0 - 1 ? -900.0 : row == c.k0 ? -40.0 : 0.0; }, c.dt);
    Calc(host);
    for (int r : {-20, 0, 20}) EXPECT_DOUBLE_EQ(peaks.Iexp[r], -40.0) << "dt " << c.dt << ", r " << r;
  }
}

TEST_F(ActInactFixture, ModelPeaksAreSearchedFromStepTwo) {
  // Only the leak, reversing at 0 V: at step 1 the membrane is still at the
  // holding level of -100 mV, which draws more current than any step level.
  s.NP0.IfBlockPass = 0;
  s.NP0.IfBlockNaR = 1;
  s.NP0.VL = 0.0;
  const double pAperV = s.NP0.gL * s.NP0.Square * 1e9;
  Calc(host);
  for (int r : {-20, -10, 0}) {
    const double Vh = ActInactProtocolOf(r).Vh;
    EXPECT_NEAR(peaks.Imod[r], -Vh * pAperV, 1e-9 * pAperV) << r;
    EXPECT_NEAR(peaks.gmod[r], Vh * pAperV / (Vh - s.NP0.VNaR), 1e-9 * pAperV / 0.1) << r;
  }
}

TEST_F(ActInactFixture, RecordedConductanceNearTheReversalIsZero) {
  s.NP0.VNaR = 0.0495;  // within 2 mV of the +50 mV step only
  WriteRecordings([](int, int row) { return row == 30 ? -100.0 : 0.0; }, s.run.dt);
  s.NP0.IfBlockPass = 0;
  s.NP0.VL = 0.0;
  Calc(host);
  EXPECT_EQ(peaks.gexp[-20], 0.0);
  EXPECT_NE(peaks.gmod[-20], 0.0);
  EXPECT_NEAR(peaks.gexp[-19], 100.0 / (0.045 - 0.0495), 1e-6);
}

TEST_F(ActInactFixture, StopEndsTheRunWithoutPeaksForTheStoppedAndLaterProtocols) {
  host.stopAfter = 2 * s.run.nt_end + 3;  // during the third protocol
  Calc(host);
  EXPECT_EQ(sink.Count(ActInactCurve::PeakExp), 2);
  EXPECT_EQ(sink.Count(ActInactCurve::PeakAct), 2);
  EXPECT_TRUE(peaks.done[0] && peaks.done[1]);
  EXPECT_FALSE(peaks.done[2]);
  EXPECT_EQ(host.yields, 2 * s.run.nt_end + 3);
}

TEST_F(ActInactFixture, MissingRecordingNamesItsFileAndProtocolAndKeepsEarlierPeaks) {
  std::filesystem::remove(ActInactRecordingPath(Folder(""), 3));
  try {
    Calc(host);
    FAIL() << "no error";
  } catch (const IoError& e) {
    EXPECT_EQ(e.path(), ActInactRecordingPath(Folder(""), 3));
    EXPECT_NE(std::string(e.what()).find("inactivation protocol at -100 mV"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(peaks.done[kActInactHalf + 2]);
  EXPECT_FALSE(peaks.done[kActInactHalf + 3]);
}

TEST_F(ActInactFixture, NormalisedFileDividesEachColumnByItsOwnMaximum) {
  // Recorded current -k·10 pA at row 30 of protocol k (k = 1 ... 41).
  WriteRecordings([](int k, int row) { return row == 30 ? -10.0 * k : 0.0; }, s.run.dt);
  Calc(host);
  const std::string path = Folder("inact_norm.dat");
  testing::ScriptedHost yes(true);
  SaveActInact(state, path, 2, yes, [&] { NormalizePeaks(peaks, state, sink); });
  const std::vector<std::string> lines = Lines(path);
  ASSERT_EQ(lines.size(), 20u);
  // r = 20 is the protocol of largest recorded magnitude among r = 0 ... 20.
  EXPECT_EQ(lines.back().substr(9, 10), "     1.000");
  EXPECT_EQ(yes.asked, std::string(kNoteInactivationNorm) + ". OK?");
  // The plot scales the recording by the model's maximum.
  const double C = peaks.Imod.MaxAbs(0, 20);
  EXPECT_DOUBLE_EQ(sink.Last(ActInactCurve::HExp).y, peaks.Iexp[20] / C);
}

TEST_F(ActInactFixture, SaveAnsweredNoLeavesAnEmptyFileAndNothingToNormaliseIsAnError) {
  const std::string path = Folder("no.dat");
  testing::ScriptedHost no(false);
  SaveActInact(state, path, 1, no, [&] { Calc(host); });
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);

  ActInactPeaks none;
  RecordingSink quiet;
  EXPECT_THROW(SaveActInact(state, path, 1, no, [&] { NormalizePeaks(none, state, quiet); }), Error);
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  EXPECT_EQ(quiet.points.size(), 0u);
  EXPECT_EQ(state.ActInactSaveMode, 0);
}

TEST_F(ActInactFixture, SteadyStateCurvesFollowTheGatesAndRestoreVrest) {
  s.NP0.Vrest = -0.07;
  const std::string path = Folder("mh.dat");
  testing::ScriptedHost yes(true);
  SaveActInact(state, path, 1, yes, [&] { SteadyStateCurves(s, state, sink); });
  EXPECT_EQ(s.NP0.Vrest, -0.07);
  const std::vector<std::string> lines = Lines(path);
  ASSERT_EQ(lines.size(), 161u);
  EXPECT_EQ(lines.front().substr(0, 9), " -110.000");
  EXPECT_EQ(lines.back().substr(0, 9), "   50.000");
  ASSERT_EQ(sink.Count(ActInactCurve::MInf3), 161);
  const auto& m3 = sink.Curve(ActInactCurve::MInf3);
  const auto& h = sink.Curve(ActInactCurve::HInf);
  EXPECT_LT(m3.front().y, 0.01);
  EXPECT_GT(m3.back().y, 0.9);
  EXPECT_GT(h.front().y, 0.9);
  EXPECT_LT(h.back().y, 0.01);
}

TEST_F(ActInactFixture, RateCurvesWriteVoltsAndTimeConstantsOfTheRates) {
  const std::string path = Folder("tau.dat");
  testing::ScriptedHost yes(true);
  SaveActInact(state, path, 1, yes, [&] { RateCurves(s, state, sink); });
  const std::vector<std::string> lines = Lines(path);
  ASSERT_EQ(lines.size(), 81u);
  EXPECT_EQ(lines.front().substr(0, 10), "   -0.110 ");
  EXPECT_EQ(lines.back().substr(0, 10), "    0.050 ");
  EXPECT_EQ(lines.front().size(), 70u) << "seven fields, each followed by a blank";
  EXPECT_EQ(yes.asked, std::string(kNoteTau) + ". OK?");
  const NeuronProperties& np = s.NP0;
  const double v = -40.0 - np.Tr_Na;
  const double am = np.a1NaR * HHRate(np.a2NaR - v, np.a3NaR, np.a4NaR);
  const double bm = np.b1NaR * HHRate(np.b2NaR - v, np.b3NaR, np.b4NaR);
  const auto& tau = sink.Curve(ActInactCurve::TauM);
  EXPECT_NEAR(tau[35].x, -40.0, 1e-9);
  EXPECT_NEAR(tau[35].y, 1.0 / (am + bm), 1e-12);
}

TEST_F(ActInactFixture, RecordingsWithoutAChosenFormatAreReadNegatedAndTheFormatIsLeftAsItWas) {
  WriteRecordings([](int, int row) { return row == 30 ? -100.0 : 0.0; }, s.run.dt);
  const struct {
    int format, after;
    double peak;
  } cases[] = {{0, 0, 100.0}, {1, 1, -100.0}, {2, 2, 100.0}};
  for (const auto& c : cases) {
    s.rec.DataFormat = c.format;
    Calc(host);
    EXPECT_EQ(peaks.Iexp[0], c.peak) << c.format;
    EXPECT_EQ(s.rec.DataFormat, c.after) << c.format;
  }
}

TEST_F(ActInactFixture, DataFolderIsTheStartFolderElseTheParameterFilesFolder) {
  const std::string empty = Folder("empty");
  std::filesystem::create_directories(empty);
  const std::string id = Folder("Act_Inact.id");
  const struct {
    std::string start, idFile, expected;
  } cases[] = {{Folder(""), "", Folder("")},
               {empty, id, Folder("").substr(0, Folder("").size() - 1)},
               {empty, "", empty},
               {empty, empty + "/x.id", empty}};
  for (const auto& c : cases) EXPECT_EQ(ActInactDataFolder(c.start, c.idFile), c.expected) << c.start << " " << c.idFile;
}

}  // namespace
}  // namespace membrix
