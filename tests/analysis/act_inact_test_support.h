#pragma once
// A session set for the voltage-clamp protocols of the activation and
// inactivation curves, with the 41 recordings written into a folder of its
// own, and a host and a sink that record what the commands do.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "analysis/act_inact.h"
#include "common/number_format.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "run/session.h"

namespace membrix::testing {

inline std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Counts the breathing points, stops after a given number, answers as told.
class ScriptedHost final : public Host {
 public:
  explicit ScriptedHost(bool answer = true) : answer_(answer) {}
  void ProcessEvents() override { ++yields; }
  bool StopRequested() const override { return stopAfter > 0 && yields >= stopAfter; }
  bool Confirm(const std::string& question) override {
    asked = question;
    return answer_;
  }
  long yields = 0;
  long stopAfter = 0;
  std::string asked;

 private:
  bool answer_;
};

class RecordingSink : public ActInactSink {
 public:
  struct Point {
    ActInactCurve curve;
    double x, y;
  };
  void Clear(ActInactCurve c) override { cleared.push_back(c); }
  void AddPoint(ActInactCurve c, double x, double y) override { points.push_back({c, x, y}); }
  void PlaceLegend(ActInactPlot p, const std::string& corner) override { legends.emplace_back(p, corner); }
  int Count(ActInactCurve c) const { return static_cast<int>(Curve(c).size()); }
  std::vector<Point> Curve(ActInactCurve c) const {
    std::vector<Point> out;
    for (const Point& p : points)
      if (p.curve == c) out.push_back(p);
    return out;
  }
  Point Last(ActInactCurve c) const { return Curve(c).back(); }
  std::vector<Point> points;
  std::vector<ActInactCurve> cleared;
  std::vector<std::pair<ActInactPlot, std::string>> legends;
};

// Recording value of protocol k (1 ... 41, in run order) at model row `row`.
using RecordingShape = std::function<double(int k, int row)>;

// Writes the 41 recordings below `start` with one point per model step of dt,
// time in ms.
inline void WriteActInactRecordings(const std::string& start, const RecordingShape& shape, double dt, int rows) {
  for (int r = -kActInactHalf, k = 1; r <= kActInactHalf; ++r, ++k) {
    const std::filesystem::path path = ActInactRecordingPath(start, r);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path);
    for (int row = 0; row <= rows; ++row) out << Fixed(row * dt * 1000.0, 9, 4) << ' ' << Fixed(shape(k, row), 12, 4) << '\n';
  }
}

// A session of the "Rariza" family under voltage clamp with every current but
// the NaR one blocked, 40 steps of 0.05 ms, the step starting at 0.5 ms.
inline void SetActInactSession(Session& s) {
  ApplyProgramStart(s);
  SelectModelFamily(s, "Rariza");
  SelectClampMode(s, "VC");
  NeuronProperties& np = s.NP0;
  np.IfBlockNa = np.IfBlockK = np.IfBlockKM = np.IfBlockKA = np.IfBlockPass = 1;
  np.IfBlockNaR = 0;
  if (np.gNaR == 0.0) np.gNaR = 10.0;
  s.stim.Iind = s.stim.uu = s.stim.ss = s.stim.Freq_Iind = 0.0;
  s.stim.t_IindShift = 0.0;
  s.stim.t_Iind = 1.0;
  s.rec.IfDataIn1column = 0;
  s.rec.scx_Smpl = 0.001;
  s.rec.DataFormat = 1;
  s.rec.NSmpls = 1;
  SetTimeStep(s.run, 5e-5);
  SetRunLength(s.run, 0.002);
  s.run.n_Draw = 5;
}

class ActInactFixture : public ::testing::Test {
 protected:
  ActInactFixture() {
    static int counter = 0;
    folder_ = std::filesystem::temp_directory_path() /
              ("membrix_actinact_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(folder_);
    SetActInactSession(s);
    WriteRecordings([](int, int) { return 0.0; }, s.run.dt);
  }
  ~ActInactFixture() override { std::filesystem::remove_all(folder_); }

  std::string Folder(const std::string& name) const { return (folder_ / name).string(); }
  // Recordings long enough for the run's steps at step dt.
  void WriteRecordings(const RecordingShape& shape, double dt) {
    WriteActInactRecordings(folder_.string(), shape, dt, static_cast<int>(s.run.nt_end) + 2);
  }
  void Calc(Host& h) { CalcPeaks(s, folder_.string(), peaks, traces, state, h, sink); }

  Session s;
  ActInactPeaks peaks;
  ActInactTraces traces;
  ActInactState state;
  ScriptedHost host;
  RecordingSink sink;

 private:
  std::filesystem::path folder_;
};

}  // namespace membrix::testing
