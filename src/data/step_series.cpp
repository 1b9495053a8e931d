#include "data/step_series.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/error.h"
#include "common/number_format.h"
#include "data/ramp_analyzer.h"
#include "fiber/fiber.h"
#include "run/clamp_run.h"
#include "run/session.h"

namespace membrix {

namespace {

std::string InFolder(const std::string& folder, const char* name) {
  return folder.empty() ? std::string(name) : (std::filesystem::path(folder) / name).string();
}

void WriteText(const std::string& path, const std::string& text, std::ios::openmode mode) {
  std::ofstream out(path, mode);
  if (!out) throw IoError(path, std::strerror(errno));
  out << text;
  out.close();
  if (!out) throw IoError(path, "could not be written completely");
}

// The minima of the current c(k) over the samples k = 1 ... last whose time
// t(k) lies inside the steps. In double-step mode the first test step ends at
// t2 + d2, and a sample exactly there counts for neither minimum.
template <class Time, class Current>
StepMinima Minima(const StepSeriesInputs& in, std::int64_t last, Time t, Current c) {
  StepMinima m;
  const double b = in.IfDoubleSteps ? in.t2 + in.d2 : in.t3;
  for (std::int64_t k = 1; k <= last; ++k) {
    const double tk = t(k);
    if (!(in.t2 < tk && tk < in.t3)) continue;
    const double ck = c(k);
    if (in.IfDoubleSteps && tk > b && ck < m.Imin2) m.Imin2 = ck;
    if (tk < b && ck < m.Imin) m.Imin = ck;
  }
  return m;
}

}  // namespace

double TestVoltage(const StepSeriesInputs& in, int j, int N) {
  if (N == 0) return in.Vmin;
  return in.Vmin + (in.Vmax - in.Vmin) * j / N;
}

std::string StepProtocolText(const StepSeriesInputs& in, double V) {
  const double h = in.V0;
  const double p = in.V_DepStep;
  const double V2 = in.IfDoubleSteps ? V + in.dV : V;
  const std::string hold = Fixed(h, 3, 0);
  const std::string line7time = Fixed(in.t2 + 0.1, 4, 1);
  std::string text;
  auto line = [&text](const std::string& time, const char* separator, const std::string& value) {
    text += time + separator + value + "\n";
  };
  line("0", "\t\t", hold);
  line(Fixed(in.t1 - 0.1, 4, 1), "   ", hold);
  line(Fixed(in.t1, 4, 1), " \t", Fixed(p, 5, 1));
  line(Fixed(in.t1 + in.d1 - 0.1, 4, 1), "\t  ", Fixed(p, 5, 1));
  line(Fixed(in.t1 + in.d1, 4, 1), "\t\t", hold);
  line(Fixed(in.t2, 4, 1), "\t\t", hold);
  line(line7time, "\t ", Fixed(V, 5, 1));
  line(in.IfDoubleSteps ? Fixed(in.t2 + in.d2, 4, 1) : line7time, " \t ", Fixed(V, 5, 1));
  line(in.IfDoubleSteps ? Fixed(in.t2 + in.d2 + 0.1, 4, 1) : line7time, "\t ", Fixed(V + in.dV, 5, 1));
  line(Fixed(in.t3, 4, 1), " \t ", Fixed(V2, 5, 1));
  line(Fixed(in.t3 + 0.1, 4, 1), "     ", hold);
  line("500", "\t\t", hold);
  return text;
}

namespace {

// The protocol "ramp_.d" is the series' own file: it is read as written (two
// columns, times in ms, values not negated), whatever the recording settings
// of the session, which are given back when the series ends.
class ProtocolReading {
 public:
  explicit ProtocolReading(Session& s)
      : s_(s), DataFormat_(s.rec.DataFormat), IfDataIn1column_(s.rec.IfDataIn1column), scx_Smpl_(s.rec.scx_Smpl) {}
  ~ProtocolReading() {
    s_.rec.DataFormat = DataFormat_;
    s_.rec.IfDataIn1column = IfDataIn1column_;
    s_.rec.scx_Smpl = scx_Smpl_;
  }
  ProtocolReading(const ProtocolReading&) = delete;
  ProtocolReading& operator=(const ProtocolReading&) = delete;
  // Before each run: the run reads its recording after these are set.
  void Apply() {
    s_.rec.DataFormat = 1;
    s_.rec.IfDataIn1column = 0;
    s_.rec.scx_Smpl = 0.001;
  }

 private:
  Session& s_;
  std::int32_t DataFormat_;
  std::int32_t IfDataIn1column_;
  double scx_Smpl_;
};

}  // namespace

StepSeriesResult RunSteps(Session& s, StepSeriesInputs& in, const RampInputs& rampIn, const FiberInputs& fiberIn,
                          Host& host, TRamp& ramp, StepSeriesSink& sink, RunViewSink& views, RampSink& rampSink,
                          const std::string& folder) {
  const int source = in.DataSource;
  if (source < 0 || source > 2) throw RangeError("unknown data source " + std::to_string(source) + " of the steps");
  // The soma of the distributed model follows the protocol as the single
  // compartment does: through the stimulus of the clamp run.
  FiberInputs fiber = fiberIn;
  fiber.Stimulation = FiberStimulation::SomaProtocol;
  if (source == 1) CheckFiberInputs(s, fiber);
  if (source == 2 && ramp.Loaded != 1) {
    throw Error("the ramp analyzer holds no sweeps: read a sweep file in \"Form31: RampAnalyzer v.13.12\" first");
  }
  const std::string protocol = InFolder(folder, kStepProtocolFile);
  const std::string results = InFolder(folder, kStepResultFile);
  if (source != 2) {
    s.rec.Smpl = kStepRecording;
    s.rec.SmplFile[kStepRecording] = protocol;
  }
  WriteText(results, "", std::ios::trunc);

  const double nInput = std::trunc(in.NSteps);
  const int N = nInput > 1e6 ? 1000000 : static_cast<int>(nInput);
  if (in.IfClear) sink.Clear();
  if (in.SetVCatVexp) s.NP0.If_I_V_or_g = 5;

  ProtocolReading reading(s);
  StepSeriesResult result;
  for (int j = 0; j <= N; ++j) {
    if (host.StopRequested()) {
      result.complete = false;
      break;
    }
    const int sweep = j + 1;
    if (source == 2 && sweep > ramp.NSweeps) {
      result.note = "the analyzer holds " + std::to_string(ramp.NSweeps) + " sweeps; the test voltages from " +
                    std::to_string(sweep) + " on were not measured";
      break;
    }
    const double V = TestVoltage(in, j, N);
    in.CurrentLevel = V;
    sink.Level(V);
    WriteText(protocol, StepProtocolText(in, V), std::ios::trunc);

    StepMinima m;
    if (source == 2) {
      // The sweep's own samples, whatever the model's time step.
      m = Minima(in, ramp.NLast, [&ramp](int k) { return ramp.t[k]; },
                 [&ramp, sweep](int k) { return ramp.I(k, sweep); });
    } else {
      reading.Apply();
      if (source == 1) {
        FiberSink none;
        FiberRun(s, fiber, host, none);
      } else {
        RunClamp(s, host, views);
      }
      DataFromSimulation(ramp, s, rampIn, ramp.Folder, rampSink, host);
      // Row k of the model's trace lies at k steps: the analyzer's times of the
      // rows it took, and the same grid beyond them.
      const int column = s.rec.Smpl;
      const double dtMs = s.run.dt * 1000.0;
      m = Minima(in, std::min(s.run.nt_end, s.ModelData.Rows(column) - 1),
                 [dtMs](std::int64_t k) { return static_cast<double>(k) * dtMs; },
                 [&s, column](std::int64_t k) { return s.ModelData.At(k, column); });
    }
    sink.Point(V, m, in.IfDoubleSteps);
    host.ProcessEvents();
    WriteText(results,
              Fixed(V, 9, 3) + " " + Fixed(m.Imin / 1000.0, 9, 3) + " " + Fixed(m.Imin2 / 1000.0, 9, 3) + " \n",
              std::ios::app);
    ++result.steps;
  }
  return result;
}

}  // namespace membrix
