#include "analysis/us_map.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "analysis/firing_clamp.h"
#include "analysis/spike_detector.h"
#include "analysis/z_function.h"
#include "analysis/sweep_file.h"
#include "common/error.h"
#include "common/number_format.h"
#include "fiber/fiber_sweeps.h"
#include "run/clamp_run.h"
#include "fiber/fiber.h"
#include "run/session.h"

namespace membrix {

namespace {

// A silent run is given up after this time.
constexpr double kSilenceLimit = 0.1;  // s
// Below this rate a point counts as silent: its measures are written as 0.
constexpr double kLowestRate = 5.0;  // Hz

// A neuron that runs behind the session's clock: its inputs wait, one entry
// per change, until its voltage is needed, and it then takes each waiting step
// at that step's time with that step's inputs - the steps it would have taken
// at once, with the same bits.
class LaggingNeuron {
 public:
  LaggingNeuron(TNeuron& neuron, RunGlobals& run, std::size_t lag) : neuron_(neuron), run_(run), lag_(lag) {}

  // The inputs of the run's present step.
  void Queue(double u, double sIn, double Iext) {
    const Inputs x{run_.nt, u, sIn, Iext};
    if (waiting_.empty() || !SameInputs(waiting_.back(), x)) waiting_.push_back(x);
    if (waiting_.size() >= lag_) CatchUp();
  }

  // Whether it has taken the run's present step.
  bool Current() const { return stepped_ == run_.nt; }

  // The voltage at the run's present step.
  double V() {
    CatchUp();
    return neuron_.NV.V;
  }

 private:
  struct Inputs {
    std::int64_t from;  // the first step that takes them
    double u, sIn, Iext;
  };
  static bool SameInputs(const Inputs& a, const Inputs& b) {
    return std::bit_cast<std::uint64_t>(a.u) == std::bit_cast<std::uint64_t>(b.u) &&
           std::bit_cast<std::uint64_t>(a.sIn) == std::bit_cast<std::uint64_t>(b.sIn) &&
           std::bit_cast<std::uint64_t>(a.Iext) == std::bit_cast<std::uint64_t>(b.Iext);
  }

  void CatchUp() {
    const std::int64_t now = run_.nt;
    if (stepped_ == now) return;
    const double t = run_.t;
    std::size_t k = 0;
    while (stepped_ < now) {
      const std::int64_t n = ++stepped_;
      while (k + 1 < waiting_.size() && waiting_[k + 1].from <= n) ++k;
      const Inputs& x = waiting_[k];
      run_.t = static_cast<double>(n) * run_.dt;  // as the run sets it
      neuron_.Step(x.u, x.sIn, 0.0, 0.0, 0.0, x.Iext, 0.0);
    }
    run_.t = t;
    // The entry of the present step stays: the next steps may take it too.
    waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(k));
  }

  TNeuron& neuron_;
  RunGlobals& run_;
  std::size_t lag_;
  std::int64_t stepped_ = 0;
  std::vector<Inputs> waiting_;
};

// The column file's number in its width and decimals.
void Field(std::string& line, double x, int width, int decimals) {
  if (!line.empty()) line += ' ';
  AppendFixed(line, x, width, decimals);
}

}  // namespace

void CheckUSMapInputs(const Session& s, const USMapInputs& in) {
  if (in.nue < 1 || in.nse < 1 || in.nue > kMaxMapIndex || in.nse > kMaxMapIndex) {
    throw RangeError("the map grid \"nue x nse =\" must lie between 1 and " + std::to_string(kMaxMapIndex) +
                     " on each axis (it is " + std::to_string(in.nue) + " x " + std::to_string(in.nse) + ")");
  }
  if (s.stim.Vus == 0.0) {
    throw RangeError("the map relates u and s to gE and gI by Vus, which is 0: set Vus to a negative value");
  }
  if (!(in.t_end > 0.0)) throw RangeError("\" t_end, ms \" of the map must be positive");
}

void USMapGridPoint(const USMapInputs& in, MapGrid grid, double Vus, std::int32_t i, std::int32_t j, double& u,
                    double& s, double& gE, double& gI) {
  if (grid == MapGrid::US) {
    u = (in.u_min + (in.u_max - in.u_min) / in.nue * i) / 1000.0;
    s = in.s_min + (in.s_max - in.s_min) / in.nse * j;
    gE = -u / Vus;
    gI = u / Vus + s;
  } else {
    gE = i * (-in.u_max / 1000.0 / Vus) / in.nue;
    gI = j * (in.s_max / 2.0) / in.nse;
    u = -Vus * gE;
    s = gE + gI;
  }
}

USMapPoint USMapRun(Session& s, const USMapInputs& in, MapGrid grid, std::int32_t i, std::int32_t j,
                    const Host* host, std::size_t thresholdLag) {
  RunGlobals& run = s.run;
  USMapPoint p;
  p.i = i;
  p.j = j;
  USMapGridPoint(in, grid, s.stim.Vus, i, j, p.u, p.s, p.gE, p.gI);
  s.stim.Iind = 0.0;
  s.run.Writing = 0;
  s.NP0.If_I_V_or_g = 2;
  ResetRunState(s);
  s.resetProtocol = {};

  // The model A and the threshold neuron B of the same parameters, whose
  // voltage is the passive reference of the threshold at a spike.
  std::unique_ptr<TNeuron> A = CreateNeuron(s.NP0, s.View());
  NeuronProperties npB = s.NP0;
  npB.ThrModel = 1;
  npB.ThrShift = 0.1;
  std::unique_ptr<TNeuron> B = CreateNeuron(npB, s.View());
  if (run.dt > A->LongestTimeStep()) SetTimeStep(run, A->LongestTimeStep());
  const double dt = run.dt;
  run.t_end = in.t_end / 1000.0;
  run.nt_end = StepCount(run.t_end, dt);
  CheckRunLength(run);
  A->InitState();
  B->InitState();
  p.GL = s.NP0.Cm / s.NP0.tau_m;

  const double Vus = s.stim.Vus;
  const double baseU = p.u, gE0 = p.gE, gI0 = p.gI;
  double u = p.u, sIn = p.s, gE = p.gE, gI = p.gI;
  double noiseU = baseU;
  const double noiseToSignal = s.prog.NoiseToSignal;
  const double tauNoise = s.stim.tau_Noise;

  SpikeStats& st = s.spikes;
  st.nSpikes = 0;
  st.ISI[0] = 0.0;
  ClearSpikeProducts(s);
  const std::int64_t maxSteps = run.nt_end;
  bool silentOrDiverged = false;
  run.nt = 0;
  LaggingNeuron reference(*B, run, std::max<std::size_t>(thresholdLag, 1));
  do {
    ++run.nt;
    run.t = run.nt * dt;
    if (host != nullptr && run.nt % 1000 == 0 && host->StopRequested()) throw RunStopped{};
    if (in.Noise == MapNoise::Current) {
      u = OUStep(noiseU, s.stim.NoiseRec.tau, baseU, s.stim.NoiseRec.amplitude, dt, s.random);
    } else if (in.Noise == MapNoise::Conductances) {
      const double xiE = s.random.Normal(0.0, 1.0);
      const double xiI = s.random.Normal(0.0, 1.0);
      gE = NoisyConductanceStep(gE, gE0, gE0, noiseToSignal, tauNoise, dt, xiE);
      gI = NoisyConductanceStep(gI, gI0, gI0, noiseToSignal, tauNoise, dt, xiI);
      u = -Vus * gE;
      sIn = gE + gI;
    }
    const double Iext = s.stim.du_Reset;
    A->Step(u, sIn, 0.0, 0.0, 0.0, Iext, 0.0);
    reference.Queue(u, sIn, Iext);
    const bool behind = !reference.Current();
    if (!behind) st.VRef = reference.V();
    const std::int32_t spikesBefore = st.nSpikes;
    TrackSpikes(s, *A);
    if (behind && st.nSpikes != spikesBefore) {
      // A spike: its threshold is the reference voltage of this step above
      // rest, taken now that the reference has caught up.
      st.VRef = reference.V();
      st.ThAtSpike = st.VRef - A->NP.Vrest;
    }
    // The reset protocol acts on the neuron as it does in the firing clamp:
    // after the detector has marked the step, on the voltage and the spike
    // phase, which are all it reads and writes (copying the whole state record
    // at every step cost a tenth of the map). A voltage reset ends the spike,
    // and the neuron must know it, or a run never reaches its last spike's
    // downstroke and goes on to t_end.
    s.NV0.V = A->NV.V;
    s.NV0.SpikePhase = A->NV.SpikePhase;
    ResetProtocolStep(s);
    A->NV.V = s.NV0.V;
    A->NV.SpikePhase = s.NV0.SpikePhase;
    const double V = A->NV.V;
    PushTrace(s, 0.0, A->NV.Isyn, V);
    if (A->NV.SpikePhase == 2) {
      SpikeProducts(s);
      if (in.Noise == MapNoise::None) st.Freq = st.ISI[0] < 1e-6 ? 0.0 : 1.0 / st.ISI[0];
      p.V1ms = s.z.V1msLast;  // as the firing clamp measures "VT_1ms"
    }
    if (!(V >= -0.15 && V <= 0.1) || (st.nSpikes == 0 && run.t > kSilenceLimit)) {
      silentOrDiverged = true;
      break;
    }
  } while (run.nt < maxSteps && !(st.nSpikes == in.MaxSpikes && A->NV.SpikePhase == 3));

  s.NV0 = A->NV;  // the state the run ended in
  TakeUSMapMeasures(p, st, s.z, run.nt, silentOrDiverged);
  return p;
}

bool TakeUSMapMeasures(USMapPoint& p, const SpikeStats& st, const ZFunctionState& z, std::int64_t steps,
                       bool silentOrDiverged) {
  p.steps = steps;
  p.Freq = silentOrDiverged ? 0.0 : st.Freq;
  if (p.Freq < kLowestRate) {
    p.V1ms = 0.0;
    return false;
  }
  p.VPeakLast = st.VPeakLast;
  p.VFiltLast = st.VFiltLast;
  p.VavLast = st.VavLast;
  p.avPSCLast = st.avPSCLast;
  p.VTroughLast = st.VTroughLast;
  p.WidthAP = std::max(st.WidthAP, 0.0);
  p.ThAtSpike = st.ThAtSpike;
  p.Convolution = z.Convolution;
  p.VxZ = z.VxZ;
  p.IxZ = z.IxZ;
  return true;
}

std::string USMapZoneLine() { return "ZONE T=\"ZONE1\""; }

std::string USMapSizeLine(std::int32_t nue, std::int32_t nse) {
  char text[64];
  std::snprintf(text, sizeof text, "I=%3d ,J=%3d ,K=1,F=POINT", nue + 1, nse + 1);
  return text;
}

namespace {

// The values of a point in the order of the map's columns (column k + 1 at k).
std::array<double, kUSMapValues> USMapValues(const USMapPoint& p) {
  return {p.u * 1000.0,           p.s,
          p.Freq,                 p.VPeakLast * 1000.0,
          p.VFiltLast * 1000.0,   p.VavLast * 1000.0,
          p.avPSCLast,            p.gE,
          p.gI,                   p.VTroughLast * 1000.0,
          p.Convolution * 1000.0, p.VxZ * 1000.0,
          p.IxZ,                  p.WidthAP * 1000.0,
          p.V1ms * 1000.0,        p.ThAtSpike * 1000.0,
          p.u * 1000.0 / p.GL,    p.s / p.GL};
}

// F and G from the columns of a map line, c[k] holding column k (1 ... 16).
double FFromColumns(const std::array<double, 17>& c, std::int32_t choice) {
  switch (choice) {
    case 0: return c[3];
    case 1: return c[12] / 1000.0;
    case 2: return c[14] / 1000.0;
    case 3: return c[10] / 1000.0;
    case 4: return (c[4] - c[10]) / 1000.0;
    case 5: return c[15] / 1000.0;
    default: return c[16] / 1000.0;
  }
}

double GFromColumns(const std::array<double, 17>& c, std::int32_t choice) {
  switch (choice) {
    case 0: return c[7];
    case 1: return c[6] / 1000.0;
    case 2: return c[10] / 1000.0;
    case 3: return c[4] / 1000.0;
    case 4: return c[11] / 1000.0;
    case 5: return c[12];
    default: return c[13];
  }
}

std::array<double, 17> ColumnsOf(const USMapPoint& p) {
  const std::array<double, kUSMapValues> values = USMapValues(p);
  std::array<double, 17> c{};
  for (std::size_t k = 1; k <= 16; ++k) c[k] = values[k - 1];
  return c;
}

}  // namespace

double USMapF(const USMapPoint& p, std::int32_t fChoice) { return FFromColumns(ColumnsOf(p), fChoice); }
double USMapG(const USMapPoint& p, std::int32_t gChoice) { return GFromColumns(ColumnsOf(p), gChoice); }

std::string USMapLine(const USMapPoint& p, std::span<const MapColumn> columns) {
  const std::array<double, kUSMapValues> values = USMapValues(p);
  std::string line;
  for (std::size_t k = 0; k < columns.size() && k < std::size(values); ++k) {
    Field(line, values[k], columns[k].width, columns[k].decimals);
  }
  return line;
}

RunsOutcome MapUS(Session& s, const USMapInputs& in, const FiberInputs& fiber, Host& host, USMapSink& sink,
                  MapGrid grid, const std::string& file) {
  CheckUSMapInputs(s, in);
  if (in.IfDistributedModel == 1) {
    if (grid != MapGrid::US) throw RangeError("the map of the distributed model is drawn in the (u,s) plane only");
    CheckFiberInputs(s, fiber);
  }
  // VxZ and IxZ weigh every interval with the stored unit Z-function: the
  // map reads it once, before its first point (none there: both stay 0).
  LoadStoredZ(s, in.storedFolder);
  SweepFile out(file, SweepFile::Lines::Flushed);
  out.WriteLine(USMapZoneLine());
  out.WriteLine(USMapSizeLine(in.nue, in.nse));
  const std::span<const MapColumn> columns =
      in.IfDistributedModel == 1 ? std::span<const MapColumn>(kUSMapColumnsDistributed) : kUSMapColumns;
  const std::int64_t rowLength = in.nue + 1;
  const std::int64_t count = rowLength * (in.nse + 1);
  RunsOutcome outcome = RunShared<USMapPoint>(
      s, host, count,
      [&](Session& copy, Host& worker, std::int64_t k) {
        const auto i = static_cast<std::int32_t>(k % rowLength), j = static_cast<std::int32_t>(k / rowLength);
        return in.IfDistributedModel == 1 ? USMapRunDistributed(copy, in, fiber, i, j, &worker)
                                          : USMapRun(copy, in, grid, i, j, &worker);
      },
      [&](std::int64_t k, USMapPoint&& point) {
        out.WriteLine(USMapLine(point, columns));
        sink.Point(point);
        sink.Progress(k + 1, count);
      },
      RecordingTables::PerWorker);  // a map point uses no recording
  out.Close();
  return outcome;
}

std::string USMapFileOf(const Session& s) { return s.rec.File_u_s.empty() ? std::string(kUSMapFile) : s.rec.File_u_s; }

USMapData ReadUSMap(const std::string& file, std::int32_t fChoice, std::int32_t gChoice, bool linear,
                    const std::string& linearFile) {
  if (fChoice < 0 || fChoice > 6 || gChoice < 0 || gChoice > 6) {
    throw RangeError("the choices of F and G run from 0 to 6");
  }
  std::ifstream inFile(file);
  if (!inFile) throw IoError(file, "cannot be opened");
  std::string line;
  int lineNo = 0;
  auto next = [&]() {
    if (!std::getline(inFile, line)) throw FormatError(file, lineNo, "the map file ends too early");  // at its last line
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
  };
  next();  // the zone title
  next();
  const std::size_t iPos = line.find("I=");
  const std::size_t jPos = line.find("J=");
  USMapData m;
  int I = 0, J = 0;
  if (iPos == std::string::npos || jPos == std::string::npos ||
      std::sscanf(line.c_str() + iPos + 2, "%d", &I) != 1 || std::sscanf(line.c_str() + jPos + 2, "%d", &J) != 1) {
    throw FormatError(file, lineNo, "expected the grid size \"I= .. ,J= ..\"");
  }
  if (I < 2 || J < 2 || I > kMaxMapIndex + 1 || J > kMaxMapIndex + 1) {
    throw FormatError(file, lineNo, "the grid must have 2 ... " + std::to_string(kMaxMapIndex + 1) +
                                        " points on each axis");
  }
  m.file = file;
  m.nue = I - 1;
  m.nse = J - 1;
  const std::size_t n = static_cast<std::size_t>(I) * static_cast<std::size_t>(J);
  const int headerLine = lineNo;
  // The rows must be the grid the header announces: the file ends neither
  // before nor after it, and u repeats along every row as in the first (u
  // depends on the point's place in its row alone, whichever way the map was
  // made). A header at odds with its rows would otherwise be read shifted.
  const std::string grid = "the header (line " + std::to_string(headerLine) + ") gives a grid of I=" +
                           std::to_string(I) + " by J=" + std::to_string(J) + " = " + std::to_string(n) + " points";
  m.u.assign(n, 0.0);
  m.s.assign(n, 0.0);
  m.F.assign(n, 0.0);
  m.G.assign(n, 0.0);
  m.trough.assign(n, 0.0);
  std::vector<double> firstRowU(static_cast<std::size_t>(I), 0.0);  // column 1 of the first row
  std::array<double, 17> c{};  // columns 1 ... 16
  for (std::int32_t j = 0; j <= m.nse; ++j) {
    for (std::int32_t i = 0; i <= m.nue; ++i) {
      if (!std::getline(inFile, line)) {
        throw FormatError(file, lineNo, grid + ", but the file ends after " + std::to_string(m.At(i, j)) + " of them");
      }
      ++lineNo;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::istringstream fields(line);
      c.fill(0.0);
      int k = 1;
      double x = 0.0;
      while (k <= 16 && fields >> x) c[static_cast<std::size_t>(k++)] = x;
      if (k <= 15) {
        throw FormatError(file, lineNo, "expected at least 15 numbers on a map line, found " + std::to_string(k - 1));
      }
      if (j == 0) {
        firstRowU[static_cast<std::size_t>(i)] = c[1];
      } else {
        const double step = std::abs(firstRowU[1] - firstRowU[0]);
        const double expected = firstRowU[static_cast<std::size_t>(i)];
        if (step > 0.0 && std::abs(c[1] - expected) > 0.25 * step) {
          std::ostringstream what;
          what << "u = " << c[1] << " where the first row has u = " << expected << " (point " << i + 1 << " of row "
               << j + 1 << "): " << grid << ", and the rows do not follow it";
          throw FormatError(file, lineNo, what.str());
        }
      }
      const std::size_t at = m.At(i, j);
      m.u[at] = c[1] / 1000.0;
      m.s[at] = c[2];
      m.trough[at] = c[10] / 1000.0;
      m.F[at] = FFromColumns(c, fChoice);
      m.G[at] = GFromColumns(c, gChoice);
    }
  }
  while (std::getline(inFile, line)) {
    ++lineNo;
    if (line.find_first_not_of(" \t\r") != std::string::npos) {
      throw FormatError(file, lineNo, grid + ", but the file goes on with more rows");
    }
  }
  m.u0 = m.u[m.At(0, 0)];
  m.s0 = m.s[m.At(0, 0)];
  m.du = m.u[m.At(1, 0)] - m.u0;
  m.ds = m.s[m.At(0, 1)] - m.s0;
  // G's silent start: a row's zeros before its first non-zero value take that value.
  for (std::int32_t j = 0; j <= m.nse; ++j) {
    std::int32_t first = 0;
    while (first <= m.nue && m.G[m.At(first, j)] == 0.0) ++first;
    if (first > m.nue) continue;
    for (std::int32_t i = 0; i < first; ++i) m.G[m.At(i, j)] = m.G[m.At(first, j)];
  }
  if (linear) LinearizeFG(m, linearFile);
  return m;
}

void LinearizeFG(USMapData& m, const std::string& file) {
  const std::int32_t a = m.nue / 3, b = m.nse / 3;
  if (a == 0 || b == 0) {
    throw RangeError("linear F and G need a map of at least 3 steps on each axis (it has " + std::to_string(m.nue) +
                     " x " + std::to_string(m.nse) + ")");
  }
  for (std::vector<double>* X : {&m.F, &m.G}) {
    std::vector<double>& x = *X;
    const double x0 = x[m.At(a, b)], xu = x[m.At(2 * a, b)], xs = x[m.At(a, 2 * b)];
    for (std::int32_t j = 0; j <= m.nse; ++j) {
      for (std::int32_t i = 0; i <= m.nue; ++i) {
        x[m.At(i, j)] = x0 + (i - a) * (xu - x0) / a + (j - b) * (xs - x0) / b;
      }
    }
  }
  SweepFile out(file, SweepFile::Lines::Flushed);
  out.WriteLine(USMapZoneLine());
  out.WriteLine(USMapSizeLine(m.nue, m.nse));
  std::string line;
  for (std::int32_t j = 0; j <= m.nse; ++j) {
    for (std::int32_t i = 0; i <= m.nue; ++i) {
      const std::size_t at = m.At(i, j);
      line.clear();
      Field(line, m.u[at] * 1000.0, 7, 3);
      Field(line, m.s[at], 9, 5);
      Field(line, m.F[at] * 1000.0, 9, 5);
      Field(line, m.G[at] * 1000.0, 9, 5);
      out.WriteLine(line);
    }
  }
  out.Close();
}

MapRgb MapColour(int level) {
  if (level <= 0) return {};
  return {128, std::min(255, 16 * level), std::min(255, 272 - 16 * level)};
}

int FrequencyLevel(double Freq, double maxFreq) {
  const double x = std::max(1.0, Freq) * 15.0 / maxFreq;
  if (!(x < 15.0)) return 15;
  return std::clamp(static_cast<int>(x), 1, 15);
}

int ArrayLevel(double x, double lo, double hi) {
  const double level = (x - lo) * 15.0 / std::max(hi - lo, 1e-6);
  if (!(level < 15.0)) return 15;
  return std::clamp(static_cast<int>(level), 1, 15);
}

}  // namespace membrix
